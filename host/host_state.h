// Inner records of the embedded host: classes, instances, inlets, outlets,
// attributes, clocks and the signal chain. Shared by the host-API
// implementation and the Host session; never seen by modules.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "embedded_host.h"
#include "host_api.h"

namespace hostapi {

struct t_method_binding {
    std::string selector;
    method fn = nullptr;
    std::vector<short> types;
};

struct t_host_attr;

struct t_class {
    std::string name;
    method newm = nullptr;
    method freem = nullptr;
    long size = 0;
    std::vector<short> new_types;
    std::vector<t_method_binding> methods;  // in binding order
    std::vector<t_host_attr*> attrs;        // in declaration order (owned by the host state)
    bool dsp = false;
    bool registered = false;
    bool internal = false;  // the host's own kinds: attribute, proxy, clock, outlet

    const t_method_binding* find(const std::string& selector) const {
        for (const auto& m : methods)
            if (m.selector == selector) return &m;
        return nullptr;
    }
    t_host_attr* find_attr(const std::string& attr_name) const;
};

struct t_attr_property {
    std::string name;
    std::string type;
    long flags = 0;
    std::string text;
};

// An attribute: its storage in the record, its declared properties, its
// accessors and its clip filter.
struct t_host_attr {
    t_object header{};
    t_class* owner = nullptr;
    std::string name;
    t_symbol* type = nullptr;
    long offset = 0;
    long size = 0;  // 0: a single value; else the array's element count
    method getter = nullptr;
    method setter = nullptr;
    std::vector<t_attr_property> properties;  // in declaration order
    bool clip = false;
    double min = 0, max = 0;
    bool use_min = false, use_max = false;
};

struct t_host_outlet;

struct t_connection {
    t_object* target;
    int inlet;
};

struct t_host_outlet {
    t_object header{};
    t_object* owner = nullptr;
    std::string type;  // "list", "float", "int", "bang", "signal", "" for any
    std::vector<t_connection> connections;
};

struct t_host_proxy {
    t_object header{};
    t_object* owner = nullptr;
    long number = 0;
    int32_t* stuffloc = nullptr;
};

struct t_host_clock {
    t_object header{};
    t_object* owner = nullptr;
    method routine = nullptr;
    bool armed = false;
    double due = 0;
    uint64_t sequence = 0;  // arming order: ties fire in it
};

// What the host keeps for an instance besides its record.
struct t_host_object {
    t_class* cls = nullptr;
    std::string name;
    long current_inlet = 0;
    std::vector<t_host_proxy*> proxies;
    std::vector<t_host_outlet*> outlets;  // left to right
    std::vector<t_host_clock*> clocks;
    long signal_inlets = 0;
    bool in_chain = false;
};

}  // namespace hostapi

namespace lyrhost {

using namespace hostapi;

struct Source {
    enum Kind { Silence, Dc, Sine, Noise, Samples, Callback } kind = Silence;
    double value = 0, frequency = 0, amplitude = 1;
    uint64_t state = 0;
    std::vector<float> samples;
    size_t read = 0;
    int64_t phase = 0;  // samples since dsp on
    Host::SourceFn fn = nullptr;
    void* context = nullptr;
};

struct Recording {
    std::vector<float> samples;
    int signal_index = 0;                // which signal outlet, from the left
    std::unique_ptr<std::ofstream> out;  // the file the samples also go to, if any
};

struct ChainEntry {
    t_object* owner;
    std::vector<t_int> words;  // routine, then its arguments
};

struct SignalBuffers {
    t_object* owner;
    std::vector<std::vector<t_sample>> inputs, outputs;
    std::vector<t_signal> records;
};

// The one host of this process.
struct HostState {
    std::vector<std::string> module_dirs;
    std::map<std::string, t_class*> box;  // registered classes by name
    std::vector<std::unique_ptr<t_class>> classes;
    std::vector<std::unique_ptr<t_host_attr>> attrs;
    std::vector<void*> modules;  // dlopen handles

    std::vector<std::pair<std::string, t_object*>> instances;  // creation order
    double sample_rate = 44100;
    int vector_size = 64;
    double now = 0;         // logical time in ms
    double dsp_start = 0;   // when the chain started
    int64_t vectors_run = 0;
    bool dsp_on = false;
    uint64_t clock_sequence = 0;

    std::vector<ChainEntry> chain;
    std::vector<std::unique_ptr<SignalBuffers>> buffers;
    std::map<t_object*, Source> sources;
    std::map<std::pair<t_object*, int>, Recording> recordings;
    ChainEntry* building = nullptr;  // set while "dsp" adds routines
    t_object* building_owner = nullptr;

    std::vector<Event> events;
    Host::Listener listener = nullptr;
    void* listener_context = nullptr;

    long allocations = 0;
    long fail_after = -1;
    bool fail_object_alloc = false;
    int depth = 0;  // message nesting, to stop feedback loops
    std::string loading;  // module being loaded

    void emit(Event e);
    void post_line(std::string text);
    std::string name_of(t_object* x) const;
    t_object* find(const std::string& name) const;
};

HostState& state();

// Delivery of a message to an inlet, with the conversions users of the host expect.
void deliver(t_object* x, long inlet, t_symbol* selector, long count, const t_atom* atoms);
// Attribute values as atoms, and setting them through filter and setter.
std::vector<t_atom> attr_get_values(t_object* x, const t_host_attr* a);
void attr_set_values(t_object* x, t_host_attr* a, long count, const t_atom* atoms);

bool is_kind(const void* x, const t_class* kind);
extern t_class attr_kind, proxy_kind, clock_kind, outlet_kind;

}  // namespace lyrhost
