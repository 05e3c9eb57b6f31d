// The embedded host: loads object modules, creates instances, delivers
// messages, runs the signal chain and the clocks on a logical clock, and
// records everything that leaves an outlet or reaches the console.
//
// There is one host per process (modules call the host API as free functions);
// a Host value is a session on it: creating one starts from no instances,
// logical time 0, 44100 Hz and 64-sample vectors; destroying it frees every
// instance it created. Loaded classes stay loaded for the life of the process.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "host_api.h"

namespace lyrhost {

using hostapi::t_atom;

// A script or call error: unknown class, unknown instance, bad command.
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One thing that happened, in order: a message out of an outlet or a console line.
struct Event {
    bool is_post = false;
    std::string object;      // instance name (messages)
    int outlet = 0;          // outlet index from 0 at the left (messages)
    std::string selector;    // "list", "float", "int", "bang", ... (messages)
    std::vector<t_atom> atoms;
    std::string text;        // the console line (posts)

    // As the runner prints it: "NAME:OUTLET SELECTOR ATOMS..." or "post: TEXT".
    std::string line() const;
    // The atoms' values as doubles (symbols read as NaN).
    std::vector<double> values() const;
};

// Atoms typed as in a message box: "3" an int, "3." "2.5" "-1e3" a float, else a symbol.
std::vector<t_atom> parse_atoms(std::string_view text);
std::string format_atom(const t_atom& a);  // ints in decimal, floats "%.9g", symbols as they are

class Host {
public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Module folders, searched in order; the build's module folder (or the
    // LYR_MODULE_DIR environment variable) is searched last.
    void add_module_dir(const std::string& dir);
    void set_sample_rate(double hz);
    void set_vector_size(int samples);
    double sample_rate() const;
    int vector_size() const;

    // Creates NAME as an instance of CLASS from message-box text arguments.
    // Throws HostError for an unknown class or a taken name; returns false when
    // the constructor gave null.
    bool create(const std::string& name, const std::string& class_name, std::string_view args = {});
    bool create(const std::string& name, const std::string& class_name, const std::vector<t_atom>& args);
    void free(const std::string& name);

    // Sends message-box text to an inlet: "3" an int, "1 2" a list, "bang",
    // "list 3 1 2", "domain 100 5000".
    void send(const std::string& name, int inlet, std::string_view message);
    void send(const std::string& name, int inlet, const std::string& selector, const std::vector<t_atom>& atoms);
    void connect(const std::string& from, int outlet, const std::string& to, int inlet);

    // Signal sources for an instance's first signal inlet: "silence",
    // "dc:VALUE", "sine:FREQ[:AMP]", "noise:SEED" or a WAV file path.
    void audio(const std::string& name, const std::string& source);
    // Custom source: called once per vector with the samples to fill.
    using SourceFn = void (*)(void* context, float* samples, int count);
    void audio(const std::string& name, SourceFn fn, void* context);
    // Keeps every sample of a signal outlet (and writes them to FILE if not empty).
    void record(const std::string& name, int outlet, const std::string& file = {});
    const std::vector<float>& recorded(const std::string& name, int outlet) const;

    void dsp(bool on);
    // Advances logical time, running vectors (when the chain is on) and clocks in time order.
    void run_ms(double ms);
    void run_samples(int64_t samples);
    double now_ms() const;

    // Sets the disabled flag of a signal object's header.
    void set_disabled(const std::string& name, bool disabled);

    // The record of an instance, for white-box tests.
    void* instance(const std::string& name) const;

    // Every event since the last call, in order.
    std::vector<Event> take_events();
    // The same, each as the runner prints it.
    std::vector<std::string> take_lines();
    // Called with each event as it happens (the runner prints through this).
    using Listener = void (*)(void* context, const Event& e);
    void set_listener(Listener fn, void* context);

    // Test control of the host allocator: the next `after` sysmem_newptr calls
    // succeed, later ones give null; -1 (the default) never fails.
    void fail_allocations_after(long after);
    // The next object_alloc gives null, as when the host is out of memory.
    void fail_next_object_alloc();
    // Number of sysmem_newptr calls so far.
    long allocation_count() const;

    // The class set-up as the host sees it, in the --describe format.
    std::string describe(const std::string& class_name);
};

}  // namespace lyrhost
