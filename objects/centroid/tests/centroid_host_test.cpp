// lyr.centroid~ through the embedded host: class set-up, the disabled flag,
// and memory failures at creation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "centroid_record.h"
#include "embedded_host.h"

using lyrhost::Event;
using lyrhost::Host;

namespace {

using Lines = std::vector<std::string>;

Lines posts(Host& host) {
    Lines out;
    for (const Event& e : host.take_events()) {
        if (e.is_post) out.push_back(e.text);
    }
    return out;
}

const t_centroid& record_of(Host& host, const std::string& name) {
    return *static_cast<const t_centroid*>(host.instance(name));
}

// The frequency of bin 10 of a 1024-sample window at 44100 Hz, and the
// centroid it gives in power mode: (10 + 0.5) * 44100 / 1024 Hz.
constexpr double kBin10Hz = 10.0 * 44100.0 / 1024.0;
constexpr double kBin10Centroid = 10.5 * 44100.0 / 1024.0;

TEST(CentroidClass, SetUpAsTheHostSeesIt) {
    Host host;
    const std::string d = host.describe("lyr.centroid~");
    const char* expected[] = {
        "destructor yes\n",
        "method \"dsp\" private\nmethod \"assist\" private\n",
        "inlet 0 signal \"(Signal) Input\"\n",
        "outlet 0 signal \"(Signal) Centroid\"\n",
        "attribute \"logamp\" long",
        "  label symbol flags 0 \"Amplitude scale\"\n  style symbol flags 0 \"enumindex\"\n"
        "  enumvals atom flags 0 \"Linear \"Logarithmic\"\n  default long flags 0 \"0\"\n"
        "  save long flags 1 \"1\"\n",
    };
    for (const char* part : expected) EXPECT_NE(d.find(part), std::string::npos) << part << "\nin:\n" << d;
    EXPECT_EQ(d.find("inlet 1"), std::string::npos);
    EXPECT_EQ(d.find("outlet 1"), std::string::npos);
    EXPECT_EQ(d.find("setter custom"), std::string::npos);
}

TEST(CentroidClass, NoInstanceWhenTheHostHasNoMemory) {
    Host host;
    host.fail_next_object_alloc();
    EXPECT_FALSE(host.create("c", "lyr.centroid~", "1024 2"));
}

// While disabled the output vector is left as it was (the host's zeros here,
// though decibel silence would read about 10982 Hz) and the frames keep their
// positions; once enabled the analysis picks up where it stood.
TEST(CentroidHost, DisabledLeavesOutputUnwrittenAndFramesStill) {
    Host host;
    ASSERT_TRUE(host.create("c", "lyr.centroid~", "1024 2 @logamp 1"));
    host.audio("c", "silence");
    host.record("c", 0);
    host.set_disabled("c", true);
    host.dsp(true);
    host.run_samples(4096);
    const std::vector<float>& out = host.recorded("c", 0);
    ASSERT_EQ(out.size(), 4096u);
    for (float v : out) ASSERT_EQ(v, 0.0f);
    const t_centroid& x = record_of(host, "c");
    EXPECT_EQ(x.core.frames[0].position, 0);
    EXPECT_EQ(x.core.frames[1].position, 512);

    host.set_disabled("c", false);
    host.run_samples(1024);
    const float silence = static_cast<float>(44100.0 / 4 - 44100.0 / 1024);
    for (size_t k = 4096; k < 4096 + 512; ++k) ASSERT_EQ(out[k], 0.0f) << k;
    for (size_t k = 4096 + 512; k < out.size(); ++k) ASSERT_EQ(out[k], silence) << k;
}

// Every host allocation of the constructor made to fail in turn: the object is
// still created, outputs 0, and takes its frames at the next "dsp" once memory
// is back.
TEST(CentroidHost, AllocationFailureNeverCrashesAndRecovers) {
    long needed = 0;
    {
        Host host;
        ASSERT_TRUE(host.create("probe", "lyr.centroid~", "1024 2"));  // loads the class first
        const long before = host.allocation_count();
        ASSERT_TRUE(host.create("c", "lyr.centroid~", "1024 2"));
        needed = host.allocation_count() - before;
    }
    ASSERT_GE(needed, 5);  // the two sums, the frame array, one input per frame
    for (long after = 0; after < needed; ++after) {
        SCOPED_TRACE(::testing::Message() << "allocations refused after " << after);
        Host host;
        host.fail_allocations_after(after);
        ASSERT_TRUE(host.create("c", "lyr.centroid~", "1024 2"));
        Lines lines = posts(host);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), lyrcentroid::kNoMemoryMessage);
        EXPECT_EQ(record_of(host, "c").core.frames, nullptr);

        host.audio("c", "sine:" + std::to_string(kBin10Hz));
        host.record("c", 0);
        host.dsp(true);  // still no memory: the frames stay missing
        host.run_samples(2048);
        for (float v : host.recorded("c", 0)) ASSERT_EQ(v, 0.0f);

        host.fail_allocations_after(-1);
        host.dsp(false);
        host.dsp(true);
        ASSERT_NE(record_of(host, "c").core.frames, nullptr);
        host.run_samples(4096);
        const std::vector<float>& out = host.recorded("c", 0);
        EXPECT_NEAR(out.back(), kBin10Centroid, 1e-3);
        host.free("c");
    }
}

TEST(CentroidHost, LogampAttributeSwitchesTheScale) {
    Host host;
    ASSERT_TRUE(host.create("c", "lyr.centroid~", "1024 2"));
    host.audio("c", "silence");
    host.record("c", 0);
    host.dsp(true);
    host.run_samples(2048);
    EXPECT_EQ(host.recorded("c", 0).back(), 0.0f);
    host.send("c", 0, "logamp 1");
    EXPECT_EQ(record_of(host, "c").core.logamp, 1);
    host.run_samples(2048);
    EXPECT_NEAR(host.recorded("c", 0).back(), 44100.0 / 4 - 44100.0 / 1024, 1e-3);
}

}  // namespace
