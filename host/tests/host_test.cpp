// The embedded host, driven through a probe module exactly as objects are.
#include <gtest/gtest.h>

#include <cmath>

#include "embedded_host.h"

using lyrhost::Event;
using lyrhost::Host;

namespace {

class HostTest : public ::testing::Test {
protected:
    HostTest() {
        host.add_module_dir(PROBE_MODULE_DIR);
        host.create("p", "lyr.probe~");
        host.take_events();
    }
    std::vector<std::string> lines() { return host.take_lines(); }
    Host host;
};

using Lines = std::vector<std::string>;

TEST_F(HostTest, DeliversEachKindWithTheConversionsUsersExpect) {
    struct Case {
        int inlet;
        const char* message;
        Lines expected;
    };
    const Case cases[] = {
        {0, "3", {"p:3 int 0 3"}},
        {1, "3", {"p:3 int 1 3"}},                // proxies report their inlet
        {0, "2.75", {"p:3 int 0 2"}},             // a float to a class without "float" becomes an int
        {0, "list 7", {"p:3 list 7"}},            // the list handler takes a one-number list itself
        {0, "1 2.5 foo", {"p:3 list 1 2.5 foo"}},
        {0, "bang", {"p:3 bang"}},
        {0, "half 3", {"p:2 float 1.5"}},          // an int argument to a float handler
        {0, "every 0", {}},
        {0, "nothing 1", {"post: lyr.probe~: doesn't understand \"nothing\""}},
        {0, "dsp", {"post: lyr.probe~: doesn't understand \"dsp\""}},  // private methods are not messages
    };
    for (const Case& c : cases) {
        host.send("p", c.inlet, c.message);
        EXPECT_EQ(lines(), c.expected) << c.message;
    }
}

TEST_F(HostTest, RefusesListsBeyondASixteenBitCount) {
    std::vector<hostapi::t_atom> atoms(40000);
    for (auto& a : atoms) hostapi::atom_setlong(&a, 1);
    host.send("p", 0, "list", atoms);
    Lines got = lines();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], "post: lyr.probe~: \"list\" with 40000 atoms is too long (at most 32767)");
    atoms.resize(32767);
    host.send("p", 0, "list", atoms);
    auto events = host.take_events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].atoms.size(), 32767u);
}

TEST_F(HostTest, AttributesClipStoreAndUseTheirSetter) {
    host.send("p", 0, "gain 25");
    host.send("p", 0, "ratio 0.25");
    host.send("p", 0, "range 5 -2");
    host.send("p", 0, "state");
    EXPECT_EQ(lines(), Lines{"p:3 state 10 0.25 -2 5 1"});
    host.send("p", 1, "gain -3");  // attributes may be set on any inlet
    host.send("p", 0, "state");
    EXPECT_EQ(lines(), Lines{"p:3 state 0 0.25 -2 5 1"});
}

TEST_F(HostTest, CreationArgumentsThenAttributeArguments) {
    host.create("q", "lyr.probe~", "4 @range 3 1 @ratio 2. @bogus 1");
    host.send("q", 0, "state");
    EXPECT_EQ(lines(), (Lines{"post: lyr.probe~: no attribute \"bogus\"", "q:3 state 4 2 1 3 1"}));
    host.create("r", "lyr.probe~", "@gain 99");
    host.send("r", 0, "state");
    EXPECT_EQ(lines(), Lines{"r:3 state 10 0.5 0 0 0"});
}

TEST_F(HostTest, OutletsDeliverDepthFirstToConnectedInlets) {
    host.create("a", "lyr.probe~");
    host.create("b", "lyr.probe~");
    host.connect("p", 3, "a", 1);
    host.connect("p", 3, "b", 0);
    host.connect("a", 3, "b", 1);
    host.send("p", 0, "5");
    // The echo "int INLET N" reaches an int handler as its first number: INLET.
    EXPECT_EQ(lines(), (Lines{"p:3 int 0 5", "a:3 int 1 0", "b:3 int 1 1", "b:3 int 0 0"}));
}

TEST_F(HostTest, MessageLoopsAreStoppedNotFatal) {
    host.connect("p", 3, "p", 0);
    host.send("p", 0, "bang");
    Lines got = lines();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), "post: stack overflow: a message loop was stopped");
}

TEST_F(HostTest, ClocksFireAtTheirLogicalTimeOnly) {
    host.send("p", 0, "every 10");
    host.run_ms(9.5);
    EXPECT_TRUE(lines().empty());
    host.run_ms(0.5);
    EXPECT_EQ(lines(), Lines{"p:1 int 1"});
    host.run_ms(35);
    EXPECT_EQ(lines(), (Lines{"p:1 int 2", "p:1 int 3", "p:1 int 4"}));
    host.send("p", 0, "every 0");
    host.run_ms(100);
    EXPECT_TRUE(lines().empty());
    EXPECT_DOUBLE_EQ(host.now_ms(), 145.0);
}

