// lyr.average through the embedded host: the stream rules, "bang" and
// "clear", the attributes, the class set-up and what happens when memory runs out.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "element_stream_testing.h"
#include "embedded_host.h"

namespace {

using lyrtest::event_lines;
using lyrtest::Lists;
using Lines = std::vector<std::string>;

class AverageHost : public ::testing::Test {
protected:
    lyrhost::Host host;

    void SetUp() override {
        ASSERT_TRUE(host.create("a", "lyr.average"));
        host.take_events();
    }

    Lists send(const std::vector<std::string>& messages) { return lyrtest::send_lists(host, "a", messages); }
    std::vector<double> last(const std::vector<std::string>& messages) {
        Lists out = send(messages);
        return out.empty() ? std::vector<double>{-12345} : out.back();
    }
};

std::vector<std::string> ints(int from, int to) {
    std::vector<std::string> m;
    for (int v = from; v <= to; ++v) m.push_back(std::to_string(v));
    return m;
}

TEST_F(AverageHost, WorkedCases) {
    EXPECT_EQ(send({"1", "2", "3"}), (Lists{{1}, {1.5}, {2}}));
    host.send("a", 0, "clear");
    EXPECT_EQ(last(ints(1, 12)), (std::vector<double>{7.5}));
    // Every element of a list has its own mean.
    EXPECT_EQ(send({"1 2", "3 4"}), (Lists{{1, 2}, {2, 3}}));
}

TEST_F(AverageHost, StreamRestarts) {
    struct Case {
        const char* what;
        std::vector<std::string> messages;
        std::vector<double> result;  // of the last message
    };
    const Case cases[] = {
        {"float after ints", {"1", "2", "3", "4.5"}, {4.5}},
        {"int after floats", {"1.5", "2.5", "7"}, {7}},
        {"one-element list after ints", {"1", "2", "list 9"}, {9}},
        {"int after one-element lists", {"list 1", "list 2", "9"}, {9}},
        {"int after a longer list", {"1 2", "3 4", "9"}, {9}},
        {"list of another length", {"1 2", "3 4", "5 6 7"}, {5, 6, 7}},
        {"clear", {"1", "2", "clear", "9"}, {9}},
        {"same kind and length goes on", {"list 1", "list 2", "list 6"}, {3}},
    };
    for (const auto& c : cases) {
        host.send("a", 0, "1 2 3 4 5");  // some other stream first
        EXPECT_EQ(last(c.messages), c.result) << c.what;
    }
}

TEST_F(AverageHost, BangRepeatsTheLastResult) {
    EXPECT_TRUE(send({"bang"}).empty());
    EXPECT_EQ(send({"4", "6", "bang"}), (Lists{{4}, {5}, {5}}));
    EXPECT_TRUE(send({"clear", "bang"}).empty());
    EXPECT_EQ(send({"3", "bang"}), (Lists{{3}, {3}}));
}

TEST_F(AverageHost, ClearThenOneInputInEveryMode) {
    // The first input after "clear" is its own mean; the quadratic one its absolute value.
    const double expected[] = {-6.5, -6.5, -6.5, 6.5};
    for (int mode = 0; mode < 4; ++mode) {
        host.send("a", 0, "mode " + std::to_string(mode));
        EXPECT_EQ(last({"2.25", "clear", "-6.5"}), (std::vector<double>{expected[mode]})) << mode;
    }
}

TEST_F(AverageHost, SizeChangeAfterTenInputs) {
    send(ints(1, 10));
    EXPECT_EQ(last({"size 3", "11"}), (std::vector<double>{10}));  // 9 10 11

    host.send("a", 0, "size 10");
    host.send("a", 0, "clear");
    send(ints(1, 10));
    host.send("a", 0, "size 20");
    // Eleven values, then twelve, ... up to twenty, then a sliding twenty.
    const Lists out = send(ints(11, 25));
    for (int v = 11; v <= 25; ++v) {
        const int w = std::min(v, 20);
        EXPECT_EQ(out[v - 11], (std::vector<double>{(2.0 * v - w + 1) / 2})) << v;
    }
}

TEST_F(AverageHost, ModeChangeAveragesTheValuesHeld) {
    send({"3", "6"});
    EXPECT_EQ(last({"mode 2", "12"}), (std::vector<double>{static_cast<float>(3 / (1 / 12. + 1 / 6. + 1 / 3.))}));
}

TEST_F(AverageHost, SpecialValues) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        int mode;
        std::vector<std::string> messages;
        double result;
    };
    const Case cases[] = {
        {1, {"2", "8"}, 4},
        {1, {"5", "0"}, 0},
        {2, {"1", "0"}, 0},
        {2, {"2", "-2"}, inf},
        {3, {"3", "4"}, static_cast<float>(std::sqrt(12.5))},
    };
    for (const auto& c : cases) {
        host.send("a", 0, "mode " + std::to_string(c.mode));
        host.send("a", 0, "clear");
        EXPECT_EQ(last(c.messages), (std::vector<double>{c.result})) << c.mode << " " << c.messages[0];
    }
    host.send("a", 0, "mode 1");
    host.send("a", 0, "clear");
    EXPECT_EQ(last({"-2"}), (std::vector<double>{-2}));  // one value: itself
    EXPECT_TRUE(std::isnan(last({"8"})[0]));            // a negative among two: NaN
}

