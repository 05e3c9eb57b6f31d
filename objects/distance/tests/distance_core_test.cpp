// The distance core on its own: resampling, the reference table, weights and
// the metrics, with a console and an allocator the tests can watch.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "distance_core.h"

namespace {

using lyrdistance::Atom;
using lyrdistance::AtomList;
using lyrdistance::kEmptySlotDistance;
using lyrdistance::kLength;
using lyrdistance::Matcher;
using lyrdistance::StoreResult;

AtomList list_of(const std::vector<Atom>& atoms) {
    return {atoms.data(), atoms.size(), sizeof(Atom), [](const void* p) { return *static_cast<const Atom*>(p); }};
}

std::vector<Atom> ints(std::initializer_list<int> values) {
    std::vector<Atom> v;
    for (int n : values) v.push_back(Atom::integer(n));
    return v;
}

// Console lines and allocator traffic of one matcher.
struct Console {
    std::vector<std::string> lines;
    lyrcore::Reporter reporter() {
        return {[](void* c, const char* text) { static_cast<Console*>(c)->lines.emplace_back(text); }, this};
    }
};

struct CountingHeap {
    static inline long allocations = 0;
    static inline long releases = 0;
    static inline long fail_from = -1;  // allocation number (from 0) from which every call fails
    static void reset(long fail = -1) {
        allocations = releases = 0;
        fail_from = fail;
    }
    static lyrcore::Allocator allocator() {
        lyrcore::Allocator a;
        a.allocate = [](std::size_t bytes) -> void* {
            long n = allocations++;
            if (fail_from >= 0 && n >= fail_from) return nullptr;
            return std::malloc(bytes);
        };
        a.release = [](void* p) {
            if (p) ++releases;
            std::free(p);
        };
        return a;
    }
};

class DistanceCore : public ::testing::Test {
protected:
    void SetUp() override { CountingHeap::reset(); }
    Console console;
    Matcher m{CountingHeap::allocator(), console.reporter()};

    StoreResult store(const std::vector<Atom>& message) { return m.store(list_of(message)); }
    std::vector<double> input() const { return {m.input(), m.input() + kLength}; }
    std::vector<double> reference(int key) const { return {m.reference(key - 1), m.reference(key - 1) + kLength}; }
};

// Counts the elements of v equal to value within [from, to].
int count_equal(const std::vector<double>& v, int from, int to, double value) {
    int n = 0;
    for (int i = from; i <= to; ++i) n += v[i] == value;
    return n;
}

TEST(DistanceResample, IndexIsTruncatedIntegerQuotient) {
    struct Case {
        std::size_t i, n, expected;
    };
    for (auto c : std::vector<Case>{{0, 2, 0}, {174, 2, 0}, {175, 2, 1}, {349, 2, 1}, {116, 3, 0}, {117, 3, 1},
                                    {233, 3, 1}, {234, 3, 2}, {349, 350, 349}, {5, 700, 10}, {349, 700, 698},
                                    {349, 1, 0}, {349, 32767, 32673}})
        EXPECT_EQ(lyrdistance::resample_index(c.i, c.n), c.expected) << "i=" << c.i << " n=" << c.n;
}

TEST(DistanceMode, OrderIsModePlusOneAndNeverBelowOne) {
    struct Case {
        int32_t mode, order;
    };
    for (auto c : std::vector<Case>{{0, 1}, {1, 2}, {2, 3}, {5, 6}, {-1, 1}, {-7, 1}, {INT32_MIN, 1},
                                    {INT32_MAX, INT32_MAX}})
        EXPECT_EQ(lyrdistance::order_for_mode(c.mode), c.order) << "mode " << c.mode;
}

TEST_F(DistanceCore, StoreResamplesValuesAndKeepsTheAtoms) {
    EXPECT_EQ(store(ints({3, 1, 2, 3})), StoreResult::stored);
    std::vector<double> r = reference(3);
    EXPECT_EQ(count_equal(r, 0, 116, 1.0), 117);
    EXPECT_EQ(count_equal(r, 117, 233, 2.0), 117);
    EXPECT_EQ(count_equal(r, 234, 349, 3.0), 116);
    EXPECT_EQ(m.length(2), 4);
    EXPECT_EQ(m.count(), 3);
    EXPECT_FALSE(m.filled(0));
    EXPECT_FALSE(m.filled(1));
    EXPECT_TRUE(m.filled(2));
    ASSERT_EQ(m.stored_count(2), 3u);
    const auto* kept = static_cast<const Atom*>(m.stored_values(2));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(kept[i].kind, Atom::Kind::integer);
        EXPECT_EQ(kept[i].number, i + 1);
    }
    EXPECT_TRUE(console.lines.empty());
}

