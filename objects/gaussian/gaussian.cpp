// lyr.gaussian: the normal density of each number at the left inlet for the
// standard deviation and expectation set on the other two inlets, and the
// curve's full width at half maximum whenever the deviation inlet gets a number.
#include "gaussian_core.h"
#include "module_frame.h"

using namespace hostapi;

namespace {

struct t_gaussian {
    t_object ob;
    void* density_outlet;     // outlet 0
    void* fwhm_outlet;        // outlet 1
    int32_t inletnum;         // written by the proxies
    void* proxy;              // inlet 1, standard deviation
    float deviation;          // always above 0
    float expectation;
    void* proxy_expectation;  // inlet 2
};

t_class* gaussian_class;

constexpr const char* kInletTexts[] = {"Input value (int or float)", "Standard deviation (int or float)",
                                       "Expectation (int or float)"};
constexpr const char* kOutletTexts[] = {"Normal distribution (float)", "FWHM (float)"};

bool is_number(const t_atom* a) {
    const long type = atom_gettype(a);
    return type == A_LONG || type == A_FLOAT;
}

void gaussian_number(t_gaussian* x, double value) {
    switch (proxy_getinlet(&x->ob)) {
        case 0:
            outlet_float(x->density_outlet, lyrgauss::gaussian_density(value, x->deviation, x->expectation));
            break;
        case 1:
            // A deviation of 0 or below is refused; the width in force is sent all the same.
            if (lyrgauss::gaussian_deviation_valid(value)) x->deviation = static_cast<float>(value);
            outlet_float(x->fwhm_outlet, lyrgauss::gaussian_fwhm(x->deviation));
            break;
        case 2:
            x->expectation = static_cast<float>(value);
            break;
        default:
            break;
    }
}

void gaussian_int(t_gaussian* x, t_atom_long n) { gaussian_number(x, static_cast<double>(n)); }

void gaussian_float(t_gaussian* x, double f) { gaussian_number(x, f); }

void gaussian_assist(t_gaussian*, void*, long kind, long index, char* text) {
    lyrframe::assist_text(kind, index, text, kInletTexts, kOutletTexts);
}

// Creation arguments: standard deviation, then expectation, each an int or a float.
void* gaussian_new(t_symbol*, short argc, t_atom* argv) {
    auto* x = static_cast<t_gaussian*>(object_alloc(gaussian_class));
    if (!x) return nullptr;
    x->deviation = 1.0f;
    if (argc > 0 && is_number(argv) && lyrgauss::gaussian_deviation_valid(atom_getfloat(argv))) {
        x->deviation = static_cast<float>(atom_getfloat(argv));
    }
    x->expectation = 0.0f;
    if (argc > 1 && is_number(argv + 1)) x->expectation = static_cast<float>(atom_getfloat(argv + 1));
    x->proxy_expectation = proxy_new(x, 2, &x->inletnum);
    x->proxy = proxy_new(x, 1, &x->inletnum);
    x->fwhm_outlet = floatout(x);
    x->density_outlet = floatout(x);
    return x;
}

void gaussian_free(t_gaussian* x) {
    object_free(x->proxy);
    object_free(x->proxy_expectation);
}

}  // namespace

LYR_EXPORT int main(void) {
    t_class* c = class_new("lyr.gaussian", (method)gaussian_new, (method)gaussian_free, sizeof(t_gaussian), nullptr,
                           A_GIMME, 0);
    class_addmethod(c, (method)gaussian_int, "int", A_ARG_LONG, 0);
    class_addmethod(c, (method)gaussian_float, "float", A_ARG_FLOAT, 0);
    class_addmethod(c, (method)gaussian_assist, "assist", A_CANT, 0);
    class_register(gensym("box"), c);
    gaussian_class = c;
    lyrframe::post_banner("lyr.gaussian");
    return 0;
}