TEST_F(AverageHost, IntsEnterInSinglePrecision) {
    EXPECT_EQ(send({"16777217", "1"}), (Lists{{16777216}, {8388608}}));
    EXPECT_EQ(send({"list 16777217", "list 1"}), (Lists{{16777216}, {8388609}}));
    // A float message takes the same single-precision path.
    EXPECT_EQ(last({"0.1"}), (std::vector<double>{0.1f}));
}

TEST_F(AverageHost, NonNumericElementsAreSkipped) {
    // A skipped element keeps its column, zeros until a number reaches it, and
    // its mean still covers the whole window.
    EXPECT_EQ(send({"1 foo 3", "3 bar 5", "5 7 baz"}), (Lists{{1, 0, 3}, {2, 0, 4}, {3, static_cast<float>(7.0 / 3), static_cast<float>(8.0 / 3)}}));
}

TEST_F(AverageHost, EmptyList) {
    EXPECT_EQ(send({"1 2", "list"}), (Lists{{1, 2}, {}}));
    EXPECT_EQ(send({"bang"}), (Lists{{}}));
    EXPECT_EQ(send({"5", "7"}), (Lists{{5}, {6}}));
}

TEST_F(AverageHost, AttributesAreClipped) {
    host.send("a", 0, "size 0");  // clipped to 1
    EXPECT_EQ(send({"1", "2", "3"}), (Lists{{1}, {2}, {3}}));
    host.send("a", 0, "size 100000");  // clipped to 256
    host.send("a", 0, "clear");
    EXPECT_EQ(last(ints(1, 300)), (std::vector<double>{(45.0 + 300) / 2}));
    host.send("a", 0, "mode 9");  // clipped to 3, quadratic
    EXPECT_EQ(last({"clear", "-4"}), (std::vector<double>{4}));
    host.send("a", 0, "mode -2");  // clipped to 0, arithmetic
    EXPECT_EQ(last({"-2"}), (std::vector<double>{-3}));
}

TEST(AverageHostCreate, AttributeArguments) {
    lyrhost::Host host;
    ASSERT_TRUE(host.create("a", "lyr.average", "@size 2 @mode 3"));
    host.take_events();
    EXPECT_EQ(lyrtest::send_lists(host, "a", {"3", "5", "4"}),
              (Lists{{3}, {static_cast<float>(std::sqrt(17.0))}, {static_cast<float>(std::sqrt(20.5))}}));
}

