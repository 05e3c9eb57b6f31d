// lyr.spectrum~: magnitudes of overlapped FFT frames, sent as lists at a polling interval.
#include <cstddef>
#include <new>
#include <optional>

#include "module_frame.h"
#include "spectrum_record.h"

using namespace hostapi;

namespace {

t_class* spectrum_class = nullptr;

constexpr const char* kInlets[] = {"(Signal) Input"};
constexpr const char* kOutlets[] = {"(List) Spectrum"};

void spectrum_tick(t_spectrum* x);

void* spectrum_new(t_symbol*, short argc, t_atom* argv) {
    auto* x = static_cast<t_spectrum*>(object_alloc(spectrum_class));
    if (!x) return nullptr;
    new (&x->core) lyrspectrum::Spectrum{};
    // Creation arguments stand before the first attribute name: in
    // "@interval 500" the 500 belongs to the attribute, not to the overlap.
    const short positional = lyrframe::creation_argument_count(argc, argv);
    auto integer_argument = [&](short i) -> int32_t {
        return i < positional && atom_gettype(&argv[i]) == A_LONG ? atom_getlong(&argv[i]) : 0;
    };
    const int32_t window_size = integer_argument(0);
    const int32_t overlap = integer_argument(1);
    lyrspectrum::Spectrum& core = x->core;
    if (lyrspectrum::spectrum_open(core, window_size, overlap, sys_getsr(),
                                   lyrframe::host_allocator(), lyrframe::host_reporter())) {
        x->list_atoms = reinterpret_cast<t_atom*>(sysmem_newptr(static_cast<long>(sizeof(t_atom) * core.list_capacity)));
        if (x->list_atoms) {
            for (int32_t k = 0; k < core.list_capacity; ++k) atom_setfloat(&x->list_atoms[k], 0.0);
        } else {
            lyrspectrum::spectrum_close(core);
            post("%s", lyrspectrum::kNoMemoryMessage);
        }
    }
    x->domain[0] = core.domain[0];
    x->domain[1] = core.domain[1];
    x->smooth = 5;
    x->logamp = 1;
    x->logfreq = 0;
    x->interval = 10;
    // The first tick comes after the initial interval, whatever the attribute arguments set.
    x->clock = clock_new(x, reinterpret_cast<method>(spectrum_tick));
    clock_fdelay(x->clock, static_cast<double>(lyrspectrum::kFirstTickDelay));
    z_dsp_setup(&x->ob, 1);
    x->outlet = listout(x);
    attr_args_process(x, argc, argv);
    return x;
}

void spectrum_free(t_spectrum* x) {
    z_dsp_free(&x->ob);
    if (x->clock) {
        clock_unset(x->clock);
        object_free(x->clock);
    }
    lyrspectrum::spectrum_close(x->core);
    sysmem_freeptr(x->list_atoms);
    x->core.~Spectrum();
    notify_free(&x->ob.z_ob);
}

t_max_err spectrum_domain_set(t_spectrum* x, void*, long argc, t_atom* argv) {
    auto edge = [&](long i) -> std::optional<float> {
        if (!argv || i >= argc) return std::nullopt;
        const long type = atom_gettype(&argv[i]);
        if (type != A_LONG && type != A_FLOAT) return std::nullopt;
        return static_cast<float>(atom_getfloat(&argv[i]));
    };
    lyrspectrum::spectrum_set_domain(x->core, edge(0), edge(1));
    x->domain[0] = x->core.domain[0];
    x->domain[1] = x->core.domain[1];
    return MAX_ERR_NONE;
}

void send_list(void* context, int32_t, const float* values, int32_t count) {
    auto* x = static_cast<t_spectrum*>(context);
    for (int32_t k = 0; k < count; ++k) atom_setfloat(&x->list_atoms[k], values[k]);
    outlet_list(x->outlet, nullptr, static_cast<short>(count), x->list_atoms);
}

void spectrum_tick(t_spectrum* x) {
    const lyrspectrum::PollSettings settings{x->logfreq, x->smooth, x->resize};
    lyrspectrum::spectrum_poll(x->core, settings, send_list, x);
    clock_delay(x->clock, x->interval);
}

t_int* spectrum_perform(t_int* w) {
    auto* x = reinterpret_cast<t_spectrum*>(w[1]);
    const auto* in = reinterpret_cast<const t_sample*>(w[2]);
    const auto n = static_cast<int32_t>(w[3]);
    if (!x->ob.z_disabled) lyrspectrum::spectrum_process(x->core, in, n, x->logamp);
    return w + 4;
}

void spectrum_dsp(t_spectrum* x, t_signal** sp, short*) {
    lyrspectrum::spectrum_set_sample_rate(x->core, sp[0]->s_sr);
    dsp_add(spectrum_perform, 3, reinterpret_cast<t_int>(x), reinterpret_cast<t_int>(sp[0]->s_vec),
            static_cast<t_int>(sp[0]->s_n));
}

void spectrum_assist(t_spectrum*, void*, long kind, long index, char* text) {
    lyrframe::assist_text(kind, index, text, kInlets, kOutlets);
}

}  // namespace

