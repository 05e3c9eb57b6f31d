// The Host session: module loading, instances, the logical clock and the signal chain.
#include "embedded_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numbers>
#include <sstream>
#include <utility>

#include "host_state.h"
#include "wav.h"

#ifndef LYR_DEFAULT_MODULE_DIR
#define LYR_DEFAULT_MODULE_DIR "modules"
#endif

namespace lyrhost {

HostState& state() {
    static HostState s;
    return s;
}

void HostState::emit(Event e) {
    if (listener) listener(listener_context, e);
    else events.push_back(std::move(e));
}

void HostState::post_line(std::string text) {
    Event e;
    e.is_post = true;
    e.text = std::move(text);
    emit(std::move(e));
}

std::string HostState::name_of(t_object* x) const { return x && x->o_host ? x->o_host->name : std::string(); }

t_object* HostState::find(const std::string& name) const {
    for (const auto& [n, x] : instances)
        if (n == name) return x;
    return nullptr;
}

// Atoms and events.

std::string format_atom(const t_atom& a) {
    char buffer[64];
    switch (a.a_type) {
        case A_LONG: std::snprintf(buffer, sizeof buffer, "%d", a.a_w.w_long); return buffer;
        case A_FLOAT: std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(a.a_w.w_float)); return buffer;
        case A_SYM: return a.a_w.w_sym ? a.a_w.w_sym->s_name : "";
        default: return "?";
    }
}

std::string Event::line() const {
    if (is_post) return "post: " + text;
    std::string out = object + ":" + std::to_string(outlet) + " " + selector;
    for (const auto& a : atoms) out += " " + format_atom(a);
    return out;
}

std::vector<double> Event::values() const {
    std::vector<double> out;
    for (const auto& a : atoms)
        out.push_back(a.a_type == A_SYM ? std::numeric_limits<double>::quiet_NaN() : atom_getfloat(&a));
    return out;
}

static bool parse_number(const std::string& word, t_atom& out) {
    if (word.empty()) return false;
    const char* s = word.c_str();
    char* end = nullptr;
    bool has_digit = std::any_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!has_digit) return false;
    if (word.find_first_of(".eE") == std::string::npos) {
        errno = 0;
        long long v = std::strtoll(s, &end, 10);
        if (*end != '\0') return false;
        if (errno == ERANGE || v > INT32_MAX || v < INT32_MIN) {
            atom_setfloat(&out, static_cast<double>(v));  // too large for an int: a float, as a message box makes it
            return true;
        }
        atom_setlong(&out, static_cast<t_atom_long>(v));
        return true;
    }
    double d = std::strtod(s, &end);
    if (*end != '\0' || word.find_first_of("xXnN") != std::string::npos) return false;  // no hex, inf or nan
    atom_setfloat(&out, d);
    return true;
}

std::vector<t_atom> parse_atoms(std::string_view text) {
    std::vector<t_atom> atoms;
    std::istringstream in{std::string(text)};
    std::string word;
    while (in >> word) {
        t_atom a;
        if (!parse_number(word, a)) atom_setsym(&a, gensym(word.c_str()));
        atoms.push_back(a);
    }
    return atoms;
}

// Module loading.

static t_class* find_class(const std::string& class_name) {
    HostState& s = state();
    if (auto it = s.box.find(class_name); it != s.box.end()) return it->second;
    std::vector<std::string> dirs = s.module_dirs;
    if (const char* env = std::getenv("LYR_MODULE_DIR")) dirs.push_back(env);
    dirs.push_back(LYR_DEFAULT_MODULE_DIR);
    for (const auto& dir : dirs) {
        std::filesystem::path path = std::filesystem::path(dir) / (class_name + ".so");
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) continue;
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) throw HostError("cannot open module " + path.string() + ": " + dlerror());
        auto entry = reinterpret_cast<int (*)()>(dlsym(handle, "main"));
        if (!entry) {
            dlclose(handle);
            throw HostError("module " + path.string() + " exports no main");
        }
        s.modules.push_back(handle);
        entry();
        if (auto it = s.box.find(class_name); it != s.box.end()) return it->second;
        throw HostError("module " + path.string() + " does not define " + class_name);
    }
    throw HostError("unknown class \"" + class_name + "\"");
}

// Host session.

