// lyr.smooth through the embedded host: the worked cases, the stream rules,
// "bang" and "clear", the attribute, the class set-up and running out of memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "element_stream_testing.h"
#include "embedded_host.h"

namespace {

using lyrtest::event_lines;
using lyrtest::Lists;

class SmoothHost : public ::testing::Test {
protected:
    lyrhost::Host host;

    void SetUp() override {
        ASSERT_TRUE(host.create("s", "lyr.smooth", "@size 3"));
        host.take_events();
    }

    Lists send(const std::vector<std::string>& messages) { return lyrtest::send_lists(host, "s", messages); }
};

TEST_F(SmoothHost, WorkedCases) {
    EXPECT_EQ(send({"10", "20", "20"}), (Lists{{10}, {15}, {17.5}}));
    EXPECT_EQ(send({"size 10", "clear", "0", "11"}), (Lists{{0}, {2}}));
    EXPECT_EQ(send({"size 1", "3", "-8.5", "100"}), (Lists{{3}, {-8.5}, {100}}));
    EXPECT_EQ(send({"size 3", "0 10", "10 0"}), (Lists{{0, 10}, {5, 5}}));
}

TEST_F(SmoothHost, FirstInputOfAStreamIsSentUnchanged) {
    struct Case {
        const char* what;
        std::vector<std::string> messages;  // after a stream of ints 0, 8
        std::vector<double> result;         // of the last message
    };
    const Case cases[] = {
        {"clear", {"clear", "5"}, {5}},
        {"float after ints", {"5.5"}, {5.5}},
        {"one-element list after ints", {"list 5"}, {5}},
        {"list of two after ints", {"5 6"}, {5, 6}},
        {"list of another length", {"5 6", "7 8 9"}, {7, 8, 9}},
        {"int after a list", {"5 6", "7"}, {7}},
        {"same kind goes on", {"16"}, {10}},
    };
    for (const auto& c : cases) {
        send({"clear", "0", "8"});
        const Lists out = send(c.messages);
        ASSERT_FALSE(out.empty()) << c.what;
        EXPECT_EQ(out.back(), c.result) << c.what;
    }
}

TEST_F(SmoothHost, BangRepeatsTheLastResult) {
    EXPECT_TRUE(send({"bang"}).empty());
    EXPECT_EQ(send({"2 4", "bang"}), (Lists{{2, 4}, {2, 4}}));
    EXPECT_TRUE(send({"clear", "bang"}).empty());
    EXPECT_EQ(send({"6 0", "bang"}), (Lists{{6, 0}, {6, 0}}));
}

TEST_F(SmoothHost, SizeChangeKeepsTheSmoothedValues) {
    EXPECT_EQ(send({"10", "20", "size 1", "30", "size 9", "40"}), (Lists{{10}, {15}, {30}, {32}}));
}

TEST_F(SmoothHost, IntsEnterInSinglePrecision) {
    EXPECT_EQ(send({"16777217", "1"}), (Lists{{16777216}, {8388608}}));
    EXPECT_EQ(send({"list 16777217", "list 1"}), (Lists{{16777216}, {8388609}}));
}

TEST_F(SmoothHost, SkippedElementsKeepTheirAtom) {
    // A zero until a number reaches the element, then the last result for it.
    EXPECT_EQ(send({"list foo 4", "2 bar", "6 baz"}), (Lists{{0, 4}, {1, 4}, {3.5, 4}}));
}

TEST_F(SmoothHost, EmptyList) {
    EXPECT_EQ(send({"3", "list", "bang"}), (Lists{{3}, {}, {}}));
    EXPECT_EQ(send({"5"}), (Lists{{5}}));
}

TEST_F(SmoothHost, SizeIsClippedBelowOnly) {
    EXPECT_EQ(send({"size -4", "0", "10"}), (Lists{{0}, {10}}));
    // No upper bound: the largest size moves by 2 / 2147483648.
    EXPECT_EQ(send({"size 2147483647", "clear", "0", "1073741824"}), (Lists{{0}, {1}}));
}

TEST_F(SmoothHost, InputsOfUnchangedLengthAllocateNothing) {
    send({"1 2 3"});
    const long before = host.allocation_count();
    for (int k = 0; k < 300; ++k) host.send("s", 0, std::to_string(k) + " 2.5 x");
    send({"bang", "clear", "size 7", "4 5 6"});
    EXPECT_EQ(host.allocation_count(), before);
    send({"4 5"});
    EXPECT_EQ(host.allocation_count(), before + 1);
}

TEST_F(SmoothHost, OutOfMemoryDropsTheInput) {
    send({"0", "8"});
    host.fail_allocations_after(0);
    host.send("s", 0, "1 2");
    EXPECT_EQ(event_lines(host), std::vector<std::string>{"post: lyr.smooth :Out of memory for 2 elements, input dropped"});
    host.fail_allocations_after(-1);
    EXPECT_EQ(send({"bang", "16"}), (Lists{{4}, {10}}));
}

TEST(SmoothHostClass, SetUp) {
    lyrhost::Host host;
    const std::string d = host.describe("lyr.smooth");
    const std::string expected[] = {
        "destructor yes\nmethod \"int\" int\nmethod \"float\" float\nmethod \"list\" any\nmethod \"bang\" none\n"
        "method \"clear\" none\nmethod \"assist\" private\n"
        "inlet 0 \"Input (int, float or list)\"\noutlet 0 list \"Smooth values (int, float or list)\"\n"
        "attribute \"size\" long offset ",
        "  label symbol flags 0 \"Size\"\n  order long flags 0 \"-1\"\n  default long flags 0 \"10\"\n"
        "  save long flags 1 \"1\"\n  clip min 1\n",
    };
    for (const auto& part : expected) EXPECT_NE(d.find(part), std::string::npos) << d;
}

TEST(SmoothHostCreate, DefaultsAndNullRecord) {
    lyrhost::Host host;
    ASSERT_TRUE(host.create("s", "lyr.smooth"));
    host.take_events();
    // size 10: 2 / 11 of the way
    EXPECT_EQ(lyrtest::send_lists(host, "s", {"0", "11"}), (Lists{{0}, {2}}));
    host.fail_next_object_alloc();
    EXPECT_FALSE(host.create("t", "lyr.smooth"));
}

}  // namespace
