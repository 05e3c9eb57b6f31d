#include "distance_core.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace lyrdistance {

namespace {

// 0.00001 as the single-precision value it was always stored as: the weight
// that replaces every weight not above 0.
constexpr double kSmallestWeight = static_cast<double>(0.00001f);

// Sum of w(k) * |x(k) - r(k)|^p for p = 1 or 2, in four interleaved partial
// sums so that the additions do not wait on one another. The terms are not
// negative, so the order of the additions moves the result by a few units in
// the last place at most.
template <int P, bool Weighted>
double power_sum(const double* x, const double* r, const double* w) {
    auto term = [&](int k) {
        double d = std::fabs(x[k] - r[k]);
        double t = P == 1 ? d : d * d;
        return Weighted ? t * w[k] : t;
    };
    double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
    int k = 0;
    for (; k + 4 <= kLength; k += 4) {
        a0 += term(k);
        a1 += term(k + 1);
        a2 += term(k + 2);
        a3 += term(k + 3);
    }
    for (; k < kLength; ++k) a0 += term(k);
    return (a0 + a1) + (a2 + a3);
}

}  // namespace

int32_t order_for_mode(int32_t mode) {
    // mode + 1 computed wide so that the largest mode cannot overflow.
    int64_t p = static_cast<int64_t>(mode) + 1;
    if (p < 1) return 1;
    if (p > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(p);
}

double reference_distance(const double* input, const double* reference, const double* weights, std::size_t n,
                          double p) {
    const double scale = static_cast<double>(kLength) / static_cast<double>(n);
    if (p == 1.0 || p == 2.0) {
        double sum = p == 1.0 ? (weights ? power_sum<1, true>(input, reference, weights)
                                         : power_sum<1, false>(input, reference, weights))
                              : (weights ? power_sum<2, true>(input, reference, weights)
                                         : power_sum<2, false>(input, reference, weights));
        sum = sum / scale;
        return p == 1.0 ? sum : std::sqrt(sum);
    }
    double sum = 0.0;
    for (int k = 0; k < kLength; ++k) {
        double t = std::pow(std::fabs(input[k] - reference[k]), p) / scale;
        if (weights) t = t * weights[k];
        sum = t + sum;
    }
    return std::pow(sum, 1.0 / p);
}

Matcher::Matcher(lyrcore::Allocator allocator, lyrcore::Reporter reporter)
    : allocator_(allocator), reporter_(reporter) {
    for (double& w : weights_) w = 1.0;
    for (double& d : distances_) d = kEmptySlotDistance;
}

Matcher::~Matcher() {
    for (int j = 0; j < kSlots; ++j) release_slot(j);
}

void Matcher::release_slot(int slot) {
    allocator_.release(refs_[slot]);
    allocator_.release(stored_values_[slot]);
    refs_[slot] = nullptr;
    stored_values_[slot] = nullptr;
}

void Matcher::report_bad_atom(const Atom& a) {
    char line[1024];
    if (a.kind == Atom::Kind::symbol)
        std::snprintf(line, sizeof line, "Invalid atom type : %s", a.name ? a.name : "");
    else
        std::snprintf(line, sizeof line, "Invalid atom type : (%ld)", a.type);
    reporter_(line);
}

int Matcher::convert(const AtomList& list, double* out) {
    int written = 0;
    for (int i = 0; i < kLength; ++i) {
        Atom a = list.at(resample_index(static_cast<std::size_t>(i), list.count));
        if (a.kind == Atom::Kind::integer || a.kind == Atom::Kind::real) {
            out[i] = a.number;
            ++written;
        } else {
            report_bad_atom(a);
        }
    }
    return written;
}

bool Matcher::set_input(const AtomList& list) {
    if (list.count == 0) {
        reporter_("lyr.distance : empty list, input unchanged");
        return false;
    }
    convert(list, input_);
    return true;
}

void Matcher::set_input_value(double v) {
    for (double& x : input_) x = v;
}

bool Matcher::set_weights(const AtomList& list) {
    if (list.count == 0) {
        reporter_("lyr.distance : weights without values, weights unchanged");
        return false;
    }
    convert(list, weights_);
    // Each partial sum is held in single precision, as the weights always were.
    float sum = 0.0f;
    for (double& w : weights_) {
        if (!(w > 0.0)) w = kSmallestWeight;
        sum = static_cast<float>(sum + w);
    }
    for (double& w : weights_) w = (w / sum) * kLength;
    return true;
}

StoreResult Matcher::store(const AtomList& message) {
    char line[256];
    if (message.count == 0) {
        reporter_("lyr.distance : list without a key, nothing stored");
        return StoreResult::empty;
    }
    Atom key_atom = message.at(0);
    if (key_atom.kind != Atom::Kind::integer || key_atom.number > kSlots || key_atom.number < 1) {
        reporter_("Invalid key type or key is too high");
        return StoreResult::bad_key;
    }
    const int key = static_cast<int>(key_atom.number);
    const AtomList values = message.tail();
    if (values.count == 0) {
        std::snprintf(line, sizeof line, "lyr.distance : key %d without values, nothing stored", key);
        reporter_(line);
        return StoreResult::empty;
    }

    // Take both blocks before touching the slot, so that a failure leaves it as it was.
    const std::size_t value_bytes = values.count * values.stride;
    void* stored = allocator_.allocate(value_bytes);
    auto* vector = static_cast<double*>(allocator_.allocate(sizeof(double) * kLength));
    if (!stored || !vector) {
        allocator_.release(stored);
        allocator_.release(vector);
        std::snprintf(line, sizeof line, "lyr.distance : out of memory, key %d not stored", key);
        reporter_(line);
        return StoreResult::no_memory;
    }
    std::memcpy(stored, values.data, value_bytes);
    // Elements whose atom is not a number are never written: they read 0.
    for (int k = 0; k < kLength; ++k) vector[k] = 0.0;
    const int written = convert(values, vector);

    const int slot = key - 1;
    release_slot(slot);
    stored_values_[slot] = stored;
    refs_[slot] = vector;
    lengths_[slot] = static_cast<int32_t>(values.count + 1);
    if (written == 0) return StoreResult::not_marked;
    filled_[slot] = 1;
    if (count_ < key) count_ = key;
    return StoreResult::stored;
}

void Matcher::clear() {
    for (int j = 0; j < kSlots; ++j) {
        filled_[j] = 0;
        lengths_[j] = 0;
        release_slot(j);
    }
    count_ = 0;
    for (double& w : weights_) w = 1.0;
}

bool Matcher::compute(double p, bool use_weights) {
    bool compared = false;
    for (int j = 0; j < count_; ++j) {
        if (!filled_[j]) {
            distances_[j] = kEmptySlotDistance;
            continue;
        }
        const double d = reference_distance(input_, refs_[j], use_weights ? weights_ : nullptr,
                                             static_cast<std::size_t>(lengths_[j] - 1), p);
        distances_[j] = d;
        if (!compared || d < best_) {
            best_ = d;
            closest_ = j + 1;
        }
        compared = true;
    }
    return compared;
}

}  // namespace lyrdistance