Host::Host() {
    HostState& s = state();
    s.instances.clear();
    s.chain.clear();
    s.buffers.clear();
    s.sources.clear();
    s.recordings.clear();
    s.events.clear();
    s.listener = nullptr;
    s.sample_rate = 44100;
    s.vector_size = 64;
    s.now = 0;
    s.dsp_on = false;
    s.vectors_run = 0;
    s.fail_after = -1;
    s.fail_object_alloc = false;
    s.allocations = 0;
}

Host::~Host() {
    HostState& s = state();
    s.listener = nullptr;
    dsp(false);
    while (!s.instances.empty()) free(s.instances.back().first);
}

void Host::add_module_dir(const std::string& dir) { state().module_dirs.push_back(dir); }
void Host::set_sample_rate(double hz) { state().sample_rate = hz; }
void Host::set_vector_size(int samples) { state().vector_size = std::max(samples, 1); }
double Host::sample_rate() const { return state().sample_rate; }
int Host::vector_size() const { return state().vector_size; }

bool Host::create(const std::string& name, const std::string& class_name, std::string_view args) {
    return create(name, class_name, parse_atoms(args));
}

bool Host::create(const std::string& name, const std::string& class_name, const std::vector<t_atom>& args) {
    HostState& s = state();
    if (s.find(name)) throw HostError("the name \"" + name + "\" is taken");
    t_class* c = find_class(class_name);
    if (args.size() > 32767) throw HostError("too many creation arguments");
    std::vector<t_atom> copy = args;
    using constructor = void* (*)(t_symbol*, short, t_atom*);
    void* x = reinterpret_cast<constructor>(c->newm)(gensym(class_name.c_str()), static_cast<short>(copy.size()), copy.data());
    if (!x) return false;
    auto* o = static_cast<t_object*>(x);
    o->o_host->name = name;
    s.instances.emplace_back(name, o);
    if (s.dsp_on && c->dsp) dsp(true);  // a new signal object joins the running chain
    return true;
}

static t_object* instance_or_throw(const std::string& name) {
    t_object* x = state().find(name);
    if (!x) throw HostError("unknown object \"" + name + "\"");
    return x;
}

void Host::free(const std::string& name) {
    HostState& s = state();
    t_object* x = instance_or_throw(name);
    if (x->o_class->freem) reinterpret_cast<void (*)(void*)>(x->o_class->freem)(x);
    if (x->o_host->in_chain) z_dsp_free(reinterpret_cast<t_pxobject*>(x));  // a destructor that forgot to leave
    std::erase_if(s.instances, [x](const auto& p) { return p.second == x; });
    for (const auto& [n, other] : s.instances)
        for (auto* out : other->o_host->outlets)
            std::erase_if(out->connections, [x](const t_connection& c) { return c.target == x; });
    s.sources.erase(x);
    std::erase_if(s.recordings, [x](const auto& r) { return r.first.first == x; });
    t_host_object* h = x->o_host;
    // What the object did not give back is released here, so nothing fires into a freed record.
    for (auto* k : h->clocks) delete k;
    for (auto* p : h->proxies) delete p;
    for (auto* out : h->outlets) delete out;
    delete h;
    std::free(x);
}

void Host::send(const std::string& name, int inlet, std::string_view message) {
    std::vector<t_atom> atoms = parse_atoms(message);
    if (atoms.empty()) throw HostError("empty message");
    if (atoms[0].a_type == A_SYM) {
        std::string selector = atoms[0].a_w.w_sym->s_name;
        atoms.erase(atoms.begin());
        send(name, inlet, selector, atoms);
    } else if (atoms.size() == 1) {
        send(name, inlet, atoms[0].a_type == A_LONG ? "int" : "float", atoms);
    } else {
        send(name, inlet, "list", atoms);
    }
}

static long inlet_count(t_object* x) {
    long n = std::max<long>(1, x->o_host->signal_inlets);
    for (auto* p : x->o_host->proxies) n = std::max(n, p->number + 1);
    return n;
}

void Host::send(const std::string& name, int inlet, const std::string& selector, const std::vector<t_atom>& atoms) {
    t_object* x = instance_or_throw(name);
    if (inlet < 0 || inlet >= inlet_count(x)) throw HostError(name + " has no inlet " + std::to_string(inlet));
    deliver(x, inlet, gensym(selector.c_str()), static_cast<long>(atoms.size()), atoms.data());
}

