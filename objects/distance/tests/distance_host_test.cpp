// lyr.distance through the embedded host: messages in, outlets and console out.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "embedded_host.h"

using lyrhost::Event;
using lyrhost::Host;

namespace {

using Lines = std::vector<std::string>;

class DistanceHost : public ::testing::Test {
protected:
    DistanceHost() {
        EXPECT_TRUE(host.create("d", "lyr.distance"));
        host.take_events();
    }
    Lines lines() { return host.take_lines(); }
    void right(const std::string& message) { host.send("d", 1, message); }
    void left(const std::string& message) { host.send("d", 0, message); }

    // Sends a message that must fire the three outlets; gives the distances.
    std::vector<double> distances_after(const std::string& message, int inlet = 0) {
        host.send("d", inlet, message);
        auto events = host.take_events();
        EXPECT_EQ(events.size(), 3u) << message;
        if (events.size() != 3u) return {};
        EXPECT_EQ(events[2].outlet, 2);
        return events[2].values();
    }
    double key_after(const std::string& message) {
        host.send("d", 0, message);
        auto events = host.take_events();
        EXPECT_FALSE(events.empty()) << message;
        return events.empty() ? 0.0 : events[0].values().at(0);
    }
    Host host;
};

// ((n / 350) * sum of |v - r(k)|^p) ^ (1/p) for a reference of the values
// 1, 2, 3 (each filling its third of the 350 elements) against the number v.
double against_123(double v, double p) {
    double s = 117 * std::pow(std::fabs(v - 1), p) + 117 * std::pow(std::fabs(v - 2), p) +
               116 * std::pow(std::fabs(v - 3), p);
    return std::pow(3.0 / 350.0 * s, 1.0 / p);
}

TEST(DistanceClass, SetUpAsTheHostSeesIt) {
    Host host;
    std::string d = host.describe("lyr.distance");
    const char* expected[] = {
        "destructor yes\n",
        "method \"int\" int\nmethod \"float\" float\nmethod \"list\" any\nmethod \"assist\" private\n"
        "method \"clear\" none\nmethod \"bang\" none\nmethod \"weights\" any\nmethod \"order\" int\n",
        "inlet 0 \"(int, list or float) Input\"\n",
        "inlet 1 \"(int) Keys, (int, list or float) Values to be compared\"\n",
        "outlet 0 int \"(int) Key of the closest values \"\n",
        "outlet 1 list \"(int, list or float) Closest values\"\n",
        "outlet 2 list \"(list) Distances\"\n",
        "attribute \"useweights\" long",
        "  style symbol flags 0 \"onoff\"\n  label symbol flags 0 \"Use Weights\"\n  save long flags 1 \"1\"\n"
        "  default long flags 0 \"0\"\n  order long flags 0 \"1\"\nattribute \"mode\" long",
        "  label symbol flags 0 \"Mode\"\n  style symbol flags 0 \"enumindex\"\n"
        "  enumvals atom flags 0 \"Manhattan \"Euclidean\" Minkowsky\"\n  default long flags 0 \"1\"\n"
        "  save long flags 1 \"1\"\n  setter custom\n",
    };
    for (const char* part : expected) EXPECT_NE(d.find(part), std::string::npos) << part << "\nin:\n" << d;
    EXPECT_EQ(d.find("inlet 2"), std::string::npos);
    EXPECT_EQ(d.find("outlet 3"), std::string::npos);
    EXPECT_EQ(d.find("(no text)"), std::string::npos);  // every inlet and outlet has its text
}

TEST(DistanceClass, NoInstanceWhenTheHostHasNoMemory) {
    Host host;
    host.fail_next_object_alloc();
    EXPECT_FALSE(host.create("d", "lyr.distance"));
}

TEST_F(DistanceHost, StoringSendsNothingAndTheThreeOutletsFireLeftToRight) {
    right("3 1 2 3");
    EXPECT_EQ(lines(), Lines{});
    left("1 2 3");
    EXPECT_EQ(lines(), (Lines{"d:0 float 3", "d:1 list 1 2 3", "d:2 list -1 -1 0"}));
}

TEST_F(DistanceHost, RefusedKeysChangeNothing) {
    for (const char* message : {"26 1 2", "2. 1 2", "0 1 2", "-4 1", "list foo 1"}) {
        right(message);
        EXPECT_EQ(lines(), Lines{"post: Invalid key type or key is too high"}) << message;
    }
    left("bang");
    EXPECT_EQ(lines(), Lines{});  // the table is still empty
}

TEST_F(DistanceHost, NumbersOnEitherInletFillTheInputAndCompute) {
    right("1 5");
    right("2 6");
    for (int inlet : {0, 1}) {
        host.send("d", inlet, "5.");
        EXPECT_EQ(lines(), (Lines{"d:0 float 1", "d:1 list 5", "d:2 list 0 1"})) << inlet;
        host.send("d", inlet, "6");
        EXPECT_EQ(lines(), (Lines{"d:0 float 2", "d:1 list 6", "d:2 list 1 0"})) << inlet;
    }
}

TEST_F(DistanceHost, InputListsOfAnyLengthAreResampled) {
    right("1 4 9");  // elements 0-174 at 4, 175-349 at 9: the input 4 9 matches exactly
    right("2 9 4");
    auto d = distances_after("4 9");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0], 0.0);
    EXPECT_FLOAT_EQ(d[1], std::sqrt(50.0));

    // 700 numbers: only those at even positions are kept.
    std::string even = "1", all;
    for (int i = 0; i < 700; ++i) all += " " + std::to_string(i % 2 ? 1000 + i : i);
    for (int i = 0; i < 700; i += 2) even += " " + std::to_string(i);
    right(even);
    left(all);
    auto events = host.take_events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].values(), std::vector<double>{1.0});
    EXPECT_EQ(events[2].values()[0], 0.0);
}

