// lyr.centroid~: the spectral centroid of overlapped FFT frames, in Hz, as a signal.
#include <cstddef>
#include <new>

#include "centroid_core.h"
#include "centroid_record.h"
#include "module_frame.h"

using namespace hostapi;

namespace {

t_class* centroid_class = nullptr;

constexpr const char* kInlets[] = {"(Signal) Input"};
constexpr const char* kOutlets[] = {"(Signal) Centroid"};

void* centroid_new(t_symbol*, short argc, t_atom* argv) {
    auto* x = static_cast<t_centroid*>(object_alloc(centroid_class));
    if (!x) return nullptr;
    new (&x->core) lyrcentroid::Centroid{};
    // Attribute arguments first: the arguments below never touch "logamp".
    attr_args_process(x, argc, argv);
    // Creation arguments stand before the first attribute name: in
    // "@logamp 1" the 1 is the attribute's value, not an overlap.
    const short positional = lyrframe::creation_argument_count(argc, argv);
    const int64_t window_size = positional > 0 && atom_gettype(&argv[0]) == A_LONG ? atom_getlong(&argv[0]) : 0;
    const int64_t overlap = positional > 1 && atom_gettype(&argv[1]) == A_LONG ? atom_getlong(&argv[1]) : -1;
    lyrcentroid::setup(x->core, window_size, overlap, lyrframe::host_allocator(), lyrframe::host_reporter());
    z_dsp_setup(&x->ob, 1);
    outlet_new(x, "signal");
    return x;
}

void centroid_free(t_centroid* x) {
    z_dsp_free(&x->ob);
    lyrcentroid::release(x->core);
    x->core.~Centroid();
    notify_free(&x->ob.z_ob);
}

t_int* centroid_perform(t_int* w) {
    auto* x = reinterpret_cast<t_centroid*>(w[1]);
    const auto* in = reinterpret_cast<const t_sample*>(w[2]);
    auto* out = reinterpret_cast<t_sample*>(w[3]);
    const auto n = static_cast<int32_t>(w[4]);
    if (!x->ob.z_disabled) lyrcentroid::process(x->core, in, out, n);
    return w + 5;
}

void centroid_dsp(t_centroid* x, t_signal** sp, short*) {
    x->core.sample_rate = sp[0]->s_sr;
    // Frames that could not be had at creation are tried again here, off the audio thread.
    lyrcentroid::take_frames(x->core);
    dsp_add(centroid_perform, 4, reinterpret_cast<t_int>(x), reinterpret_cast<t_int>(sp[0]->s_vec),
            reinterpret_cast<t_int>(sp[1]->s_vec), static_cast<t_int>(sp[0]->s_n));
}

void centroid_assist(t_centroid*, void*, long kind, long index, char* text) {
    lyrframe::assist_text(kind, index, text, kInlets, kOutlets);
}

}  // namespace

LYR_EXPORT int main(void) {
    t_class* c = class_new("lyr.centroid~", reinterpret_cast<method>(centroid_new),
                           reinterpret_cast<method>(centroid_free), sizeof(t_centroid), nullptr, A_GIMME, 0);
    class_addmethod(c, reinterpret_cast<method>(centroid_dsp), "dsp", A_CANT, 0);
    class_addmethod(c, reinterpret_cast<method>(centroid_assist), "assist", A_CANT, 0);
    class_dspinit(c);
    class_register(gensym("box"), c);
    centroid_class = c;

    lyrframe::AttrDecl logamp{"logamp", "long",
                              static_cast<long>(offsetof(t_centroid, core) + offsetof(lyrcentroid::Centroid, logamp))};
    logamp.label = "Amplitude scale";
    logamp.style = "enumindex";
    logamp.enumvals = "Linear \"Logarithmic";
    logamp.default_text = "0";
    lyrframe::declare_attribute(c, logamp);

    lyrframe::post_banner("lyr.centroid~");
    return 0;
}