TEST_F(DistanceCore, StoreKeepsValueAtomsWhateverTheirType) {
    std::vector<Atom> msg{Atom::integer(1), Atom::real(2.5), Atom::symbol("loud"), Atom::integer(7)};
    EXPECT_EQ(store(msg), StoreResult::stored);
    ASSERT_EQ(m.stored_count(0), 3u);
    const auto* kept = static_cast<const Atom*>(m.stored_values(0));
    EXPECT_EQ(kept[0].kind, Atom::Kind::real);
    EXPECT_EQ(kept[0].number, 2.5);
    EXPECT_EQ(kept[1].kind, Atom::Kind::symbol);
    EXPECT_STREQ(kept[1].name, "loud");
    EXPECT_EQ(kept[2].number, 7);
    // The symbol fills elements 117-233: never written, they read 0; one line per element.
    std::vector<double> r = reference(1);
    EXPECT_EQ(count_equal(r, 0, 116, 2.5), 117);
    EXPECT_EQ(count_equal(r, 117, 233, 0.0), 117);
    EXPECT_EQ(count_equal(r, 234, 349, 7.0), 116);
    EXPECT_EQ(console.lines.size(), 117u);
    EXPECT_EQ(console.lines.front(), "Invalid atom type : loud");
}

TEST_F(DistanceCore, BadKeysAreRefusedAndChangeNothing) {
    ASSERT_EQ(store(ints({2, 5, 6})), StoreResult::stored);
    const std::vector<double> before = reference(2);
    const std::vector<std::vector<Atom>> refused{
        ints({26, 1, 2}), ints({0, 1, 2}), ints({-3, 1, 2}),
        {Atom::real(2.0), Atom::integer(9)},
        {Atom::symbol("two"), Atom::integer(9)},
        {Atom::unknown(0), Atom::integer(9)},
    };
    for (const auto& msg : refused) {
        console.lines.clear();
        EXPECT_EQ(store(msg), StoreResult::bad_key);
        EXPECT_EQ(console.lines, std::vector<std::string>{"Invalid key type or key is too high"});
    }
    EXPECT_EQ(m.count(), 2);
    EXPECT_EQ(reference(2), before);
    EXPECT_EQ(m.length(1), 3);
    for (int j = 0; j < lyrdistance::kSlots; ++j) EXPECT_EQ(m.filled(j), j == 1) << "slot " << j;
    EXPECT_EQ(CountingHeap::allocations, 2);  // only the one good store allocated
}

TEST_F(DistanceCore, StoreReplacesAndCountOnlyGrows) {
    store(ints({5, 1}));
    store(ints({2, 4, 4}));
    EXPECT_EQ(m.count(), 5);
    store(ints({5, 9, 8, 7}));
    EXPECT_EQ(m.count(), 5);
    EXPECT_EQ(m.length(4), 4);
    EXPECT_EQ(reference(5)[0], 9.0);
    EXPECT_EQ(reference(5)[349], 7.0);
    // The replaced blocks went back at once.
    EXPECT_EQ(CountingHeap::allocations, 6);
    EXPECT_EQ(CountingHeap::releases, 2);
}

TEST_F(DistanceCore, EmptyMessagesChangeNothingAndSaySo) {
    ASSERT_EQ(store(ints({1, 4, 9})), StoreResult::stored);
    m.set_input_value(3.0);
    ASSERT_TRUE(m.set_weights(list_of(ints({1, 3}))));
    const std::vector<double> weights(m.weights(), m.weights() + kLength);
    const long allocations = CountingHeap::allocations;
    console.lines.clear();

    EXPECT_EQ(store({}), StoreResult::empty);
    EXPECT_EQ(store(ints({1})), StoreResult::empty);
    EXPECT_FALSE(m.set_input(list_of({})));
    EXPECT_FALSE(m.set_weights(list_of({})));

    EXPECT_EQ(console.lines, (std::vector<std::string>{"lyr.distance : list without a key, nothing stored",
                                                       "lyr.distance : key 1 without values, nothing stored",
                                                       "lyr.distance : empty list, input unchanged",
                                                       "lyr.distance : weights without values, weights unchanged"}));
    EXPECT_EQ(CountingHeap::allocations, allocations);
    EXPECT_EQ(m.length(0), 3);
    EXPECT_EQ(reference(1)[0], 4.0);
    EXPECT_EQ(input(), std::vector<double>(kLength, 3.0));
    EXPECT_EQ(std::vector<double>(m.weights(), m.weights() + kLength), weights);
}

