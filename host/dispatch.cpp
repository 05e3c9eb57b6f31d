// Message delivery and attribute access.
#include <cmath>
#include <cstring>

#include "host_state.h"

namespace lyrhost {

namespace {

using handler_none = void (*)(void*);
using handler_long = void (*)(void*, t_atom_long);
using handler_float = void (*)(void*, double);
using handler_gimme = void (*)(void*, t_symbol*, short, t_atom*);

constexpr long max_list = 32767;  // a 16-bit count

bool is_number(const t_atom& a) { return a.a_type == A_LONG || a.a_type == A_FLOAT; }

void refuse(t_object* x, const char* selector) {
    post("%s: doesn't understand \"%s\"", x->o_class->name.c_str(), selector);
}

// Calls a bound handler with the arguments its codes ask for.
void call(t_object* x, const t_method_binding& m, t_symbol* selector, long count, const t_atom* atoms) {
    std::vector<t_atom> copy(atoms, atoms + count);  // handlers may write to their atoms
    if (m.types.empty()) {
        reinterpret_cast<handler_none>(m.fn)(x);
    } else if (m.types[0] == A_ARG_LONG) {
        reinterpret_cast<handler_long>(m.fn)(x, count > 0 ? atom_getlong(&copy[0]) : 0);
    } else if (m.types[0] == A_ARG_FLOAT) {
        reinterpret_cast<handler_float>(m.fn)(x, count > 0 ? atom_getfloat(&copy[0]) : 0.0);
    } else if (m.types[0] == A_GIMME) {
        if (count > max_list) {
            post("%s: \"%s\" with %ld atoms is too long (at most %ld)", x->o_class->name.c_str(), selector->s_name, count,
                 max_list);
            return;
        }
        reinterpret_cast<handler_gimme>(m.fn)(x, selector, static_cast<short>(count), copy.data());
    }
}

}  // namespace

void deliver(t_object* x, long inlet, t_symbol* selector, long count, const t_atom* atoms) {
    t_host_object* h = x->o_host;
    const t_class* c = x->o_class;
    long previous = h->current_inlet;
    h->current_inlet = inlet;
    for (auto* p : h->proxies)
        if (p->number == inlet && p->stuffloc) *p->stuffloc = static_cast<int32_t>(inlet);

    std::string sel = selector->s_name;
    auto callable = [&](const char* name) -> const t_method_binding* {
        const t_method_binding* m = c->find(name);
        return m && !(m->types.size() == 1 && m->types[0] == A_CANT) ? m : nullptr;
    };
    const t_method_binding* m = nullptr;
    bool one_number = count == 1 && is_number(atoms[0]);

    if (sel == "int" || sel == "float") {
        const char* other = sel == "int" ? "float" : "int";
        if ((m = callable(sel.c_str())) || (m = callable(other))) call(x, *m, selector, count, atoms);
        else if ((m = callable("list"))) call(x, *m, gensym("list"), count, atoms);
        else refuse(x, sel.c_str());
    } else if (sel == "list") {
        if ((m = callable("list"))) call(x, *m, selector, count, atoms);
        else if (one_number && atoms[0].a_type == A_LONG && ((m = callable("int")) || (m = callable("float"))))
            call(x, *m, selector, count, atoms);
        else if (one_number && ((m = callable("float")) || (m = callable("int")))) call(x, *m, selector, count, atoms);
        else if (count == 0 && (m = callable("bang"))) call(x, *m, selector, 0, atoms);
        else refuse(x, sel.c_str());
    } else if ((m = callable(sel.c_str()))) {
        call(x, *m, selector, count, atoms);
    } else if (t_host_attr* a = c->find_attr(sel)) {
        attr_set_values(x, a, count, atoms);
    } else {
        refuse(x, sel.c_str());
    }
    h->current_inlet = previous;
}

std::vector<t_atom> attr_get_values(t_object* x, const t_host_attr* a) {
    std::vector<t_atom> out;
    if (a->getter) {
        long count = 0;
        t_atom* atoms = nullptr;
        reinterpret_cast<t_attr_getter>(a->getter)(x, const_cast<t_host_attr*>(a), &count, &atoms);
        if (atoms) {
            out.assign(atoms, atoms + count);
            sysmem_freeptr(atoms);
        }
        return out;
    }
    const char* base = reinterpret_cast<const char*>(x) + a->offset;
    long n = a->size > 0 ? a->size : 1;
    bool is_float = std::strcmp(a->type->s_name, "float32") == 0;
    for (long i = 0; i < n; ++i) {
        t_atom v;
        if (is_float) {
            float f;
            std::memcpy(&f, base + i * sizeof(float), sizeof f);
            atom_setfloat(&v, f);
        } else {
            int32_t l;
            std::memcpy(&l, base + i * sizeof(int32_t), sizeof l);
            atom_setlong(&v, l);
        }
        out.push_back(v);
    }
    return out;
}

void attr_set_values(t_object* x, t_host_attr* a, long count, const t_atom* atoms) {
    std::vector<t_atom> values(atoms, atoms + count);
    if (a->clip) {
        for (auto& v : values) {
            if (!is_number(v)) continue;
            double d = atom_getfloat(&v);
            if (a->use_min && d < a->min) d = a->min;
            if (a->use_max && d > a->max) d = a->max;
            if (v.a_type == A_LONG) atom_setlong(&v, static_cast<t_atom_long>(d));
            else atom_setfloat(&v, d);
        }
    }
    if (a->setter) {
        reinterpret_cast<t_attr_setter>(a->setter)(x, a, count, values.data());
        return;
    }
    char* base = reinterpret_cast<char*>(x) + a->offset;
    long n = std::min(count, a->size > 0 ? a->size : 1);
    bool is_float = std::strcmp(a->type->s_name, "float32") == 0;
    for (long i = 0; i < n; ++i) {
        if (is_float) {
            float f = static_cast<float>(atom_getfloat(&values[i]));
            std::memcpy(base + i * sizeof(float), &f, sizeof f);
        } else {
            int32_t l = atom_getlong(&values[i]);
            std::memcpy(base + i * sizeof(int32_t), &l, sizeof l);
        }
    }
}

}  // namespace lyrhost