LYR_EXPORT int main(void) {
    t_class* c = class_new("lyr.spectrum~", reinterpret_cast<method>(spectrum_new),
                           reinterpret_cast<method>(spectrum_free), sizeof(t_spectrum), nullptr, A_GIMME, 0);
    class_addmethod(c, reinterpret_cast<method>(spectrum_dsp), "dsp", A_CANT, 0);
    class_addmethod(c, reinterpret_cast<method>(spectrum_assist), "assist", A_CANT, 0);
    class_dspinit(c);
    class_register(gensym("box"), c);
    spectrum_class = c;

    // "logamp" and "logfreq": a choice between a linear and a logarithmic scale.
    auto declare_scale = [c](const char* name, long offset, const char* label, const char* default_text) {
        lyrframe::AttrDecl scale{name, "long", offset};
        scale.label = label;
        scale.style = "enumindex";
        scale.enumvals = "Linear \"Logarithmic";
        scale.default_text = default_text;
        lyrframe::declare_attribute(c, scale);
    };
    declare_scale("logamp", static_cast<long>(offsetof(t_spectrum, logamp)), "Amplitude scale", "1");
    declare_scale("logfreq", static_cast<long>(offsetof(t_spectrum, logfreq)), "Frequency scale", "0");

    lyrframe::AttrDecl domain{"domain", "float32", static_cast<long>(offsetof(t_spectrum, domain)), 2};
    domain.label = "Low and high domain range values (X-Axis)";
    domain.setter = reinterpret_cast<method>(spectrum_domain_set);
    lyrframe::declare_attribute(c, domain);

    lyrframe::AttrDecl interval{"interval", "long", static_cast<long>(offsetof(t_spectrum, interval))};
    interval.label = "Polling interval";
    interval.default_text = "10";
    interval.clip_min = true;
    interval.min = lyrspectrum::kMinInterval;
    interval.clip_max = true;
    interval.max = lyrspectrum::kMaxInterval;
    lyrframe::declare_attribute(c, interval);

    lyrframe::AttrDecl resize{"resize", "long", static_cast<long>(offsetof(t_spectrum, resize))};
    resize.label = "Resize mode";
    resize.style = "onoff";
    resize.default_text = "0";
    lyrframe::declare_attribute(c, resize);

    lyrframe::AttrDecl smooth{"smooth", "long", static_cast<long>(offsetof(t_spectrum, smooth))};
    smooth.default_text = "5";
    smooth.clip_min = true;
    smooth.min = 1;
    lyrframe::declare_attribute(c, smooth);

    lyrframe::post_banner("lyr.spectrum~");
    return 0;
}
