// lyr.rlg through the embedded host: atom types, the "size" attribute over its
// field, and the list storage.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "embedded_host.h"

namespace {

using lyrhost::Event;
using lyrhost::Host;

class RlgBinding : public ::testing::Test {
protected:
    RlgBinding() {
        host.create("r", "lyr.rlg");
        host.take_events();  // the banner, when the module is first loaded
    }
    // The events a bang on the left inlet brings.
    std::vector<Event> bang(const std::string& name = "r") {
        host.send(name, 0, "bang");
        return host.take_events();
    }
    Host host;
};

TEST_F(RlgBinding, ModeChoosesIntegerOrFloatAtoms) {
    std::vector<Event> e = bang();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].selector, "list");
    ASSERT_EQ(e[0].atoms.size(), 10u);
    for (const auto& a : e[0].atoms) {
        EXPECT_EQ(a.a_type, hostapi::A_LONG);
        EXPECT_GE(a.a_w.w_long, 0);
        EXPECT_LE(a.a_w.w_long, 10);
    }
    host.send("r", 0, "mode 1");
    e = bang();
    ASSERT_EQ(e.size(), 1u);
    for (const auto& a : e[0].atoms) EXPECT_EQ(a.a_type, hostapi::A_FLOAT);
    host.send("r", 0, "mode 7");  // any value but 0 means floats
    e = bang();
    ASSERT_EQ(e.size(), 1u);
    for (const auto& a : e[0].atoms) EXPECT_EQ(a.a_type, hostapi::A_FLOAT);
}

// "size" is clipped to 1..256 and read back whole by the bang, and writing it
// never reaches the minima stored next to it: with every bound at 0.1 (a value
// whose low bytes are not zero) each element still comes out 0.1.
TEST_F(RlgBinding, SizeIsClippedAndLeavesTheMinimaAlone) {
    host.send("r", 0, "mode 1");
    host.send("r", 1, "0.1");
    host.send("r", 2, "0.1");
    struct Case {
        const char* message;
        size_t length;
    };
    for (const Case c : {Case{"size 300", 256}, Case{"size 0", 1}, Case{"size -40000", 1}, Case{"size 17", 17},
                         Case{"size 256", 256}, Case{"size 70000", 256}}) {
        SCOPED_TRACE(c.message);
        host.send("r", 0, c.message);
        const std::vector<Event> e = bang();
        ASSERT_EQ(e.size(), 1u);
        ASSERT_EQ(e[0].atoms.size(), c.length);
        for (double v : e[0].values()) EXPECT_EQ(v, 0.1f);
    }
    host.create("a", "lyr.rlg", "@size 300 @mode 1");
    const std::vector<Event> e = bang("a");
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].atoms.size(), 256u);
    EXPECT_EQ(e[0].atoms[0].a_type, hostapi::A_FLOAT);
}

TEST_F(RlgBinding, BangAllocatesOnlyWhenTheSizeChanged) {
    long before = host.allocation_count();
    bang();
    EXPECT_EQ(host.allocation_count() - before, 2);  // values and atoms
    before = host.allocation_count();
    bang();
    host.send("r", 1, "list 1 2 3");
    host.send("r", 2, "4");
    bang();
    EXPECT_EQ(host.allocation_count(), before);
    host.send("r", 0, "size 20");
    EXPECT_EQ(host.allocation_count(), before) << "a new size waits for the next bang";
    bang();
    EXPECT_EQ(host.allocation_count() - before, 2);
}

TEST_F(RlgBinding, FailedAllocationSendsNothingAndRecovers) {
    host.fail_allocations_after(1);  // values succeed, atoms fail
    std::vector<Event> e = bang();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_TRUE(e[0].is_post);
    EXPECT_EQ(e[0].text, "lyr.rlg :Not enough memory for a list of 10");
    // Lists for the bounds are resampled to no length while there is no list.
    host.send("r", 1, "list 3 4");
    EXPECT_TRUE(host.take_events().empty());
    host.fail_allocations_after(-1);
    e = bang();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].atoms.size(), 10u);
}

TEST_F(RlgBinding, SeedNeedsANumber) {
    host.send("r", 0, "seed 12");
    host.send("r", 1, "seed foo");
    const std::vector<Event> e = host.take_events();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].line(), "post: lyr.rlg :seed needs a number");
}

TEST_F(RlgBinding, DescribedAsDeclared) {
    const std::string d = host.describe("lyr.rlg");
    for (const char* line : {"inlet 0 \"Bang \"", "inlet 1 \"(int, float, list) Minimum\"",
                             "inlet 2 \"(int, float, list) Maximum\"", "outlet 0 list \"Random (list)\"",
                             "method \"seed\" any",
                             "  default long flags 0 \"10\"\n  label symbol flags 0 \"List Size\"\n"
                             "  save long flags 1 \"1\"\n  order long flags 0 \"1\"\n  clip min 1 max 256\n"
                             "attribute \"mode\" long offset",
                             "  label symbol flags 0 \"Mode\"\n  style symbol flags 0 \"enumindex\"\n"
                             "  enumvals atom flags 0 \"Integer \"Float\"\n  save long flags 1 \"1\""}) {
        EXPECT_NE(d.find(line), std::string::npos) << line << "\n" << d;
    }
}

}  // namespace