TEST_F(DistanceHost, ASymbolInTheInputIsReportedPerElementAndKeepsThem) {
    right("1 1 7");
    left("7.");
    host.take_events();
    left("1 foo");
    Lines got = lines();
    ASSERT_EQ(got.size(), 178u);
    EXPECT_EQ(Lines(got.begin(), got.begin() + 175), Lines(175, "post: Invalid atom type : foo"));
    // Elements 175-349 kept their 7: the input equals key 1 exactly.
    EXPECT_EQ(Lines(got.begin() + 175, got.end()), (Lines{"d:0 float 1", "d:1 list 1 7", "d:2 list 0"}));
}

TEST_F(DistanceHost, StoredValuesComeBackExactlyAsReceived) {
    right("1 2.5 foo 7");
    EXPECT_EQ(lines(), Lines(117, "post: Invalid atom type : foo"));  // the symbol's elements read 0
    left("0.");
    auto events = host.take_events();
    ASSERT_EQ(events.size(), 3u);
    ASSERT_EQ(events[1].atoms.size(), 3u);
    EXPECT_EQ(events[1].atoms[0].a_type, hostapi::A_FLOAT);
    EXPECT_EQ(events[1].atoms[1].a_type, hostapi::A_SYM);
    EXPECT_EQ(events[1].atoms[2].a_type, hostapi::A_LONG);
    EXPECT_EQ(events[1].line(), "d:1 list 2.5 foo 7");
    // Elements 2.5 x117, 0 x117, 7 x116 against 0, Euclidean.
    EXPECT_FLOAT_EQ(events[2].values()[0], std::sqrt(3.0 / 350.0 * (117 * 6.25 + 116 * 49.0)));
}

TEST_F(DistanceHost, TheWorkedWeightExamples) {
    right("1 1 0");  // against the input 0 with Manhattan, these give the mean weight of each half
    right("2 0 1");
    left("mode 0");
    left("useweights 1");
    host.send("d", 0, "weights 0 1");
    auto events = host.take_events();
    ASSERT_EQ(events.size(), 3u);
    auto d = events[2].values();
    EXPECT_FLOAT_EQ(d[0], 1.9999798952688624e-05);
    EXPECT_FLOAT_EQ(d[1], 1.9999799457926055);
    EXPECT_EQ(events[0].values(), std::vector<double>{1.0});

    d = distances_after("weights 0");
    EXPECT_FLOAT_EQ(d[0], 0.9999975490476519);
    EXPECT_FLOAT_EQ(d[1], 0.9999975490476519);

    d = distances_after("weights 1 3");  // elements 175-349 count three times as much
    EXPECT_FLOAT_EQ(d[0], 0.5);
    EXPECT_FLOAT_EQ(d[1], 1.5);
    left("useweights 0");
    d = distances_after("bang");
    EXPECT_FLOAT_EQ(d[0], 1.0);
    EXPECT_FLOAT_EQ(d[1], 1.0);
}

TEST_F(DistanceHost, UseWeightsWithoutWeightsChangesNothing) {
    right("1 3 8 1");
    left("2 2");
    host.take_events();
    auto plain = distances_after("bang");
    left("useweights 1");
    EXPECT_EQ(distances_after("bang"), plain);
}

TEST_F(DistanceHost, ManhattanFourAndEuclideanRootTen) {
    right("1 2 2");
    left("mode 0");
    EXPECT_EQ(lines(), Lines{});  // setting the mode computes nothing
    EXPECT_FLOAT_EQ(distances_after("1 5")[0], 4.0);
    left("mode 1");
    EXPECT_FLOAT_EQ(distances_after("bang")[0], std::sqrt(10.0));
}

TEST_F(DistanceHost, EqualDistancesGoToTheLowerKey) {
    right("5 3 4");
    right("2 3 4");
    right("4 30 40");
    right("1 9 9");
    EXPECT_EQ(key_after("3 4"), 2.0);
    EXPECT_EQ(key_after("1 1"), 2.0);
    EXPECT_EQ(key_after("30 40"), 4.0);
}