void Host::connect(const std::string& from, int outlet, const std::string& to, int inlet) {
    t_object* a = instance_or_throw(from);
    t_object* b = instance_or_throw(to);
    auto& outs = a->o_host->outlets;
    if (outlet < 0 || outlet >= static_cast<int>(outs.size())) throw HostError(from + " has no outlet " + std::to_string(outlet));
    if (inlet < 0 || inlet >= inlet_count(b)) throw HostError(to + " has no inlet " + std::to_string(inlet));
    outs[static_cast<size_t>(outlet)]->connections.push_back({b, inlet});
}

// Signal sources.

static double parse_double(const std::string& text, const std::string& what) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') throw HostError("bad " + what + " \"" + text + "\"");
    return v;
}

void Host::audio(const std::string& name, const std::string& source) {
    t_object* x = instance_or_throw(name);
    Source src;
    std::vector<std::string> parts;
    std::stringstream ss(source);
    for (std::string part; std::getline(ss, part, ':');) parts.push_back(part);
    const std::string kind = parts.empty() ? "" : parts[0];
    if (source == "silence") {
        src.kind = Source::Silence;
    } else if (kind == "dc" && parts.size() == 2) {
        src.kind = Source::Dc;
        src.value = parse_double(parts[1], "value");
    } else if (kind == "sine" && (parts.size() == 2 || parts.size() == 3)) {
        src.kind = Source::Sine;
        src.frequency = parse_double(parts[1], "frequency");
        src.amplitude = parts.size() == 3 ? parse_double(parts[2], "amplitude") : 1.0;
    } else if (kind == "noise" && parts.size() == 2) {
        src.kind = Source::Noise;
        src.state = static_cast<uint64_t>(parse_double(parts[1], "seed"));
    } else {
        std::string error;
        if (!read_wav(source, src.samples, error)) throw HostError("audio source \"" + source + "\": " + error);
        src.kind = Source::Samples;
    }
    state().sources[x] = std::move(src);
}

void Host::audio(const std::string& name, SourceFn fn, void* context) {
    t_object* x = instance_or_throw(name);
    Source src;
    src.kind = Source::Callback;
    src.fn = fn;
    src.context = context;
    state().sources[x] = std::move(src);
}

// Fills one vector from a source. Noise is a 64-bit linear congruential
// generator: state = state * 6364136223846793005 + 1442695040888963407, and
// the sample is (state >> 40) / 2^23 - 1, in [-1, 1).
static void fill(Source& src, float* out, int n, double sr) {
    for (int i = 0; i < n; ++i) {
        double v = 0;
        switch (src.kind) {
            case Source::Silence: break;
            case Source::Dc: v = src.value; break;
            case Source::Sine:
                v = src.amplitude * std::sin(2.0 * std::numbers::pi * src.frequency * static_cast<double>(src.phase) / sr);
                break;
            case Source::Noise:
                src.state = src.state * 6364136223846793005ULL + 1442695040888963407ULL;
                v = static_cast<double>(src.state >> 40) / 8388608.0 - 1.0;
                break;
            case Source::Samples: v = src.read < src.samples.size() ? src.samples[src.read++] : 0.0; break;
            case Source::Callback: break;
        }
        out[i] = static_cast<float>(v);
        ++src.phase;
    }
    if (src.kind == Source::Callback) src.fn(src.context, out, n);
}

void Host::record(const std::string& name, int outlet, const std::string& file) {
    t_object* x = instance_or_throw(name);
    auto& outs = x->o_host->outlets;
    if (outlet < 0 || outlet >= static_cast<int>(outs.size()) || outs[static_cast<size_t>(outlet)]->type != "signal")
        throw HostError(name + " has no signal outlet " + std::to_string(outlet));
    Recording r;
    for (int i = 0; i < outlet; ++i)
        if (outs[static_cast<size_t>(i)]->type == "signal") ++r.signal_index;
    if (!file.empty()) {
        r.out = std::make_unique<std::ofstream>(file, std::ios::trunc);
        if (!*r.out) throw HostError("cannot write " + file);
    }
    state().recordings[{x, outlet}] = std::move(r);
}

