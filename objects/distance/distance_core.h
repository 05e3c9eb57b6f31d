// The computation of lyr.distance: a table of up to 25 reference vectors
// under the keys 1 to 25, an input vector and element weights, all of 350
// elements, and the distance from the input to every stored reference.
//
// Lists of any length become 350 elements by resampling. The core never sees a
// host type: a message reaches it as a list of opaque atoms of a fixed size
// with a function that reads one of them, and the values of a reference are
// kept as a byte copy of those atoms, handed back unchanged on output.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core_support.h"

namespace lyrdistance {

constexpr int kSlots = 25;        // keys 1 to 25; key k lives in slot k - 1
constexpr int kLength = 350;      // elements of every vector

// Distance list entry of an empty slot below the highest stored key: never
// computed, so it carries a value no distance can take (distances are >= 0).
constexpr double kEmptySlotDistance = -1.0;

// One incoming atom, as the core reads it.
struct Atom {
    enum class Kind : unsigned char { integer, real, symbol, other };
    Kind kind = Kind::other;
    double number = 0.0;        // integer and real
    const char* name = nullptr; // symbol
    long type = 0;              // other: the host's type code

    static Atom integer(double v) { return {Kind::integer, v, nullptr, 0}; }
    static Atom real(double v) { return {Kind::real, v, nullptr, 0}; }
    static Atom symbol(const char* s) { return {Kind::symbol, 0.0, s, 0}; }
    static Atom unknown(long t) { return {Kind::other, 0.0, nullptr, t}; }
};

// A message's atoms: `count` atoms of `stride` bytes each from `data`; `read`
// converts the atom at the given address.
struct AtomList {
    const void* data = nullptr;
    std::size_t count = 0;
    std::size_t stride = 0;
    Atom (*read)(const void* atom) = nullptr;

    Atom at(std::size_t i) const { return read(static_cast<const char*>(data) + i * stride); }
    AtomList tail() const {  // the atoms after the first
        if (count == 0) return *this;
        return {static_cast<const char*>(data) + stride, count - 1, stride, read};
    }
};

// Index of the atom that element i of the 350 takes from a list of n atoms:
// floor(i * n / 350), formed in integers.
inline std::size_t resample_index(std::size_t i, std::size_t n) { return i * n / kLength; }

// Exponent p that a mode gives: mode + 1 (Manhattan 1, Euclidean 2,
// Minkowski 3), never below 1 so that the root 1/p stays defined.
int32_t order_for_mode(int32_t mode);

// Outcome of storing a reference.
enum class StoreResult {
    stored,        // at least one element was a number: the slot counts
    not_marked,    // replaced, but no element was a number: the slot is not marked
    bad_key,       // key not an integer in 1..25: nothing changed
    empty,         // no key or no values: nothing changed
    no_memory,     // allocation failed: nothing changed
};

class Matcher {
public:
    Matcher(lyrcore::Allocator allocator = {}, lyrcore::Reporter reporter = {});
    ~Matcher();
    Matcher(const Matcher&) = delete;
    Matcher& operator=(const Matcher&) = delete;

    // New input vector from a list; elements whose atom is not a number keep
    // their value. An empty list changes nothing and gives false.
    bool set_input(const AtomList& list);
    // Every input element takes the value.
    void set_input_value(double v);
    // New weights from a list, clamped above 0 and scaled to a mean of 1.
    // An empty list changes nothing and gives false.
    bool set_weights(const AtomList& list);
    // Stores a reference: a key, then its values.
    StoreResult store(const AtomList& message);
    // Empties every slot and resets the weights to 1.
    void clear();

    // Distances from the input to every filled slot below count() with the
    // exponent p; weights apply when use_weights is set. Gives false (and
    // changes nothing) when no slot is filled.
    bool compute(double p, bool use_weights);

    // State, read after compute() or for inspection.
    int count() const { return count_; }
    bool filled(int slot) const { return filled_[slot] != 0; }
    int32_t length(int slot) const { return lengths_[slot]; }
    double distance(int slot) const { return distances_[slot]; }  // kEmptySlotDistance where not computed
    double best() const { return best_; }
    int closest() const { return closest_; }
    const double* reference(int slot) const { return refs_[slot]; }
    const double* input() const { return input_; }
    const double* weights() const { return weights_; }
    // The values that stored a slot, as the atoms were received (key left off).
    const void* stored_values(int slot) const { return stored_values_[slot]; }
    std::size_t stored_count(int slot) const { return lengths_[slot] > 0 ? std::size_t(lengths_[slot] - 1) : 0; }

private:
    // Resamples the list to 350 atoms and writes each numeric one into `out`;
    // the others are reported and their elements left alone. Gives the number
    // of elements written.
    int convert(const AtomList& list, double* out);
    void report_bad_atom(const Atom& a);
    void release_slot(int slot);

    lyrcore::Allocator allocator_;
    lyrcore::Reporter reporter_;

    int32_t filled_[kSlots] = {};
    int32_t count_ = 0;
    int32_t lengths_[kSlots] = {};      // values + 1 (the key), 0 for a slot never stored
    double best_ = 0.0;
    double distances_[kSlots] = {};
    double* refs_[kSlots] = {};
    double weights_[kLength];
    double input_[kLength] = {};
    int32_t closest_ = 0;
    void* stored_values_[kSlots] = {};
};

// The distance of one reference, as compute() forms it: with n the number of
// values the reference was stored with,
//   ((n / 350) * sum over k of w(k) * |x(k) - r(k)|^p) ^ (1 / p)
// where w is `weights` or 1 when `weights` is null.
double reference_distance(const double* input, const double* reference, const double* weights, std::size_t n,
                          double p);

}  // namespace lyrdistance