TEST_F(DistanceHost, ModeAndOrderMoveTogether) {
    right("1 1 2 3");
    left("0.");
    host.take_events();
    struct Step {
        const char* message;
        double p;
    };
    const Step steps[] = {
        {"mode 2", 3}, {"order 4", 4}, {"mode 2", 3},  // setting the mode again resets the order
        {"order 0", 1}, {"order -6", 1}, {"order 5", 5}, {"mode 1", 2}, {"order 4", 2},  // ignored outside mode 2
        {"mode 0", 1}, {"mode 3", 4}, {"mode -1", 1}, {"mode -40", 1},  // below 0: Manhattan
    };
    for (const Step& s : steps) {
        std::vector<double> d;
        if (std::string(s.message).starts_with("order")) {  // "order" computes by itself
            d = distances_after(s.message);
        } else {
            left(s.message);
            EXPECT_EQ(lines(), Lines{}) << s.message;  // setting the mode computes nothing
            d = distances_after("bang");
        }
        ASSERT_EQ(d.size(), 1u) << s.message;
        EXPECT_FLOAT_EQ(d[0], against_123(0.0, s.p)) << s.message;
    }
    // "order" itself computes and fires all three outlets in every mode.
    left("mode 1");
    host.send("d", 1, "order 4");
    EXPECT_EQ(lines().size(), 3u);
}

TEST_F(DistanceHost, AttributeArgumentsApplyThroughTheSetter) {
    ASSERT_TRUE(host.create("m", "lyr.distance", "@mode 2 @useweights 1"));
    host.send("m", 1, "1 1 2 3");
    host.send("m", 0, "weights 1 1 2");  // the last third counts twice
    auto events = host.take_events();
    ASSERT_EQ(events.size(), 3u);
    const double s = 117 * 1.0 + 117 * 8.0 + 116 * 27.0 * 2;
    const double norm = 350.0 / (234 + 116 * 2);
    EXPECT_FLOAT_EQ(events[2].values()[0], std::cbrt(3.0 / 350.0 * s * norm));
}

TEST_F(DistanceHost, OnlyKeyThreeStored) {
    right("3 8");
    left("5");
    EXPECT_EQ(lines(), (Lines{"d:0 float 3", "d:1 list 8", "d:2 list -1 -1 3"}));
}

TEST_F(DistanceHost, ClearEmptiesTheTableButKeepsInputAndModes) {
    right("1 4");
    right("2 6");
    left("mode 0");
    left("weights 1 3");
    left("6");
    host.take_events();
    left("clear");
    EXPECT_EQ(lines(), Lines{});
    left("bang");
    EXPECT_EQ(lines(), Lines{});
    right("1 2");
    left("bang");  // the input is still 6, the mode still Manhattan
    EXPECT_EQ(lines(), (Lines{"d:0 float 1", "d:1 list 2", "d:2 list 4"}));
}

TEST_F(DistanceHost, EmptyMessagesChangeNothing) {
    right("1 2 3");
    left("2 3");
    host.take_events();
    const struct {
        int inlet;
        const char* message;
        const char* line;
    } cases[] = {
        {1, "list", "post: lyr.distance : list without a key, nothing stored"},
        {1, "list 4", "post: lyr.distance : key 4 without values, nothing stored"},
        {0, "list", "post: lyr.distance : empty list, input unchanged"},
        {1, "weights", "post: lyr.distance : weights without values, weights unchanged"},
    };
    for (const auto& c : cases) {
        host.send("d", c.inlet, c.message);
        EXPECT_EQ(lines(), Lines{c.line}) << c.message;
    }
    left("bang");
    EXPECT_EQ(lines(), (Lines{"d:0 float 1", "d:1 list 2 3", "d:2 list 0"}));
}

TEST_F(DistanceHost, OnlyStoringAllocates) {
    long before = host.allocation_count();
    right("1 1 2 3");
    EXPECT_EQ(host.allocation_count(), before + 2);  // the values and the vector
    before = host.allocation_count();
    left("4 5 6");
    left("7.");
    left("weights 1 2");
    left("bang");
    left("order 3");
    left("clear");
    EXPECT_EQ(host.allocation_count(), before);
    EXPECT_EQ(lines().size(), 15u);
}

TEST_F(DistanceHost, AStoreWithoutMemoryIsRefusedAndTheTableStaysWhole) {
    right("2 1 2 3");
    left("0.");
    host.take_events();
    for (long after : {0L, 1L}) {
        host.fail_allocations_after(after);
        right("2 9 9");
        right("4 9");
        EXPECT_EQ(lines(), (Lines{"post: lyr.distance : out of memory, key 2 not stored",
                                  "post: lyr.distance : out of memory, key 4 not stored"}))
            << after;
        host.fail_allocations_after(-1);
        left("bang");
        auto events = host.take_events();
        ASSERT_EQ(events.size(), 3u);
        EXPECT_EQ(events[0].line(), "d:0 float 2");
        EXPECT_EQ(events[1].line(), "d:1 list 1 2 3");
        ASSERT_EQ(events[2].values().size(), 2u);
        EXPECT_EQ(events[2].values()[0], -1.0);
        EXPECT_FLOAT_EQ(events[2].values()[1], against_123(0.0, 2.0));
    }
}

}  // namespace
