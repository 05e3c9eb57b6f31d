// The host object and signal interface that every binding is written against.
//
// Bindings include this header only, say `using namespace hostapi;` and call the
// operations unqualified. The declarations live in a C++ namespace so that their
// link names never meet another host's C API (Pure Data exports functions with the
// same names and other signatures). The operations are implemented by whatever
// host the module is loaded into: here, the embedded host in host/.
#pragma once

#include <cstdint>
#include <cstdio>   // sprintf, used by assist handlers

#if defined(_WIN32)
#define LYR_EXPORT extern "C" __declspec(dllexport)
#else
#define LYR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace hostapi {

using t_atom_long = int32_t;  // the host's integer: 32 bits on every platform
using t_max_err = int32_t;    // 0 means no error
using t_int = intptr_t;       // one word of a perform routine's argument vector
using t_sample = float;       // one audio sample

constexpr t_max_err MAX_ERR_NONE = 0;
constexpr t_max_err MAX_ERR_GENERIC = -1;

// Atom type tags.
enum e_atomtype : short {
    A_NOTHING = 0,
    A_LONG = 1,
    A_FLOAT = 2,
    A_SYM = 3,
};

// Method argument type codes (class_addmethod, class_new).
enum e_argtype : short {
    A_ARG_END = 0,   // terminates a code list
    A_ARG_LONG = 1,  // handler(x, t_atom_long)
    A_ARG_FLOAT = 2, // handler(x, double)
    A_GIMME = 8,     // handler(x, t_symbol* selector, short count, t_atom* atoms)
    A_CANT = 9,      // private, called by the host only ("assist", "dsp")
};

// Assist kinds.
constexpr long ASSIST_INLET = 1;
constexpr long ASSIST_OUTLET = 2;

struct t_symbol {
    const char* s_name;
};

struct t_atom {
    short a_type;
    union {
        t_atom_long w_long;
        float w_float;
        t_symbol* w_sym;
    } a_w;
};

struct t_class;  // opaque: owned by the host
struct t_host_object;  // opaque per-instance data owned by the host

// The object header: the first member of every instance record.
struct t_object {
    t_class* o_class;
    t_host_object* o_host;
};

// The signal-object header: the first member of a signal object's record.
// While z_disabled is non-zero the perform routine returns at once.
struct t_pxobject {
    t_object z_ob;
    int32_t z_in;        // number of signal inlets
    int32_t z_disabled;
};

// One signal of the chain, as "dsp" hands it over.
struct t_signal {
    int32_t s_n;      // vector size
    t_sample* s_vec;  // samples
    float s_sr;       // sample rate
};

using method = void* (*)(void*, ...);
using t_perfroutine = t_int* (*)(t_int* w);

// Attribute accessors: the host's standard ones or a class's own.
using t_attr_getter = t_max_err (*)(void* x, void* attr, long* count, t_atom** atoms);
using t_attr_setter = t_max_err (*)(void* x, void* attr, long count, t_atom* atoms);

// Classes.
t_class* class_new(const char* name, method newm, method freem, long size, method menufun, short type, ...);
t_max_err class_addmethod(t_class* c, method m, const char* name, ...);
t_max_err class_register(t_symbol* name_space, t_class* c);
void class_dspinit(t_class* c);

// Instances.
void* object_alloc(t_class* c);
t_max_err object_free(void* x);
void* object_method(void* x, t_symbol* selector, ...);
void notify_free(t_object* x);

// Symbols and atoms.
t_symbol* gensym(const char* text);
long atom_gettype(const t_atom* a);
t_atom_long atom_getlong(const t_atom* a);
double atom_getfloat(const t_atom* a);
t_symbol* atom_getsym(const t_atom* a);
t_max_err atom_setlong(t_atom* a, t_atom_long value);
t_max_err atom_setfloat(t_atom* a, double value);
t_max_err atom_setsym(t_atom* a, t_symbol* value);

// Outlets. Each new outlet stands left of the earlier ones.
void* listout(void* x);
void* floatout(void* x);
void* intout(void* x);
void* bangout(void* x);
void* outlet_new(void* x, const char* type);
void* outlet_list(void* outlet, t_symbol* selector, short count, t_atom* atoms);
void* outlet_float(void* outlet, double value);
void* outlet_int(void* outlet, t_atom_long value);
void* outlet_bang(void* outlet);
void* outlet_anything(void* outlet, t_symbol* selector, short count, t_atom* atoms);

// Inlets.
void* proxy_new(void* x, long number, int32_t* stuffloc);
long proxy_getinlet(t_object* x);

// Attributes.
t_object* attr_offset_new(const char* name, t_symbol* type, long flags, method mget, method mset, long offset);
t_object* attr_offset_array_new(const char* name, t_symbol* type, long size, long flags, method mget, method mset,
                                long offsetcount, long offset);
t_max_err class_addattr(t_class* c, t_object* attr);
t_max_err class_attr_addattr_parse(t_class* c, const char* attrname, const char* property, t_symbol* type, long flags,
                                   const char* text);
t_max_err class_attr_addattr_format(t_class* c, const char* attrname, const char* property, t_symbol* type, long flags,
                                    const char* format, ...);
t_object* class_attr_get(t_class* c, t_symbol* attrname);
t_max_err attr_addfilter_clip(t_object* attr, double min, double max, long usemin, long usemax);
t_max_err attr_args_process(void* x, short count, t_atom* atoms);

// Clocks, in milliseconds of the host's scheduler time.
void* clock_new(void* x, method routine);
void clock_delay(void* clock, long ms);
void clock_fdelay(void* clock, double ms);
void clock_unset(void* clock);

// Memory: uncleared blocks, or null.
char* sysmem_newptr(long bytes);
void sysmem_freeptr(void* block);

// Console.
void post(const char* format, ...);

// Signal chain.
void z_dsp_setup(t_pxobject* x, long signal_inlets);
void z_dsp_free(t_pxobject* x);
void dsp_add(t_perfroutine routine, int count, ...);
double sys_getsr();

}  // namespace hostapi