TEST_F(DistanceCore, InputListsAreResampledTo350) {
    ASSERT_TRUE(m.set_input(list_of(ints({4, 9}))));
    std::vector<double> x = input();
    EXPECT_EQ(count_equal(x, 0, 174, 4.0), 175);
    EXPECT_EQ(count_equal(x, 175, 349, 9.0), 175);

    std::vector<Atom> long_list;
    for (int i = 0; i < 700; ++i) long_list.push_back(Atom::real(i));
    ASSERT_TRUE(m.set_input(list_of(long_list)));
    x = input();
    for (int i = 0; i < kLength; ++i) ASSERT_EQ(x[i], 2.0 * i) << "element " << i;
}

TEST_F(DistanceCore, NonNumbersInInputKeepTheirElementsOnceReportedPerElement) {
    m.set_input_value(6.0);
    std::vector<Atom> msg{Atom::integer(1), Atom::symbol("foo")};
    ASSERT_TRUE(m.set_input(list_of(msg)));
    std::vector<double> x = input();
    EXPECT_EQ(count_equal(x, 0, 174, 1.0), 175);
    EXPECT_EQ(count_equal(x, 175, 349, 6.0), 175);
    EXPECT_EQ(console.lines, std::vector<std::string>(175, "Invalid atom type : foo"));

    console.lines.clear();
    std::vector<Atom> odd{Atom::unknown(7), Atom::integer(2), Atom::integer(2), Atom::integer(2), Atom::integer(2)};
    m.set_input(list_of(odd));
    EXPECT_EQ(console.lines, std::vector<std::string>(70, "Invalid atom type : (7)"));
    EXPECT_EQ(input()[69], 1.0);
    EXPECT_EQ(input()[70], 2.0);
}

TEST_F(DistanceCore, WeightsAreClampedAndScaledWithASinglePrecisionSum) {
    ASSERT_TRUE(m.set_weights(list_of(ints({0, 1}))));
    for (int k = 0; k < 175; ++k) ASSERT_EQ(m.weights()[k], 1.9999798952688624e-05) << k;
    for (int k = 175; k < kLength; ++k) ASSERT_EQ(m.weights()[k], 1.9999799457926055) << k;

    ASSERT_TRUE(m.set_weights(list_of(ints({0}))));
    for (int k = 0; k < kLength; ++k) ASSERT_EQ(m.weights()[k], 0.9999975490476519) << k;

    // A non-number keeps the element's weight from before the message; negatives clamp like 0.
    ASSERT_TRUE(m.set_weights(list_of(ints({2, 2}))));
    std::vector<Atom> msg{Atom::symbol("x"), Atom::integer(-4)};
    ASSERT_TRUE(m.set_weights(list_of(msg)));
    // Elements 0-174 keep their weight of 1 (within rounding), elements 175-349 take 0.00001.
    // (The single-precision sum rounds each small addend to its step at 175, so
    // the first half lands a little under 2.)
    EXPECT_NEAR(m.weights()[0], 2.0, 5e-5);
    EXPECT_EQ(m.weights()[0], m.weights()[174]);
    EXPECT_NEAR(m.weights()[0] / m.weights()[349], 1.0 / 0.00001f, 1e-3);
    EXPECT_EQ(console.lines.size(), 175u);
}

TEST_F(DistanceCore, ManhattanAndEuclideanOfTheWorkedCase) {
    store(ints({1, 2, 2}));
    m.set_input(list_of(ints({1, 5})));
    ASSERT_TRUE(m.compute(1.0, false));
    EXPECT_NEAR(m.distance(0), 4.0000000000000195, 1e-13);
    EXPECT_EQ(m.closest(), 1);
    EXPECT_EQ(m.best(), m.distance(0));
    ASSERT_TRUE(m.compute(2.0, false));
    EXPECT_NEAR(m.distance(0), std::sqrt(10.0), 1e-13);
}

