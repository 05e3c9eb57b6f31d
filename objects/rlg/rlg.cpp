// lyr.rlg: on "bang", a list of random numbers, each between its own element's
// minimum and maximum, as integers or floats. Minima and maxima arrive on
// inlets 1 and 2, as one number for every element or as a list stretched or
// thinned to the list length.
#include <cstddef>
#include <new>

#include "module_frame.h"
#include "rlg_core.h"

using namespace hostapi;

namespace {

using lyrrlg::kCapacity;

struct t_rlg {
    t_object ob;
    int32_t inletnum;  // written by the proxies
    void* outlet;
    void* proxy_max;   // inlet 2
    void* proxy_min;   // inlet 1
    t_atom* atoms;     // the outgoing list, count atoms
    float* values;     // the last draw, count values
    int16_t count;     // length of atoms and values; 0 until the first bang
    // The "size" attribute is a 32-bit "long", so its field is 32 bits wide:
    // the host's accessors read and write it whole and never reach mins.
    t_atom_long size;
    float mins[kCapacity];
    float maxs[kCapacity];
    t_atom_long mode;  // 0 integers, anything else floats
    lyrrlg::RandomSource source;
};

t_class* rlg_class;

constexpr const char* kInletTexts[] = {"Bang ", "(int, float, list) Minimum", "(int, float, list) Maximum"};

// The bound array a number or list on the current inlet writes, or null with
// the console line for a wrong inlet.
float* rlg_bounds(t_rlg* x, const char* what) {
    switch (proxy_getinlet(&x->ob)) {
        case 1:
            return x->mins;
        case 2:
            return x->maxs;
        default:
            post("wrong inlet for %s", what);
            return nullptr;
    }
}

void rlg_number(t_rlg* x, float value, const char* what) {
    if (float* bounds = rlg_bounds(x, what)) lyrrlg::rlg_fill(bounds, value);
}

void rlg_int(t_rlg* x, t_atom_long n) { rlg_number(x, static_cast<float>(n), "int"); }

void rlg_float(t_rlg* x, double f) { rlg_number(x, static_cast<float>(f), "float"); }

// The list is resampled to the length of the last list sent; elements beyond
// it keep their bounds. An empty list has nothing to give and changes nothing.
void rlg_list(t_rlg* x, t_symbol*, short argc, t_atom* argv) {
    float* bounds = rlg_bounds(x, "list");
    if (!bounds || argc <= 0) return;
    for (int i = 0; i < x->count; ++i) {
        const t_atom* a = argv + lyrrlg::rlg_resample_index(i, argc, x->count);
        const long type = atom_gettype(a);
        if (type == A_LONG || type == A_FLOAT) {
            bounds[i] = static_cast<float>(atom_getfloat(a));
        } else {
            post("Invalid atom type : (%ld)", type);
        }
    }
}

// Takes storage for a list of `size` elements; the old values are not kept.
bool rlg_resize(t_rlg* x, int size) {
    sysmem_freeptr(x->values);
    sysmem_freeptr(x->atoms);
    x->values = reinterpret_cast<float*>(sysmem_newptr(static_cast<long>(size * sizeof(float))));
    x->atoms = reinterpret_cast<t_atom*>(sysmem_newptr(static_cast<long>(size * sizeof(t_atom))));
    if (!x->values || !x->atoms) {
        sysmem_freeptr(x->values);
        sysmem_freeptr(x->atoms);
        x->values = nullptr;
        x->atoms = nullptr;
        x->count = 0;
        post("lyr.rlg :Not enough memory for a list of %ld", static_cast<long>(size));
        return false;
    }
    x->count = static_cast<int16_t>(size);
    return true;
}

void rlg_bang(t_rlg* x) {
    const int size = x->size < 1 ? 1 : x->size > kCapacity ? kCapacity : static_cast<int>(x->size);
    if (size != x->count && !rlg_resize(x, size)) return;
    lyrrlg::rlg_draw(x->source, x->mins, x->maxs, x->values, x->count);
    for (int i = 0; i < x->count; ++i) {
        if (x->mode == 0) {
            atom_setlong(x->atoms + i, lyrrlg::rlg_truncate(x->values[i]));
        } else {
            atom_setfloat(x->atoms + i, x->values[i]);
        }
    }
    outlet_list(x->outlet, nullptr, x->count, x->atoms);
}

// "seed N" makes the following lists reproducible; "seed 0" or "seed" alone
// seeds from the time of day again.
void rlg_seed(t_rlg* x, t_symbol*, short argc, t_atom* argv) {
    if (argc > 0 && atom_gettype(argv) != A_LONG && atom_gettype(argv) != A_FLOAT) {
        post("lyr.rlg :seed needs a number");
        return;
    }
    x->source.seed(argc > 0 ? atom_getlong(argv) : 0);
}

void rlg_assist(t_rlg*, void*, long kind, long index, char* text) {
    if (kind == ASSIST_INLET) {
        lyrframe::assist_text(kind, index, text, kInletTexts, {});
    } else {
        std::sprintf(text, "Random (list)");
    }
}

void* rlg_new(t_symbol*, short argc, t_atom* argv) {
    auto* x = static_cast<t_rlg*>(object_alloc(rlg_class));
    if (!x) return nullptr;
    x->values = nullptr;
    x->atoms = nullptr;  // taken at the first bang
    x->count = 0;
    x->size = 10;
    x->mode = 0;
    lyrrlg::rlg_fill(x->mins, 0.0f);
    lyrrlg::rlg_fill(x->maxs, 10.0f);
    new (&x->source) lyrrlg::RandomSource();  // seeded from the time of day
    x->proxy_max = proxy_new(x, 2, &x->inletnum);
    x->proxy_min = proxy_new(x, 1, &x->inletnum);
    x->outlet = listout(x);
    attr_args_process(x, argc, argv);
    return x;
}

void rlg_free(t_rlg* x) {
    sysmem_freeptr(x->values);
    sysmem_freeptr(x->atoms);
    object_free(x->proxy_max);
    object_free(x->proxy_min);
}

}  // namespace

LYR_EXPORT int main(void) {
    t_class* c = class_new("lyr.rlg", (method)rlg_new, (method)rlg_free, sizeof(t_rlg), nullptr, A_GIMME, 0);
    class_addmethod(c, (method)rlg_bang, "bang", 0);
    class_addmethod(c, (method)rlg_assist, "assist", A_CANT, 0);
    class_addmethod(c, (method)rlg_int, "int", A_ARG_LONG, 0);
    class_addmethod(c, (method)rlg_float, "float", A_ARG_FLOAT, 0);
    class_addmethod(c, (method)rlg_list, "list", A_GIMME, 0);
    class_addmethod(c, (method)rlg_seed, "seed", A_GIMME, 0);
    class_register(gensym("box"), c);
    rlg_class = c;

    lyrframe::AttrDecl size{"size", "long", offsetof(t_rlg, size)};
    size.label = "List Size";
    size.order = "1";
    size.default_text = "10";
    size.clip_min = true;
    size.min = 1;
    size.clip_max = true;
    size.max = kCapacity;
    size.sequence = "default label clip save order";
    lyrframe::declare_attribute(c, size);

    lyrframe::AttrDecl mode{"mode", "long", offsetof(t_rlg, mode)};
    mode.label = "Mode";
    mode.style = "enumindex";
    mode.enumvals = "Integer \"Float";
    mode.sequence = "label style enumvals save";
    lyrframe::declare_attribute(c, mode);

    lyrframe::post_banner("lyr.rlg");
    return 0;
}