const std::vector<float>& Host::recorded(const std::string& name, int outlet) const {
    t_object* x = instance_or_throw(name);
    auto it = state().recordings.find({x, outlet});
    if (it == state().recordings.end()) throw HostError(name + ":" + std::to_string(outlet) + " is not recorded");
    return it->second.samples;
}

// The signal chain: every signal object gets "dsp" with one record per signal
// inlet and outlet, in creation order, and adds its perform routines.
void Host::dsp(bool on) {
    HostState& s = state();
    s.chain.clear();
    s.buffers.clear();
    for (auto& [n, x] : s.instances) x->o_host->in_chain = false;
    if (!on) {
        s.dsp_on = false;
        return;
    }
    if (!s.dsp_on) {
        s.dsp_on = true;
        s.dsp_start = s.now;
        s.vectors_run = 0;
        for (auto& [x, src] : s.sources) src.phase = 0;
    }
    const int vs = s.vector_size;
    for (auto& [n, x] : s.instances) {
        if (!x->o_class->dsp) continue;
        const t_method_binding* m = x->o_class->find("dsp");
        if (!m) continue;
        auto b = std::make_unique<SignalBuffers>();
        b->owner = x;
        long ins = x->o_host->signal_inlets;
        long outs = std::count_if(x->o_host->outlets.begin(), x->o_host->outlets.end(),
                                  [](const t_host_outlet* o) { return o->type == "signal"; });
        b->inputs.assign(static_cast<size_t>(ins), std::vector<t_sample>(static_cast<size_t>(vs), 0.0f));
        b->outputs.assign(static_cast<size_t>(outs), std::vector<t_sample>(static_cast<size_t>(vs), 0.0f));
        for (auto& v : b->inputs) b->records.push_back({vs, v.data(), static_cast<float>(s.sample_rate)});
        for (auto& v : b->outputs) b->records.push_back({vs, v.data(), static_cast<float>(s.sample_rate)});
        std::vector<t_signal*> pointers;
        for (auto& r : b->records) pointers.push_back(&r);
        std::vector<short> counts(pointers.size(), 0);
        if (ins > 0 && s.sources.count(x)) counts[0] = 1;
        s.building_owner = x;
        reinterpret_cast<void (*)(void*, t_signal**, short*)>(m->fn)(x, pointers.data(), counts.data());
        s.building_owner = nullptr;
        x->o_host->in_chain = true;
        s.buffers.push_back(std::move(b));
    }
}

static void run_vector(HostState& s) {
    for (auto& b : s.buffers) {
        if (!b->inputs.empty()) {
            auto it = s.sources.find(b->owner);
            auto& in = b->inputs[0];
            if (it != s.sources.end()) fill(it->second, in.data(), static_cast<int>(in.size()), s.sample_rate);
            else std::fill(in.begin(), in.end(), 0.0f);
        }
    }
    for (auto& e : s.chain) {
        auto routine = reinterpret_cast<t_perfroutine>(e.words[0]);
        routine(e.words.data());
    }
    for (auto& [key, r] : s.recordings) {
        for (auto& b : s.buffers) {
            if (b->owner != key.first || r.signal_index >= static_cast<int>(b->outputs.size())) continue;
            const auto& v = b->outputs[static_cast<size_t>(r.signal_index)];
            r.samples.insert(r.samples.end(), v.begin(), v.end());
            if (r.out) {
                char line[64];
                for (float f : v) {
                    std::snprintf(line, sizeof line, "%.9g\n", static_cast<double>(f));
                    *r.out << line;
                }
            }
        }
    }
}

void Host::run_ms(double ms) {
    HostState& s = state();
    const double until = s.now + std::max(ms, 0.0);
    constexpr double epsilon = 1e-9;
    for (;;) {
        t_host_clock* next = nullptr;
        for (auto& [n, x] : s.instances)
            for (auto* k : x->o_host->clocks)
                if (k->armed && (!next || k->due < next->due || (k->due == next->due && k->sequence < next->sequence)))
                    next = k;
        double vector_time = std::numeric_limits<double>::infinity();
        if (s.dsp_on)
            vector_time = s.dsp_start + static_cast<double>(s.vectors_run) * s.vector_size * 1000.0 / s.sample_rate;
        if (next && next->due <= until + epsilon && next->due <= vector_time + epsilon) {
            s.now = std::max(s.now, next->due);
            next->armed = false;
            reinterpret_cast<void (*)(void*)>(next->routine)(next->owner);
        } else if (vector_time < until - epsilon) {
            s.now = std::max(s.now, vector_time);
            run_vector(s);
            ++s.vectors_run;
        } else {
            break;
        }
    }
    s.now = until;
    for (auto& [key, r] : s.recordings)
        if (r.out) r.out->flush();  // a file is complete whenever time stands still
}