TEST(AverageHostCreate, ConstructorGivesNullWhenTheRecordCannotBeHad) {
    lyrhost::Host host;
    host.fail_next_object_alloc();
    EXPECT_FALSE(host.create("a", "lyr.average"));
}

TEST_F(AverageHost, InputsOfUnchangedLengthAllocateNothing) {
    send({"1 2 3"});
    const long before = host.allocation_count();
    for (int k = 0; k < 300; ++k) host.send("a", 0, std::to_string(k) + " 1.5 2");
    host.send("a", 0, "bang");
    host.send("a", 0, "clear");
    host.send("a", 0, "size 3");
    host.send("a", 0, "4 5 6");
    EXPECT_EQ(host.allocation_count(), before);
    host.send("a", 0, "4 5");  // a new length: one block
    EXPECT_EQ(host.allocation_count(), before + 1);
    host.take_events();
}

TEST_F(AverageHost, OutOfMemoryDropsTheInput) {
    send({"1 2", "3 4"});
    host.fail_allocations_after(0);
    host.send("a", 0, "5 6 7");
    host.send("a", 0, "list 9");
    EXPECT_EQ(event_lines(host), (Lines{"post: lyr.average :Out of memory for 3 elements, input dropped",
                                        "post: lyr.average :Out of memory for 1 element, input dropped"}));
    host.fail_allocations_after(-1);
    // The stream is as it was before the dropped inputs.
    EXPECT_EQ(send({"bang", "5 6"}), (Lists{{2, 3}, {3, 4}}));
    EXPECT_EQ(send({"5 6 7"}), (Lists{{5, 6, 7}}));
}

TEST(AverageHostCreate, InputAtomRetriedWhenTheConstructorCouldNotHaveIt) {
    lyrhost::Host host;
    host.fail_allocations_after(0);
    ASSERT_TRUE(host.create("a", "lyr.average"));
    host.take_events();
    host.send("a", 0, "5");
    host.send("a", 0, "1 2");
    EXPECT_EQ(event_lines(host), (Lines{"post: lyr.average :Out of memory for 1 element, input dropped",
                                        "post: lyr.average :Out of memory for 2 elements, input dropped"}));
    host.fail_allocations_after(-1);
    host.send("a", 0, "5");
    host.send("a", 0, "7.");
    EXPECT_EQ(event_lines(host), (Lines{"a:0 list 5", "a:0 list 7"}));
}

TEST(AverageHostClass, SetUp) {
    lyrhost::Host host;
    const std::string d = host.describe("lyr.average");
    const std::string methods =
        "destructor yes\nmethod \"int\" int\nmethod \"float\" float\nmethod \"list\" any\nmethod \"bang\" none\n"
        "method \"clear\" none\nmethod \"assist\" private\n"
        "inlet 0 \"int, float or list\"\noutlet 0 list \"average\"\n";
    EXPECT_NE(d.find(methods), std::string::npos) << d;
    const std::string mode =
        "attribute \"mode\" long offset ";
    const std::string mode_properties =
        "  label symbol flags 0 \"Mode\"\n  style symbol flags 0 \"enumindex\"\n"
        "  enumvals atom flags 0 \"Arithmetic \" Geometric \" Harmonic \" Quadratic\"\n"
        "  order long flags 0 \"1\"\n  default long flags 0 \"0\"\n  save long flags 1 \"1\"\n  clip min 0 max 3\n"
        "attribute \"size\" long offset ";
    const std::string size_properties =
        "  label symbol flags 0 \"Size\"\n  order long flags 0 \"-1\"\n  default long flags 0 \"10\"\n"
        "  save long flags 1 \"1\"\n  clip min 1 max 256\n";
    EXPECT_NE(d.find(mode), std::string::npos) << d;
    EXPECT_NE(d.find(mode_properties), std::string::npos) << d;
    EXPECT_NE(d.find(size_properties), std::string::npos) << d;
}

}  // namespace
