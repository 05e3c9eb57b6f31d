// lyr.average: the running mean of the last `size` inputs (arithmetic,
// geometric, harmonic or quadratic), for numbers and element by element for
// lists. Every result leaves as a list of float atoms; "bang" repeats the last
// one and "clear" restarts the window.
#include <cstddef>
#include <cstdint>

#include "average_core.h"
#include "element_stream.h"
#include "host_api.h"
#include "module_frame.h"

using namespace hostapi;

namespace {

struct t_average {
    t_object ob;
    void* outlet;
    short length;                   // elements of every history row and of output; 0 before the first input
    int32_t count;                  // inputs of the current stream held before the one being processed
    int32_t size;                   // attribute "size": the window length
    t_atom* output;                 // the last result, one float atom per element
    t_atom* input_atom;             // carries an int or float input as a one-element list
    lyr::average::History history;  // the window, newest first
    int32_t mode;                   // attribute "mode": 0 arithmetic, 1 geometric, 2 harmonic, 3 quadratic
    char input_kind;                // 'i', 'f' or 'l': kind of the last input; 0 before the first
};

t_class* average_class = nullptr;

constexpr const char* class_name = "lyr.average";

// Pushes the incoming elements, computes every element's mean and sends them.
void average_run(t_average* x) {
    const short n = x->length;
    const int w = lyr::average::window(x->count, x->size);
    lyr::average::push(x->history, n, x->size);
    lyr::average::compute_means(x->history, n, w, x->mode);
    for (short i = 0; i < n; ++i) atom_setfloat(&x->output[i], x->history.mean[i]);
    outlet_list(x->outlet, nullptr, n, x->output);
    x->count = lyr::average::advance(x->count, x->size);
}

void average_int(t_average* x, t_atom_long n) {
    lyrframe::take_number(x, x->history, lyrframe::input_int, static_cast<double>(n), class_name, average_run);
}

void average_float(t_average* x, double f) {
    lyrframe::take_number(x, x->history, lyrframe::input_float, static_cast<float>(f), class_name, average_run);
}

void average_list(t_average* x, t_symbol*, short argc, t_atom* argv) {
    lyrframe::take_list(x, x->history, argc, argv, average_run);
}

void average_bang(t_average* x) { lyrframe::send_again(x); }

void average_clear(t_average* x) { x->count = 0; }

void average_assist(t_average*, void*, long kind, long, char* text) {
    std::sprintf(text, "%s", kind == ASSIST_INLET ? "int, float or list" : "average");
}

void* average_new(t_symbol*, short argc, t_atom* argv) {
    auto* x = static_cast<t_average*>(object_alloc(average_class));
    if (!x) return nullptr;
    x->size = 10;
    x->mode = lyr::average::arithmetic;
    lyrframe::open_stream(x);
    attr_args_process(x, argc, argv);
    return x;
}

void average_free(t_average* x) { lyrframe::release_stream(x, x->history); }

}  // namespace

LYR_EXPORT int main(void) {
    t_class* c = lyrframe::new_element_class(class_name, average_new, average_free, average_int, average_float, average_list,
                                             average_bang, average_clear, average_assist);
    average_class = c;
    lyrframe::declare_attribute(c, {.name = "mode", .type = "long", .offset = offsetof(t_average, mode),
                                    .label = "Mode", .style = "enumindex",
                                    .enumvals = "Arithmetic \" Geometric \" Harmonic \" Quadratic", .order = "1",
                                    .default_text = "0", .clip_min = true, .min = 0, .clip_max = true, .max = 3,
                                    .sequence = "label style enumvals order default clip save"});
    lyrframe::declare_attribute(c, {.name = "size", .type = "long", .offset = offsetof(t_average, size),
                                    .label = "Size", .order = "-1", .default_text = "10", .clip_min = true,
                                    .min = 1, .clip_max = true, .max = lyr::average::capacity,
                                    .sequence = "label order clip default save"});
    lyrframe::post_banner(class_name);
    return 0;
}
