// The input path of the element-wise control objects (lyr.average,
// lyr.smooth). Ints, floats and lists that reach the inlet form one stream per
// input kind and, for lists, per length: a change of kind or length restarts
// the stream, and a change of length also gives the core a new state. An int
// or float travels as a one-element list through the record's input atom, so
// it enters in single precision.
//
// The record X has the fields `outlet`, `length` (16-bit), `count`, `output`
// (the outgoing atoms), `input_atom` and `input_kind`. State is the object's
// core state; `allocate(State&, n, companion bytes, Allocator, Reporter)` and
// `release(State&, Allocator)` are found beside it, and its `buffers` hold the
// incoming elements and, in their companion area, the outgoing atoms, so that
// these come and go with the core's own arrays.
#pragma once

#include <cstdint>

#include "element_list.h"
#include "module_frame.h"

namespace lyrframe {

inline constexpr char input_int = 'i';
inline constexpr char input_float = 'f';
inline constexpr char input_list = 'l';

// Integers exactly, floats at the value of their float atom; any other atom
// becomes a skipped element.
inline void read_elements(short n, const t_atom* atoms, lyrcore::Element* out) {
    for (short i = 0; i < n; ++i) {
        const t_atom* a = &atoms[i];
        switch (atom_gettype(a)) {
        case A_LONG: out[i] = {static_cast<double>(atom_getlong(a)), true}; break;
        case A_FLOAT: out[i] = {atom_getfloat(a), true}; break;
        default: out[i] = {0.0, false}; break;
        }
    }
}

// Readies the stream for an input of `kind` with n elements: a new length
// takes a new state (all values 0, every outgoing atom a float 0) and
// restarts, a new kind restarts. False when memory ran out: the core has
// posted the console line and the object is left as it was.
template <class X, class State>
bool enter_stream(X* x, State& state, char kind, short n) {
    if (n != x->length) {
        State fresh;
        if (!allocate(fresh, n, sizeof(t_atom), host_allocator(), host_reporter())) return false;
        release(state, host_allocator());
        state = fresh;
        x->output = static_cast<t_atom*>(state.buffers.companion);
        for (short i = 0; i < n; ++i) atom_setfloat(&x->output[i], 0.0);
        x->length = n;
        x->count = 0;
    }
    if (x->input_kind != kind) x->count = 0;
    x->input_kind = kind;
    return true;
}

// An int or float message. `run(x)` computes from the incoming elements, fills and
// sends the output.
template <class X, class State, class Run>
void take_number(X* x, State& state, char kind, double value, const char* class_name, Run run) {
    // The input atom is taken by the constructor; should that have failed, try again now.
    if (!x->input_atom) x->input_atom = reinterpret_cast<t_atom*>(sysmem_newptr(sizeof(t_atom)));
    if (!x->input_atom) {
        lyrcore::report_dropped(host_reporter(), class_name, 1);
        return;
    }
    if (!enter_stream(x, state, kind, 1)) return;
    atom_setfloat(x->input_atom, value);
    read_elements(1, x->input_atom, state.buffers.input);
    run(x);
}

// A list message.
template <class X, class State, class Run>
void take_list(X* x, State& state, short argc, const t_atom* argv, Run run) {
    if (argc < 0 || (argc > 0 && !argv)) argc = 0;
    if (!enter_stream(x, state, input_list, argc)) return;
    read_elements(argc, argv, state.buffers.input);
    run(x);
}

// "bang": the last result again, if the stream has one.
template <class X>
void send_again(X* x) {
    if (x->count != 0) outlet_list(x->outlet, nullptr, x->length, x->output);
}

// The class of an element-wise object, set up as every such class is: its
// constructor and destructor, and its handlers bound to "int", "float",
// "list", "bang", "clear" and "assist" in this order; registered in the box
// name space. The caller stores the class and declares its attributes.
template <class X>
t_class* new_element_class(const char* name, void* (*constructor)(t_symbol*, short, t_atom*),
                           void (*destructor)(X*), void (*on_int)(X*, t_atom_long), void (*on_float)(X*, double),
                           void (*on_list)(X*, t_symbol*, short, t_atom*), void (*on_bang)(X*),
                           void (*on_clear)(X*), void (*on_assist)(X*, void*, long, long, char*)) {
    t_class* c = class_new(name, reinterpret_cast<method>(constructor), reinterpret_cast<method>(destructor),
                           sizeof(X), nullptr, A_GIMME, 0);
    class_addmethod(c, reinterpret_cast<method>(on_int), "int", A_ARG_LONG, 0);
    class_addmethod(c, reinterpret_cast<method>(on_float), "float", A_ARG_FLOAT, 0);
    class_addmethod(c, reinterpret_cast<method>(on_list), "list", A_GIMME, 0);
    class_addmethod(c, reinterpret_cast<method>(on_bang), "bang", 0);
    class_addmethod(c, reinterpret_cast<method>(on_clear), "clear", 0);
    class_addmethod(c, reinterpret_cast<method>(on_assist), "assist", A_CANT, 0);
    class_register(gensym("box"), c);
    return c;
}

// The record's share of the constructor, after the object's own fields: no
// stream yet, the input atom and the list outlet. Should the input atom not be
// had, the first int or float tries again.
template <class X>
void open_stream(X* x) {
    x->count = 0;
    x->input_atom = reinterpret_cast<t_atom*>(sysmem_newptr(sizeof(t_atom)));
    x->outlet = listout(x);
}

// The record's share of the destructor: the core state and the input atom.
template <class X, class State>
void release_stream(X* x, State& state) {
    release(state, host_allocator());
    x->output = nullptr;
    x->length = 0;
    sysmem_freeptr(x->input_atom);
    x->input_atom = nullptr;
}

}  // namespace lyrframe