TEST_F(DistanceCore, MinkowskiOfASingleNumberAgainstThreeValues) {
    store(ints({1, 1, 2, 3}));
    m.set_input_value(0.0);
    ASSERT_TRUE(m.compute(3.0, false));
    // Elements 1.0 x117, 2.0 x117, 3.0 x116.
    const double expected = std::cbrt(3.0 / 350.0 * (117 * 1.0 + 117 * 8.0 + 116 * 27.0));
    EXPECT_NEAR(m.distance(0), expected, 1e-13 * expected);
    ASSERT_TRUE(m.compute(4.0, false));
    const double p4 = std::pow(3.0 / 350.0 * (117 * 1.0 + 117 * 16.0 + 116 * 81.0), 0.25);
    EXPECT_NEAR(m.distance(0), p4, 1e-13 * p4);
}

TEST_F(DistanceCore, EqualReferenceIsAtZeroAndTiesGoToTheLowerKey) {
    store(ints({4, 1, 2, 3}));
    store(ints({5, 10, 20}));
    store(ints({2, 10, 20}));
    store(ints({7, 1, 2, 3}));
    m.set_input(list_of(ints({1, 2, 3})));
    ASSERT_TRUE(m.compute(2.0, false));
    EXPECT_EQ(m.distance(3), 0.0);
    EXPECT_EQ(m.closest(), 4);  // key 7 ties at 0 but comes later

    m.set_input(list_of(ints({10, 19})));
    ASSERT_TRUE(m.compute(1.0, false));
    EXPECT_EQ(m.distance(1), m.distance(4));
    EXPECT_EQ(m.closest(), 2);
}

TEST_F(DistanceCore, EmptySlotsBelowCountCarryTheSentinel) {
    store(ints({3, 8}));
    m.set_input_value(5.0);
    ASSERT_TRUE(m.compute(2.0, false));
    EXPECT_EQ(m.distance(0), kEmptySlotDistance);
    EXPECT_EQ(m.distance(1), kEmptySlotDistance);
    EXPECT_NEAR(m.distance(2), 3.0, 1e-12);
    EXPECT_EQ(m.closest(), 3);
    // A sentinel is below every real distance, yet never taken as the closest.
    EXPECT_LT(kEmptySlotDistance, 0.0);
}

TEST_F(DistanceCore, WeightsCountOnlyWhenAskedFor) {
    store(ints({1, 1, 0}));
    store(ints({2, 0, 1}));
    m.set_input_value(0.0);
    ASSERT_TRUE(m.compute(1.0, true));  // weights all 1: the same as without
    EXPECT_NEAR(m.distance(0), 1.0, 1e-13);
    EXPECT_NEAR(m.distance(1), 1.0, 1e-13);

    m.set_weights(list_of(ints({1, 3})));  // elements 175-349 count three times as much
    ASSERT_TRUE(m.compute(1.0, true));
    EXPECT_NEAR(m.distance(0), 0.5, 1e-13);
    EXPECT_NEAR(m.distance(1), 1.5, 1e-13);
    EXPECT_EQ(m.closest(), 1);
    ASSERT_TRUE(m.compute(1.0, false));
    EXPECT_NEAR(m.distance(1), 1.0, 1e-13);
}

TEST_F(DistanceCore, ClearEmptiesTheTableAndResetsWeightsOnly) {
    store(ints({1, 1, 2}));
    store(ints({9, 3}));
    m.set_weights(list_of(ints({1, 3})));
    m.set_input_value(7.0);
    m.clear();
    EXPECT_EQ(m.count(), 0);
    for (int j = 0; j < lyrdistance::kSlots; ++j) {
        EXPECT_FALSE(m.filled(j));
        EXPECT_EQ(m.reference(j), nullptr);
        EXPECT_EQ(m.stored_values(j), nullptr);
    }
    EXPECT_EQ(std::vector<double>(m.weights(), m.weights() + kLength), std::vector<double>(kLength, 1.0));
    EXPECT_EQ(input(), std::vector<double>(kLength, 7.0));
    EXPECT_FALSE(m.compute(2.0, false));
    EXPECT_EQ(CountingHeap::allocations, CountingHeap::releases);
}

