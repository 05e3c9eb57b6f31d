// The host-API operations, as the embedded host implements them.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "host_state.h"

namespace lyrhost {

static t_class internal_kind(const char* name) {
    t_class c;
    c.name = name;
    c.internal = true;
    return c;
}

t_class attr_kind = internal_kind("attribute");
t_class proxy_kind = internal_kind("proxy");
t_class clock_kind = internal_kind("clock");
t_class outlet_kind = internal_kind("outlet");

bool is_kind(const void* x, const t_class* kind) {
    return x && static_cast<const t_object*>(x)->o_class == kind;
}

namespace {

t_host_object* host_of(void* x) { return static_cast<t_object*>(x)->o_host; }

std::string vformat(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) return format;
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(n));
    return text;
}

t_host_outlet* new_outlet(void* x, const char* type) {
    auto* o = new t_host_outlet;
    o->header.o_class = &outlet_kind;
    o->owner = static_cast<t_object*>(x);
    o->type = type ? type : "";
    auto& outs = host_of(x)->outlets;
    outs.insert(outs.begin(), o);  // each new outlet stands left of the earlier ones
    return o;
}

void send(void* outlet, const char* selector, long count, const t_atom* atoms) {
    auto* o = static_cast<t_host_outlet*>(outlet);
    if (!is_kind(o, &outlet_kind)) return;
    HostState& s = state();
    t_host_object* h = host_of(o->owner);
    Event e;
    e.object = h->name;
    for (size_t i = 0; i < h->outlets.size(); ++i)
        if (h->outlets[i] == o) e.outlet = static_cast<int>(i);
    e.selector = selector;
    e.atoms.assign(atoms, atoms + count);
    std::vector<t_atom> copy = e.atoms;  // what the outlet read, before the call returns
    s.emit(std::move(e));
    if (s.depth > 256) {
        s.post_line("stack overflow: a message loop was stopped");
        return;
    }
    ++s.depth;
    auto connections = o->connections;
    for (const auto& c : connections) deliver(c.target, c.inlet, gensym(selector), static_cast<long>(copy.size()), copy.data());
    --s.depth;
}

}  // namespace

}  // namespace lyrhost