TEST_F(HostTest, ClocksInterleaveWithSignalVectorsInTimeOrder) {
    host.set_sample_rate(1000);  // one 64-sample vector every 64 ms
    static int vectors_seen;
    vectors_seen = 0;
    host.audio("p", [](void*, float* out, int n) {
        ++vectors_seen;
        for (int i = 0; i < n; ++i) out[i] = 1.0f;
    }, nullptr);
    host.record("p", 0);
    host.dsp(true);
    host.send("p", 0, "every 100");
    host.run_ms(300);  // vectors at 0, 64, ..., 256; ticks at 100, 200, 300
    EXPECT_EQ(vectors_seen, 5);
    EXPECT_EQ(lines(), (Lines{"p:1 int 1", "p:1 int 2", "p:1 int 3"}));
    EXPECT_EQ(host.recorded("p", 0).size(), 5u * 64);
}

TEST_F(HostTest, PerformRunsOncePerVectorAndHonoursTheDisabledFlag) {
    host.set_vector_size(16);
    host.audio("p", "dc:0.5");
    host.send("p", 0, "gain 3");
    host.record("p", 0);
    host.dsp(true);
    host.run_samples(32);
    host.set_disabled("p", true);
    host.send("p", 0, "gain 4");
    host.run_samples(16);
    host.set_disabled("p", false);
    host.run_samples(16);
    const auto& out = host.recorded("p", 0);
    ASSERT_EQ(out.size(), 64u);
    for (int i = 0; i < 48; ++i) EXPECT_EQ(out[i], 1.5f) << i;  // disabled: the output stays as last written
    for (int i = 48; i < 64; ++i) EXPECT_EQ(out[i], 2.0f) << i;
}

TEST_F(HostTest, SignalSourcesAreExact) {
    host.set_sample_rate(8000);
    host.set_vector_size(8);
    host.audio("p", "sine:1000:0.5");
    host.record("p", 0);
    host.dsp(true);
    host.run_samples(16);
    const auto& out = host.recorded("p", 0);
    ASSERT_EQ(out.size(), 16u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(out[i], static_cast<float>(0.5 * std::sin(2 * M_PI * 1000 * i / 8000.0)));
    host.audio("p", "noise:7");
    host.dsp(false);
    host.record("p", 0);
    host.dsp(true);
    host.run_samples(8);
    uint64_t state = 7;
    for (int i = 0; i < 8; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        EXPECT_EQ(host.recorded("p", 0)[i], static_cast<float>(static_cast<double>(state >> 40) / 8388608.0 - 1.0));
    }
}

TEST_F(HostTest, AllocationFailureIsUnderTestControl) {
    long before = host.allocation_count();
    host.fail_allocations_after(1);
    char* a = hostapi::sysmem_newptr(8);
    char* b = hostapi::sysmem_newptr(8);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(host.allocation_count(), before + 2);
    hostapi::sysmem_freeptr(a);
    hostapi::sysmem_freeptr(b);
}

TEST_F(HostTest, AConstructorGivingNullCreatesNothing) {
    host.fail_next_object_alloc();
    EXPECT_FALSE(host.create("q", "lyr.probe~"));
    EXPECT_THROW(host.send("q", 0, "1"), lyrhost::HostError);
    EXPECT_TRUE(host.create("q", "lyr.probe~"));
}

TEST_F(HostTest, FreeingLeavesNoClockOrConnectionBehind) {
    host.create("a", "lyr.probe~");
    host.connect("p", 3, "a", 0);
    host.send("a", 0, "every 5");
    host.free("a");
    host.send("p", 0, "1");
    host.run_ms(20);
    EXPECT_EQ(lines(), Lines{"p:3 int 0 1"});
    EXPECT_THROW(host.send("a", 0, "1"), lyrhost::HostError);
}

TEST_F(HostTest, UnknownClassesAndNamesAreErrors) {
    EXPECT_THROW(host.create("x", "lyr.nothing"), lyrhost::HostError);
    EXPECT_THROW(host.create("p", "lyr.probe~"), lyrhost::HostError);
    EXPECT_THROW(host.send("p", 2, "1"), lyrhost::HostError);
    EXPECT_THROW(host.connect("p", 9, "p", 0), lyrhost::HostError);
}

TEST_F(HostTest, DescribeShowsBindingsPortsAndAttributes) {
    std::string d = host.describe("lyr.probe~");
    for (const char* expected : {
             "method \"int\" int\nmethod \"list\" any\nmethod \"bang\" none\nmethod \"every\" int\n",
             "inlet 0 signal \"(Signal) In\"\ninlet 1 \"Right\"\n",
             "outlet 0 signal \"(Signal) Out\"\noutlet 1 int \"Ticks\"\noutlet 2 float \"Halves\"\noutlet 3 any \"Echo\"\n",
             "attribute \"gain\" long offset",
             "  label symbol flags 0 \"Gain\"\n  order long flags 0 \"1\"\n  default long flags 0 \"1\"\n"
             "  save long flags 1 \"1\"\n  clip min 0 max 10\n",
             "attribute \"range\" float32[2]",
             "  setter custom\n",
         })
        EXPECT_NE(d.find(expected), std::string::npos) << expected << "\n--- in ---\n" << d;
}

}  // namespace
