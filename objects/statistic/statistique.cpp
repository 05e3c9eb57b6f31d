// lyr.statistic: answers each list with its minimum, maximum, mean, sample
// variance, standard deviation, standard error, skewness and excess kurtosis.
#include "module_frame.h"
#include "statistique_core.h"

using namespace hostapi;

namespace {

struct t_statistique {
    t_object ob;
    void* outlet;
    t_atom output[lyrstat::kStatisticCount];  // the last result; untyped until the first list
};

t_class* statistique_class;

// Numeric elements are described; symbols carry no number and are left out.
void statistique_list(t_statistique* x, t_symbol*, short argc, t_atom* argv) {
    float values[32767];  // a list holds at most 32767 atoms
    std::size_t n = 0;
    for (short i = 0; i < argc; ++i) {
        const long type = atom_gettype(argv + i);
        if (type == A_LONG || type == A_FLOAT) values[n++] = static_cast<float>(atom_getfloat(argv + i));
    }
    const lyrstat::Statistics result = lyrstat::statistique_compute(values, n);
    for (std::size_t i = 0; i < result.size(); ++i) atom_setfloat(x->output + i, result[i]);
    outlet_list(x->outlet, nullptr, lyrstat::kStatisticCount, x->output);
}

// Sends the last result again; before the first list there is none to send.
void statistique_bang(t_statistique* x) {
    if (x->output[0].a_type != A_FLOAT) return;
    outlet_list(x->outlet, nullptr, lyrstat::kStatisticCount, x->output);
}

void statistique_assist(t_statistique*, void*, long kind, long, char* text) {
    std::sprintf(text, "%s", kind == ASSIST_INLET ? " Input (list)" : "Statistics (list)");
}

void* statistique_new(t_symbol*, short, t_atom*) {
    auto* x = static_cast<t_statistique*>(object_alloc(statistique_class));
    if (!x) return nullptr;
    x->outlet = listout(x);
    return x;
}

}  // namespace

LYR_EXPORT int main(void) {
    t_class* c = class_new("lyr.statistic", (method)statistique_new, nullptr, sizeof(t_statistique), nullptr,
                           A_GIMME, 0);
    class_addmethod(c, (method)statistique_list, "list", A_GIMME, 0);
    class_addmethod(c, (method)statistique_bang, "bang", 0);
    class_addmethod(c, (method)statistique_assist, "assist", A_CANT, 0);
    class_register(gensym("box"), c);
    statistique_class = c;
    lyrframe::post_banner("lyr.statistic");
    return 0;
}