namespace hostapi {

using namespace lyrhost;

t_host_attr* t_class::find_attr(const std::string& attr_name) const {
    for (auto* a : attrs)
        if (a->name == attr_name) return a;
    return nullptr;
}

// Classes.

t_class* class_new(const char* name, method newm, method freem, long size, method, short type, ...) {
    HostState& s = state();
    auto c = std::make_unique<t_class>();
    c->name = name;
    c->newm = newm;
    c->freem = freem;
    c->size = std::max<long>(size, static_cast<long>(sizeof(t_object)));
    va_list args;
    va_start(args, type);
    for (int t = type; t != 0 && c->new_types.size() < 8; t = va_arg(args, int)) c->new_types.push_back(static_cast<short>(t));
    va_end(args);
    s.classes.push_back(std::move(c));
    return s.classes.back().get();
}

t_max_err class_addmethod(t_class* c, method m, const char* name, ...) {
    t_method_binding b{name, m, {}};
    va_list args;
    va_start(args, name);
    for (int t = va_arg(args, int); t != 0 && b.types.size() < 8; t = va_arg(args, int)) b.types.push_back(static_cast<short>(t));
    va_end(args);
    bool supported = b.types.empty() || (b.types.size() == 1 && (b.types[0] == A_ARG_LONG || b.types[0] == A_ARG_FLOAT ||
                                                                 b.types[0] == A_GIMME || b.types[0] == A_CANT));
    if (!supported) {
        post("%s: method \"%s\" has argument types this host does not take", c->name.c_str(), name);
        return MAX_ERR_GENERIC;
    }
    c->methods.push_back(std::move(b));
    return MAX_ERR_NONE;
}

t_max_err class_register(t_symbol* name_space, t_class* c) {
    if (!name_space || std::strcmp(name_space->s_name, "box") != 0) return MAX_ERR_GENERIC;
    c->registered = true;
    state().box[c->name] = c;
    return MAX_ERR_NONE;
}

void class_dspinit(t_class* c) { c->dsp = true; }

// Instances.

void* object_alloc(t_class* c) {
    if (!c || std::exchange(state().fail_object_alloc, false)) return nullptr;
    void* x = std::calloc(1, static_cast<size_t>(c->size));
    if (!x) return nullptr;
    auto* o = static_cast<t_object*>(x);
    o->o_class = c;
    o->o_host = new t_host_object;
    o->o_host->cls = c;
    return x;
}

t_max_err object_free(void* x) {
    if (!x) return MAX_ERR_GENERIC;
    if (is_kind(x, &proxy_kind)) {
        auto* p = static_cast<t_host_proxy*>(x);
        auto& ps = host_of(p->owner)->proxies;
        std::erase(ps, p);
        delete p;
    } else if (is_kind(x, &clock_kind)) {
        auto* k = static_cast<t_host_clock*>(x);
        auto& ks = host_of(k->owner)->clocks;
        std::erase(ks, k);
        delete k;
    } else {
        post("object_free: not an object this host can free");
        return MAX_ERR_GENERIC;
    }
    return MAX_ERR_NONE;
}

void* object_method(void* x, t_symbol* selector, ...) {
    if (!x || !selector) return nullptr;
    if (is_kind(x, &attr_kind)) {
        auto* a = static_cast<t_host_attr*>(x);
        std::string sel = selector->s_name;
        if (sel == "gettype") return a->type;
        if (sel == "getname") return gensym(a->name.c_str());
        if (sel == "setmethod") {
            va_list args;
            va_start(args, selector);
            auto* which = va_arg(args, t_symbol*);
            method m = va_arg(args, method);
            va_end(args);
            if (which && std::strcmp(which->s_name, "get") == 0) a->getter = m;  // null keeps the host's own getter
            else if (which && std::strcmp(which->s_name, "set") == 0) a->setter = m;
            return nullptr;
        }
    }
    post("object_method: \"%s\" is not understood here", selector->s_name);
    return nullptr;
}

void notify_free(t_object*) {}

// Symbols and atoms.

t_symbol* gensym(const char* text) {
    static std::mutex lock;
    static std::unordered_map<std::string, std::unique_ptr<std::pair<t_symbol, std::string>>> table;
    std::lock_guard<std::mutex> guard(lock);
    auto& slot = table[text ? text : ""];
    if (!slot) {
        slot = std::make_unique<std::pair<t_symbol, std::string>>();
        slot->second = text ? text : "";
        slot->first.s_name = slot->second.c_str();
    }
    return &slot->first;
}

long atom_gettype(const t_atom* a) { return a ? a->a_type : static_cast<long>(A_NOTHING); }

t_atom_long atom_getlong(const t_atom* a) {
    if (!a) return 0;
    if (a->a_type == A_LONG) return a->a_w.w_long;
    if (a->a_type == A_FLOAT) {
        double f = a->a_w.w_float;
        if (std::isnan(f)) return 0;
        constexpr double lo = std::numeric_limits<t_atom_long>::min(), hi = std::numeric_limits<t_atom_long>::max();
        return static_cast<t_atom_long>(std::clamp(std::trunc(f), lo, hi));
    }
    return 0;
}

double atom_getfloat(const t_atom* a) {
    if (!a) return 0;
    if (a->a_type == A_FLOAT) return a->a_w.w_float;
    if (a->a_type == A_LONG) return a->a_w.w_long;
    return 0;
}

t_symbol* atom_getsym(const t_atom* a) { if (a && a->a_type == A_SYM) return a->a_w.w_sym;
    return gensym(""); }

t_max_err atom_setlong(t_atom* a, t_atom_long value) {
    a->a_type = A_LONG;
    a->a_w.w_long = value;
    return MAX_ERR_NONE;
}

t_max_err atom_setfloat(t_atom* a, double value) {
    a->a_type = A_FLOAT;
    a->a_w.w_float = static_cast<float>(value);
    return MAX_ERR_NONE;
}

t_max_err atom_setsym(t_atom* a, t_symbol* value) {
    a->a_type = A_SYM;
    a->a_w.w_sym = value;
    return MAX_ERR_NONE;
}

// Outlets.

void* listout(void* x) { return new_outlet(x, "list"); }
void* floatout(void* x) { return new_outlet(x, "float"); }
void* intout(void* x) { return new_outlet(x, "int"); }
void* bangout(void* x) { return new_outlet(x, "bang"); }
void* outlet_new(void* x, const char* type) { return new_outlet(x, type); }

void* outlet_list(void* outlet, t_symbol*, short count, t_atom* atoms) {
    send(outlet, "list", std::max<short>(count, 0), atoms);
    return nullptr;
}

void* outlet_float(void* outlet, double value) {
    t_atom a;
    atom_setfloat(&a, value);
    send(outlet, "float", 1, &a);
    return nullptr;
}

void* outlet_int(void* outlet, t_atom_long value) {
    t_atom a;
    atom_setlong(&a, value);
    send(outlet, "int", 1, &a);
    return nullptr;
}

void* outlet_bang(void* outlet) {
    send(outlet, "bang", 0, nullptr);
    return nullptr;
}

void* outlet_anything(void* outlet, t_symbol* selector, short count, t_atom* atoms) {
    send(outlet, selector ? selector->s_name : "", std::max<short>(count, 0), atoms);
    return nullptr;
}

// Inlets.

void* proxy_new(void* x, long number, int32_t* stuffloc) {
    auto* p = new t_host_proxy;
    p->header.o_class = &proxy_kind;
    p->owner = static_cast<t_object*>(x);
    p->number = number;
    p->stuffloc = stuffloc;
    host_of(x)->proxies.push_back(p);
    return p;
}

long proxy_getinlet(t_object* x) { return x && x->o_host ? x->o_host->current_inlet : 0; }

// Attributes.

t_object* attr_offset_new(const char* name, t_symbol* type, long, method mget, method mset, long offset) {
    return attr_offset_array_new(name, type, 0, 0, mget, mset, 0, offset);
}

t_object* attr_offset_array_new(const char* name, t_symbol* type, long size, long, method mget, method mset, long,
                                long offset) {
    auto a = std::make_unique<t_host_attr>();
    a->header.o_class = &attr_kind;
    a->name = name;
    a->type = type;
    a->size = size;
    a->offset = offset;
    a->getter = mget;
    a->setter = mset;
    state().attrs.push_back(std::move(a));
    return &state().attrs.back()->header;
}

t_max_err class_addattr(t_class* c, t_object* attr) {
    if (!c || !is_kind(attr, &attr_kind)) return MAX_ERR_GENERIC;
    auto* a = reinterpret_cast<t_host_attr*>(attr);
    a->owner = c;
    c->attrs.push_back(a);
    return MAX_ERR_NONE;
}

static t_max_err add_property(t_class* c, const char* attrname, const char* property, t_symbol* type, long flags,
                              std::string text) {
    t_host_attr* a = c ? c->find_attr(attrname) : nullptr;
    if (!a) return MAX_ERR_GENERIC;
    for (auto& p : a->properties)
        if (p.name == property) {
            p = {property, type ? type->s_name : "", flags, std::move(text)};
            return MAX_ERR_NONE;
        }
    a->properties.push_back({property, type ? type->s_name : "", flags, std::move(text)});
    return MAX_ERR_NONE;
}

t_max_err class_attr_addattr_parse(t_class* c, const char* attrname, const char* property, t_symbol* type, long flags,
                                   const char* text) {
    return add_property(c, attrname, property, type, flags, text ? text : "");
}

t_max_err class_attr_addattr_format(t_class* c, const char* attrname, const char* property, t_symbol* type, long flags,
                                    const char* format, ...) {
    // The format names the kinds of the values that follow: s symbol, l long, f double.
    std::string text;
    va_list args;
    va_start(args, format);
    for (const char* f = format; f && *f; ++f) {
        if (!text.empty()) text += ' ';
        if (*f == 's') text += va_arg(args, t_symbol*)->s_name;
        else if (*f == 'l') text += std::to_string(va_arg(args, long));
        else if (*f == 'f') text += std::to_string(va_arg(args, double));
    }
    va_end(args);
    return add_property(c, attrname, property, type, flags, std::move(text));
}

t_object* class_attr_get(t_class* c, t_symbol* attrname) {
    t_host_attr* a = c && attrname ? c->find_attr(attrname->s_name) : nullptr;
    return a ? &a->header : nullptr;
}

t_max_err attr_addfilter_clip(t_object* attr, double min, double max, long usemin, long usemax) {
    if (!is_kind(attr, &attr_kind)) return MAX_ERR_GENERIC;
    auto* a = reinterpret_cast<t_host_attr*>(attr);
    a->clip = true;
    a->min = min;
    a->max = max;
    a->use_min = usemin != 0;
    a->use_max = usemax != 0;
    return MAX_ERR_NONE;
}

t_max_err attr_args_process(void* x, short count, t_atom* atoms) {
    auto* o = static_cast<t_object*>(x);
    auto is_name = [](const t_atom& a) { return a.a_type == A_SYM && a.a_w.w_sym->s_name[0] == '@'; };
    for (long i = 0; i < count;) {
        if (!is_name(atoms[i])) {
            ++i;
            continue;
        }
        const char* name = atoms[i].a_w.w_sym->s_name + 1;
        long first = ++i;
        while (i < count && !is_name(atoms[i])) ++i;
        if (t_host_attr* a = o->o_class->find_attr(name))
            attr_set_values(o, a, i - first, atoms + first);
        else
            post("%s: no attribute \"%s\"", o->o_class->name.c_str(), name);
    }
    return MAX_ERR_NONE;
}

// Clocks.

void* clock_new(void* x, method routine) {
    auto* k = new t_host_clock;
    k->header.o_class = &clock_kind;
    k->owner = static_cast<t_object*>(x);
    k->routine = routine;
    host_of(x)->clocks.push_back(k);
    return k;
}

void clock_fdelay(void* clock, double ms) {
    if (!is_kind(clock, &clock_kind)) return;
    auto* k = static_cast<t_host_clock*>(clock);
    HostState& s = state();
    k->armed = true;
    k->due = s.now + std::max(ms, 0.0);
    k->sequence = ++s.clock_sequence;
}

void clock_delay(void* clock, long ms) { clock_fdelay(clock, static_cast<double>(ms)); }

void clock_unset(void* clock) {
    if (is_kind(clock, &clock_kind)) static_cast<t_host_clock*>(clock)->armed = false;
}

// Memory.

char* sysmem_newptr(long bytes) {
    HostState& s = state();
    ++s.allocations;
    if (s.fail_after >= 0) {
        if (s.fail_after == 0) return nullptr;
        --s.fail_after;
    }
    if (bytes < 0) return nullptr;
    return static_cast<char*>(std::malloc(bytes > 0 ? static_cast<size_t>(bytes) : 1));
}

void sysmem_freeptr(void* block) { std::free(block); }

// Console.

void post(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    state().post_line(std::move(text));
}

// Signal chain.

void z_dsp_setup(t_pxobject* x, long signal_inlets) {
    x->z_in = static_cast<int32_t>(signal_inlets);
    x->z_ob.o_host->signal_inlets = signal_inlets;
}

void z_dsp_free(t_pxobject* x) {
    HostState& s = state();
    auto* o = &x->z_ob;
    std::erase_if(s.chain, [o](const ChainEntry& e) { return e.owner == o; });
    std::erase_if(s.buffers, [o](const auto& b) { return b->owner == o; });
    o->o_host->in_chain = false;
}

void dsp_add(t_perfroutine routine, int count, ...) {
    HostState& s = state();
    ChainEntry e{s.building_owner, {}};
    e.words.push_back(reinterpret_cast<t_int>(routine));
    va_list args;
    va_start(args, count);
    for (int i = 0; i < count; ++i) e.words.push_back(va_arg(args, t_int));
    va_end(args);
    s.chain.push_back(std::move(e));
}

double sys_getsr() { return state().sample_rate; }

}  // namespace hostapi