TEST_F(DistanceCore, AStoreWithoutNumbersDoesNotMarkTheSlot) {
    std::vector<Atom> words{Atom::integer(4), Atom::symbol("a"), Atom::symbol("b")};
    EXPECT_EQ(store(words), StoreResult::not_marked);
    EXPECT_FALSE(m.filled(3));
    EXPECT_EQ(m.count(), 0);
    EXPECT_EQ(reference(4), std::vector<double>(kLength, 0.0));
    EXPECT_EQ(console.lines.size(), 350u);

    // Over a filled slot the reference is still replaced; its elements read 0.
    store(ints({2, 6}));
    std::vector<Atom> word{Atom::integer(2), Atom::symbol("c")};
    EXPECT_EQ(store(word), StoreResult::not_marked);
    EXPECT_TRUE(m.filled(1));
    EXPECT_EQ(reference(2), std::vector<double>(kLength, 0.0));
    m.set_input_value(3.0);
    ASSERT_TRUE(m.compute(1.0, false));
    EXPECT_NEAR(m.distance(1), 3.0, 1e-13);
}

TEST_F(DistanceCore, FailedAllocationRefusesTheStoreAndKeepsTheSlot) {
    ASSERT_EQ(store(ints({2, 1, 2, 3})), StoreResult::stored);
    const std::vector<double> before = reference(2);
    for (long fail : {2L, 3L}) {  // every block fails, then only the vector of the first store
        CountingHeap::allocations = 2;
        CountingHeap::fail_from = fail;
        console.lines.clear();
        EXPECT_EQ(store(ints({2, 9, 9})), StoreResult::no_memory);
        EXPECT_EQ(store(ints({6, 9, 9})), StoreResult::no_memory);
        EXPECT_EQ(console.lines, (std::vector<std::string>{"lyr.distance : out of memory, key 2 not stored",
                                                           "lyr.distance : out of memory, key 6 not stored"}));
        EXPECT_EQ(m.count(), 2);
        EXPECT_EQ(m.length(1), 4);
        EXPECT_FALSE(m.filled(5));
        EXPECT_EQ(reference(2), before);
        EXPECT_EQ(static_cast<const Atom*>(m.stored_values(1))[2].number, 3.0);
    }
    // The values block that was taken when the vector failed went back.
    EXPECT_EQ(CountingHeap::releases, 1);
}

TEST(DistanceCoreLifetime, DestructionGivesEverythingBack) {
    CountingHeap::reset();
    {
        Matcher m(CountingHeap::allocator());
        for (int key = 1; key <= 25; ++key) m.store(list_of(ints({key, key, 2 * key})));
        m.store(list_of(ints({4, 0})));
    }
    EXPECT_EQ(CountingHeap::allocations, 52);
    EXPECT_EQ(CountingHeap::releases, 52);
}

// The quick sums for p = 1 and 2 against a plain loop over pow, term by term.
TEST(DistanceReference, QuickPathsAgreeWithThePowLoop) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> value(-50.0, 50.0), weight(0.001, 5.0);
    std::vector<double> x(kLength), r(kLength), w(kLength);
    for (int trial = 0; trial < 50; ++trial) {
        for (int k = 0; k < kLength; ++k) {
            x[k] = value(rng);
            r[k] = value(rng);
            w[k] = weight(rng);
        }
        const std::size_t n = 1 + trial * 13;
        for (double p : {1.0, 2.0}) {
            for (const double* weights : {static_cast<const double*>(nullptr), static_cast<const double*>(w.data())}) {
                double sum = 0.0;
                for (int k = 0; k < kLength; ++k) {
                    double t = std::pow(std::fabs(x[k] - r[k]), p) / (350.0 / n);
                    if (weights) t *= weights[k];
                    sum = t + sum;
                }
                const double expected = std::pow(sum, 1.0 / p);
                const double got = lyrdistance::reference_distance(x.data(), r.data(), weights, n, p);
                ASSERT_NEAR(got, expected, 1e-13 * expected) << "p=" << p << " trial " << trial;
            }
        }
    }
}

}  // namespace
