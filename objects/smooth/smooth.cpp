// lyr.smooth: exponential smoothing of numbers and, element by element, of
// lists, with the fraction 2 / (size + 1). The first input of a stream is sent
// unchanged and seeds the smoothed values. Every result leaves as a list of
// float atoms; "bang" repeats the last one and "clear" restarts the smoothing.
#include <cstddef>
#include <cstdint>

#include "element_stream.h"
#include "host_api.h"
#include "module_frame.h"
#include "smooth_core.h"

using namespace hostapi;

namespace {

struct t_smooth {
    t_object ob;
    void* outlet;
    short length;              // elements of state and output; 0 before the first input
    int32_t count;             // inputs since the last restart; only whether it is 0 matters
    int32_t size;              // attribute "size": the smoothing length
    t_atom* output;            // the last result, one float atom per element
    t_atom* input_atom;        // carries an int or float input as a one-element list
    lyr::smooth::State state;  // the smoothed value of every element
    char input_kind;           // 'i', 'f' or 'l': kind of the last input; 0 before the first
};

t_class* smooth_class = nullptr;

constexpr const char* class_name = "lyr.smooth";

// One smoothing step over the incoming elements, then send. A skipped
// element keeps its atom from the last result.
void smooth_step(t_smooth* x) {
    const short n = x->length;
    lyr::smooth::step(x->state, n, x->count == 0, lyr::smooth::fraction(x->size));
    for (short i = 0; i < n; ++i) {
        if (x->state.buffers.input[i].numeric) atom_setfloat(&x->output[i], x->state.value[i]);
    }
    outlet_list(x->outlet, nullptr, n, x->output);
    if (x->count < INT32_MAX) ++x->count;
}

void smooth_int(t_smooth* x, t_atom_long n) {
    lyrframe::take_number(x, x->state, lyrframe::input_int, static_cast<double>(n), class_name, smooth_step);
}

void smooth_float(t_smooth* x, double f) {
    lyrframe::take_number(x, x->state, lyrframe::input_float, static_cast<float>(f), class_name, smooth_step);
}

void smooth_list(t_smooth* x, t_symbol*, short argc, t_atom* argv) {
    lyrframe::take_list(x, x->state, argc, argv, smooth_step);
}

void smooth_bang(t_smooth* x) { lyrframe::send_again(x); }

void smooth_clear(t_smooth* x) { x->count = 0; }

void smooth_assist(t_smooth*, void*, long kind, long, char* text) {
    std::sprintf(text, "%s",
                 kind == ASSIST_INLET ? "Input (int, float or list)" : "Smooth values (int, float or list)");
}

void* smooth_new(t_symbol*, short argc, t_atom* argv) {
    auto* x = static_cast<t_smooth*>(object_alloc(smooth_class));
    if (!x) return nullptr;
    x->size = 10;
    lyrframe::open_stream(x);
    attr_args_process(x, argc, argv);
    return x;
}

void smooth_free(t_smooth* x) { lyrframe::release_stream(x, x->state); }

}  // namespace

LYR_EXPORT int main(void) {
    t_class* c = lyrframe::new_element_class(class_name, smooth_new, smooth_free, smooth_int, smooth_float, smooth_list,
                                             smooth_bang, smooth_clear, smooth_assist);
    smooth_class = c;
    lyrframe::declare_attribute(c, {.name = "size", .type = "long", .offset = offsetof(t_smooth, size),
                                    .label = "Size", .order = "-1", .default_text = "10", .clip_min = true,
                                    .min = 1, .sequence = "label order clip default save"});
    lyrframe::post_banner(class_name);
    return 0;
}
