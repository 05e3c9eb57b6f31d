// lyr.distance: stores up to 25 reference vectors under the keys 1 to 25 on
// the right inlet and answers every input on the left with the key of the
// closest reference, that reference's values as stored and the distances to
// all references.
#include <new>

#include "distance_core.h"
#include "host_api.h"
#include "module_frame.h"

using namespace hostapi;

namespace {

struct t_distance {
    t_object ob;
    t_atom_long order;       // exponent p of the metric
    t_atom_long mode;        // 0 Manhattan, 1 Euclidean, 2 Minkowski
    t_atom_long useweights;  // weights take part when exactly 1
    int32_t inletnum;        // written by the host through the proxy
    void* proxy;
    void* key_outlet;
    void* values_outlet;
    void* distances_outlet;
    lyrdistance::Matcher table;  // references, input, weights and the last distances
};

t_class* distance_class = nullptr;

lyrdistance::Atom read_atom(const void* p) {
    const auto* a = static_cast<const t_atom*>(p);
    switch (atom_gettype(a)) {
        case A_LONG: return lyrdistance::Atom::integer(static_cast<double>(atom_getlong(a)));
        case A_FLOAT: return lyrdistance::Atom::real(atom_getfloat(a));
        case A_SYM: return lyrdistance::Atom::symbol(atom_getsym(a)->s_name);
        default: return lyrdistance::Atom::unknown(atom_gettype(a));
    }
}

lyrdistance::AtomList atom_list(short argc, t_atom* argv) {
    if (argc <= 0 || !argv) return {nullptr, 0, sizeof(t_atom), read_atom};
    return {argv, static_cast<std::size_t>(argc), sizeof(t_atom), read_atom};
}

// Computes and fires left to right: key, closest values, distances.
void distance_compute(t_distance* x) {
    lyrdistance::Matcher& t = x->table;
    if (t.count() == 0) return;
    if (!t.compute(static_cast<double>(x->order), x->useweights == 1)) return;

    t_atom newlist[lyrdistance::kSlots];
    for (int j = 0; j < t.count(); ++j) atom_setfloat(&newlist[j], t.distance(j));

    const int slot = t.closest() - 1;
    outlet_float(x->key_outlet, static_cast<double>(t.closest()));
    outlet_list(x->values_outlet, nullptr, static_cast<short>(t.stored_count(slot)),
                static_cast<t_atom*>(const_cast<void*>(t.stored_values(slot))));
    outlet_list(x->distances_outlet, nullptr, static_cast<short>(t.count()), newlist);
}

void distance_float(t_distance* x, double f) {
    x->table.set_input_value(f);
    distance_compute(x);
}

void distance_int(t_distance* x, t_atom_long n) { distance_float(x, static_cast<double>(n)); }

void distance_list(t_distance* x, t_symbol*, short argc, t_atom* argv) {
    if (proxy_getinlet(&x->ob) == 1) {
        x->table.store(atom_list(argc, argv));
        return;
    }
    if (x->table.set_input(atom_list(argc, argv))) distance_compute(x);
}

void distance_weights(t_distance* x, t_symbol*, short argc, t_atom* argv) {
    if (x->table.set_weights(atom_list(argc, argv))) distance_compute(x);
}

void distance_clear(t_distance* x) { x->table.clear(); }

void distance_bang(t_distance* x) { distance_compute(x); }

void distance_order(t_distance* x, t_atom_long n) {
    if (n < 1) n = 1;
    if (x->mode == 2) x->order = n;
    distance_compute(x);
}

// The mode and the exponent move together: setting the mode, even to the
// one in force, resets the exponent to mode + 1. A mode below 0 would give
// an exponent of 0 or less, so it is taken as Manhattan.
t_max_err distance_mode_set(t_distance* x, void*, long argc, t_atom* argv) {
    if (argc < 1 || !argv) return MAX_ERR_NONE;
    t_atom_long mode = atom_getlong(argv);
    if (mode < 0) mode = 0;
    x->mode = mode;
    x->order = lyrdistance::order_for_mode(mode);
    return MAX_ERR_NONE;
}

void distance_assist(t_distance*, void*, long kind, long index, char* text) {
    static const char* const inlets[] = {"(int, list or float) Input",
                                         "(int) Keys, (int, list or float) Values to be compared"};
    static const char* const outlets[] = {"(int) Key of the closest values ", "(int, list or float) Closest values",
                                          "(list) Distances"};
    lyrframe::assist_text(kind, index, text, inlets, outlets);
}

void* distance_new(t_symbol*, short argc, t_atom* argv) {
    auto* x = static_cast<t_distance*>(object_alloc(distance_class));
    if (!x) return nullptr;
    new (&x->table) lyrdistance::Matcher(lyrframe::host_allocator(), lyrframe::host_reporter());
    x->useweights = 0;
    x->mode = 1;
    x->order = lyrdistance::order_for_mode(1);
    x->proxy = proxy_new(x, 1, &x->inletnum);
    x->distances_outlet = listout(x);
    x->values_outlet = listout(x);
    x->key_outlet = intout(x);
    attr_args_process(x, argc, argv);
    return x;
}

void distance_free(t_distance* x) {
    x->table.~Matcher();
    object_free(x->proxy);
}

}  // namespace

LYR_EXPORT int main(void) {
    t_class* c = class_new("lyr.distance", (method)distance_new, (method)distance_free,
                           static_cast<long>(sizeof(t_distance)), nullptr, A_GIMME, 0);
    class_addmethod(c, (method)distance_int, "int", A_ARG_LONG, 0);
    class_addmethod(c, (method)distance_float, "float", A_ARG_FLOAT, 0);
    class_addmethod(c, (method)distance_list, "list", A_GIMME, 0);
    class_addmethod(c, (method)distance_assist, "assist", A_CANT, 0);
    class_addmethod(c, (method)distance_clear, "clear", 0);
    class_addmethod(c, (method)distance_bang, "bang", 0);
    class_addmethod(c, (method)distance_weights, "weights", A_GIMME, 0);
    class_addmethod(c, (method)distance_order, "order", A_ARG_LONG, 0);
    class_register(gensym("box"), c);
    distance_class = c;

    lyrframe::AttrDecl useweights{"useweights", "long", offsetof(t_distance, useweights)};
    useweights.label = "Use Weights";
    useweights.style = "onoff";
    useweights.order = "1";
    useweights.default_text = "0";
    useweights.sequence = "style label save default order";
    lyrframe::declare_attribute(c, useweights);

    lyrframe::AttrDecl mode{"mode", "long", offsetof(t_distance, mode)};
    mode.label = "Mode";
    mode.style = "enumindex";
    mode.enumvals = "Manhattan \"Euclidean\" Minkowsky";
    mode.default_text = "1";
    mode.setter = (method)distance_mode_set;
    mode.sequence = "label style enumvals default setter save";
    lyrframe::declare_attribute(c, mode);

    lyrframe::post_banner("lyr.distance");
    return 0;
}
