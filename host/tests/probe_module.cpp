// A small module that exercises the host: it echoes what reaches it, with the
// inlet it came from, and offers every kind of attribute, a clock and a
// perform routine.
#include "host_api.h"
#include "module_frame.h"

using namespace hostapi;

namespace {

struct t_probe {
    t_pxobject header;
    void* out_list;
    void* out_float;
    void* out_int;
    void* out_signal;
    void* proxy;
    int32_t inlet;
    void* clock;
    int32_t gain;       // attribute "gain": long, clipped to 0..10
    float ratio;        // attribute "ratio": float32
    float range[2];     // attribute "range": float32[2] with a custom setter
    int32_t setter_calls;
    int32_t ticks;
    int32_t period;     // clock period in ms, 0 stops it
};

t_class* probe_class;

void probe_tick(t_probe* x) {
    ++x->ticks;
    outlet_int(x->out_int, x->ticks);
    if (x->period > 0) clock_delay(x->clock, x->period);
}

void probe_int(t_probe* x, t_atom_long n) {
    t_atom a[2];
    atom_setlong(a, proxy_getinlet(&x->header.z_ob));
    atom_setlong(a + 1, n);
    outlet_anything(x->out_list, gensym("int"), 2, a);
}

void probe_list(t_probe* x, t_symbol*, short argc, t_atom* argv) { outlet_list(x->out_list, nullptr, argc, argv); }

void probe_bang(t_probe* x) { outlet_bang(x->out_list); }

// "every N": the clock fires every N ms from now; 0 stops it.
void probe_every(t_probe* x, t_atom_long ms) {
    x->period = ms;
    if (ms > 0) clock_delay(x->clock, ms);
    else clock_unset(x->clock);
}

void probe_half(t_probe* x, double f) { outlet_float(x->out_float, f / 2); }

void probe_state(t_probe* x) {
    t_atom a[5];
    atom_setlong(a, x->gain);
    atom_setfloat(a + 1, x->ratio);
    atom_setfloat(a + 2, x->range[0]);
    atom_setfloat(a + 3, x->range[1]);
    atom_setlong(a + 4, x->setter_calls);
    outlet_anything(x->out_list, gensym("state"), 5, a);
}

t_max_err probe_range_set(t_probe* x, void*, long argc, t_atom* argv) {
    ++x->setter_calls;
    if (argc >= 2 && argv[0].a_type != A_SYM && argv[1].a_type != A_SYM) {
        float lo = static_cast<float>(atom_getfloat(argv)), hi = static_cast<float>(atom_getfloat(argv + 1));
        x->range[0] = lo < hi ? lo : hi;  // kept in order
        x->range[1] = lo < hi ? hi : lo;
    }
    return MAX_ERR_NONE;
}

t_int* probe_perform(t_int* w) {
    auto* x = reinterpret_cast<t_probe*>(w[1]);
    auto* in = reinterpret_cast<t_sample*>(w[2]);
    auto* out = reinterpret_cast<t_sample*>(w[3]);
    auto n = static_cast<int>(w[4]);
    if (x->header.z_disabled) return w + 5;
    for (int i = 0; i < n; ++i) out[i] = in[i] * static_cast<float>(x->gain);
    return w + 5;
}

void probe_dsp(t_probe* x, t_signal** sp, short*) {
    dsp_add(probe_perform, 4, reinterpret_cast<t_int>(x), reinterpret_cast<t_int>(sp[0]->s_vec),
            reinterpret_cast<t_int>(sp[1]->s_vec), static_cast<t_int>(sp[0]->s_n));
}

void probe_assist(t_probe*, void*, long kind, long index, char* text) {
    static const char* const inlets[] = {"(Signal) In", "Right"};
    static const char* const outlets[] = {"(Signal) Out", "Ticks", "Halves", "Echo"};
    lyrframe::assist_text(kind, index, text, inlets, outlets);
}

void* probe_new(t_symbol*, short argc, t_atom* argv) {
    auto* x = static_cast<t_probe*>(object_alloc(probe_class));
    if (!x) return nullptr;
    x->gain = 1;
    x->ratio = 0.5f;
    if (argc > 0 && atom_gettype(argv) == A_LONG) x->gain = atom_getlong(argv);
    x->clock = clock_new(x, reinterpret_cast<method>(probe_tick));
    z_dsp_setup(&x->header, 1);
    x->proxy = proxy_new(x, 1, &x->inlet);
    x->out_list = outlet_new(x, nullptr);
    x->out_float = floatout(x);
    x->out_int = intout(x);
    x->out_signal = outlet_new(x, "signal");
    attr_args_process(x, argc, argv);
    return x;
}

void probe_free(t_probe* x) {
    z_dsp_free(&x->header);
    clock_unset(x->clock);
    object_free(x->clock);
    object_free(x->proxy);
    notify_free(&x->header.z_ob);
}

}  // namespace

LYR_EXPORT int main(void) {
    t_class* c = class_new("lyr.probe~", reinterpret_cast<method>(probe_new), reinterpret_cast<method>(probe_free),
                           sizeof(t_probe), nullptr, A_GIMME, 0);
    class_addmethod(c, reinterpret_cast<method>(probe_int), "int", A_ARG_LONG, 0);
    class_addmethod(c, reinterpret_cast<method>(probe_list), "list", A_GIMME, 0);
    class_addmethod(c, reinterpret_cast<method>(probe_bang), "bang", 0);
    class_addmethod(c, reinterpret_cast<method>(probe_every), "every", A_ARG_LONG, 0);
    class_addmethod(c, reinterpret_cast<method>(probe_half), "half", A_ARG_FLOAT, 0);
    class_addmethod(c, reinterpret_cast<method>(probe_state), "state", 0);
    class_addmethod(c, reinterpret_cast<method>(probe_dsp), "dsp", A_CANT, 0);
    class_addmethod(c, reinterpret_cast<method>(probe_assist), "assist", A_CANT, 0);
    class_dspinit(c);
    class_register(gensym("box"), c);
    probe_class = c;
    lyrframe::declare_attribute(c, {.name = "gain", .type = "long", .offset = offsetof(t_probe, gain), .label = "Gain",
                                    .order = "1", .default_text = "1", .clip_min = true, .min = 0, .clip_max = true,
                                    .max = 10});
    lyrframe::declare_attribute(c, {.name = "ratio", .type = "float32", .offset = offsetof(t_probe, ratio),
                                    .style = "onoff", .default_text = "0.5", .save = false});
    lyrframe::declare_attribute(c, {.name = "range", .type = "float32", .offset = offsetof(t_probe, range),
                                    .array_size = 2, .label = "Range",
                                    .setter = reinterpret_cast<method>(probe_range_set)});
    lyrframe::post_banner("lyr.probe~");
    return 0;
}