void Host::run_samples(int64_t samples) { run_ms(static_cast<double>(samples) * 1000.0 / state().sample_rate); }
double Host::now_ms() const { return state().now; }

void Host::set_disabled(const std::string& name, bool disabled) {
    t_object* x = instance_or_throw(name);
    if (!x->o_class->dsp) throw HostError(name + " is not a signal object");
    reinterpret_cast<t_pxobject*>(x)->z_disabled = disabled ? 1 : 0;
}

void* Host::instance(const std::string& name) const { return instance_or_throw(name); }

std::vector<Event> Host::take_events() { return std::exchange(state().events, {}); }

std::vector<std::string> Host::take_lines() {
    std::vector<std::string> out;
    for (const Event& e : take_events()) out.push_back(e.line());
    return out;
}

void Host::set_listener(Listener fn, void* context) {
    state().listener = fn;
    state().listener_context = context;
}

void Host::fail_allocations_after(long after) { state().fail_after = after; }
void Host::fail_next_object_alloc() { state().fail_object_alloc = true; }
long Host::allocation_count() const { return state().allocations; }

// Describing a class: its bindings, its inlets and outlets with their assist
// texts (from an instance made without arguments), and its attributes.
static std::string quoted(const std::string& s) { return "\"" + s + "\""; }

static std::string kind_name(const std::vector<short>& types) {
    if (types.empty()) return "none";
    switch (types[0]) {
        case A_ARG_LONG: return "int";
        case A_ARG_FLOAT: return "float";
        case A_GIMME: return "any";
        case A_CANT: return "private";
        default: return "?";
    }
}

std::string Host::describe(const std::string& class_name) {
    HostState& s = state();
    t_class* c = find_class(class_name);
    std::ostringstream out;
    out << "class " << quoted(c->name) << " size " << c->size << (c->dsp ? " signal" : "")
        << " destructor " << (c->freem ? "yes" : "none") << "\n";
    for (const auto& m : c->methods) out << "method " << quoted(m.selector) << " " << kind_name(m.types) << "\n";

    std::string temp = " describe ";
    if (create(temp, class_name, std::vector<t_atom>{})) {
        t_object* x = s.find(temp);
        const t_method_binding* assist = c->find("assist");
        auto text_for = [&](long kind, long index) {
            char buffer[512] = "";
            if (!assist) return std::string("(no assist)");
            std::strcpy(buffer, "\x01");
            reinterpret_cast<void (*)(void*, void*, long, long, char*)>(assist->fn)(x, nullptr, kind, index, buffer);
            return std::strcmp(buffer, "\x01") == 0 ? std::string("(no text)") : quoted(buffer);
        };
        long ins = inlet_count(x);
        for (long i = 0; i < ins; ++i)
            out << "inlet " << i << (i < x->o_host->signal_inlets ? " signal " : " ") << text_for(ASSIST_INLET, i) << "\n";
        const auto& outs = x->o_host->outlets;
        for (size_t i = 0; i < outs.size(); ++i)
            out << "outlet " << i << " " << (outs[i]->type.empty() ? "any" : outs[i]->type) << " "
                << text_for(ASSIST_OUTLET, static_cast<long>(i)) << "\n";
        free(temp);
    } else {
        out << "(the constructor gave no instance)\n";
    }
    for (const auto* a : c->attrs) {
        out << "attribute " << quoted(a->name) << " " << a->type->s_name;
        if (a->size > 0) out << "[" << a->size << "]";
        out << " offset " << a->offset << "\n";
        for (const auto& p : a->properties)
            out << "  " << p.name << " " << p.type << " flags " << p.flags << " " << quoted(p.text) << "\n";
        if (a->clip) {
            out << "  clip";
            if (a->use_min) out << " min " << a->min;
            if (a->use_max) out << " max " << a->max;
            out << "\n";
        }
        if (a->setter) out << "  setter custom\n";
        if (a->getter) out << "  getter custom\n";
    }
    return out.str();
}

}  // namespace lyrhost
