// lyr.spectrum~ in the embedded host: creation, attributes, the signal chain,
// the clock, and what the record holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "embedded_host.h"
#include "spectrum_record.h"

namespace {

std::vector<std::string> posts(const std::vector<lyrhost::Event>& events) {
    std::vector<std::string> out;
    for (const auto& e : events)
        if (e.is_post) out.push_back(e.text);
    return out;
}

std::vector<std::vector<double>> lists(const std::vector<lyrhost::Event>& events) {
    std::vector<std::vector<double>> out;
    for (const auto& e : events)
        if (!e.is_post && e.selector == "list") out.push_back(e.values());
    return out;
}

class SpectrumHost : public testing::Test {
protected:
    lyrhost::Host host;
    t_spectrum* create(const std::string& args) {
        EXPECT_TRUE(host.create("sp", "lyr.spectrum~", args));
        return static_cast<t_spectrum*>(host.instance("sp"));
    }
    // Runs `ms` milliseconds one at a time, calling at_ms(ms) after each, and
    // gives the times at which lists came out.
    template <class AtMs>
    std::vector<double> list_times(int ms, AtMs at_ms) {
        std::vector<double> times;
        for (int k = 1; k <= ms; ++k) {
            host.run_ms(1);
            at_ms(k);
            if (!lists(host.take_events()).empty()) times.push_back(host.now_ms());
        }
        return times;
    }
    std::vector<std::string> new_posts() {
        std::vector<std::string> p = posts(host.take_events());
        // The credit banner of the first load.
        std::erase_if(p, [](const std::string& line) { return line.find("by the lyr authors") != std::string::npos ||
                                                             line.find("lyr : ") == 0; });
        return p;
    }
};

constexpr const char* kWindowLine = "lyr.spectrum~ :Error in FFT window size, set to 1024 samples";
constexpr const char* kOverlapLine = "lyr.spectrum~ :Error in overlapping, set to 2";

TEST_F(SpectrumHost, CreationArgumentsAndAttributeArguments) {
    struct Case {
        const char* args;
        int32_t window, overlap;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", 1024, 2, {kWindowLine, kOverlapLine}},
        {"@interval 500 @logamp 0", 1024, 2, {kWindowLine, kOverlapLine}},
        {"1000 3", 1000, 3, {}},
        {"512. 3", 1024, 3, {kWindowLine}},  // a float is no window size
        {"2048", 2048, 2, {kOverlapLine}},
        {"1024 @interval 500", 1024, 2, {kOverlapLine}},  // the 500 belongs to the attribute
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        t_spectrum* x = create(c.args);
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->core.window_size, c.window);
        EXPECT_EQ(x->core.overlap, c.overlap);
        EXPECT_EQ(new_posts(), c.lines);
        host.free("sp");
    }
    t_spectrum* x = create("@interval 500 @logamp 0 @smooth 2 @domain 100 5000");
    EXPECT_EQ(x->interval, 500);
    EXPECT_EQ(x->logamp, 0);
    EXPECT_EQ(x->smooth, 2);
    EXPECT_EQ(x->logfreq, 0);
    EXPECT_EQ(x->resize, 0);
    EXPECT_EQ(lyrspectrum::spectrum_bins(x->core).low, 2);
    EXPECT_EQ(lyrspectrum::spectrum_bins(x->core).high, 116);
}

TEST_F(SpectrumHost, InitialValuesAndDerivedBins) {
    t_spectrum* x = create("1024 2");
    EXPECT_EQ(x->core.sample_rate, 44100);
    EXPECT_EQ(x->domain[0], 0.0f);
    EXPECT_EQ(x->domain[1], 22050.0f);
    EXPECT_EQ(x->interval, 10);
    EXPECT_EQ(x->smooth, 5);
    EXPECT_EQ(x->logamp, 1);
    EXPECT_EQ(x->logfreq, 0);
    EXPECT_EQ(x->resize, 0);
    EXPECT_EQ(lyrspectrum::spectrum_bins(x->core).count(), 512);
}

TEST_F(SpectrumHost, DomainSetterKeepsTheAttributeAndTheBinsTogether) {
    t_spectrum* x = create("1024 2");
    host.take_events();
    host.send("sp", 0, "domain -5 1000");
    EXPECT_EQ(x->domain[0], 0.0f);
    EXPECT_EQ(x->domain[1], 1000.0f);
    EXPECT_EQ(lyrspectrum::spectrum_bins(x->core).high, 23);
    EXPECT_EQ(new_posts(), std::vector<std::string>{"lyr.spectrum~ : error in low size domain (minimum is 0)"});
    host.send("sp", 0, "domain 100 5000");
    host.send("sp", 0, "domain foo 8000");  // a symbol keeps the low edge
    EXPECT_EQ(x->domain[0], 100.0f);
    EXPECT_EQ(x->domain[1], 8000.0f);
    EXPECT_TRUE(new_posts().empty());
}

TEST_F(SpectrumHost, IntervalAndSmoothAreClipped) {
    t_spectrum* x = create("1024 2");
    host.send("sp", 0, "interval 1");
    EXPECT_EQ(x->interval, 3);
    host.send("sp", 0, "interval 6000");
    EXPECT_EQ(x->interval, 5000);
    host.send("sp", 0, "smooth 0");
    EXPECT_EQ(x->smooth, 1);
    host.send("sp", 0, "smooth 100000");
    EXPECT_EQ(x->smooth, 100000);
}

TEST_F(SpectrumHost, NewSampleRateReachesTheRecordButNotTheBins) {
    t_spectrum* x = create("1024 2");
    host.set_sample_rate(48000);
    host.dsp(true);
    EXPECT_EQ(x->core.sample_rate, 48000);
    EXPECT_EQ(lyrspectrum::spectrum_bins(x->core).high, 512);
    host.send("sp", 0, "domain 0 24000");
    EXPECT_EQ(lyrspectrum::spectrum_bins(x->core).high, 512);
    host.send("sp", 0, "domain 0 22050");
    EXPECT_EQ(lyrspectrum::spectrum_bins(x->core).high, 470);
}

TEST_F(SpectrumHost, DisabledObjectLeavesItsFramesAlone) {
    t_spectrum* x = create("1024 2");
    host.audio("sp", "noise:1");
    host.dsp(true);
    host.run_samples(640);
    const int32_t p0 = x->core.frames[0].fft.position, p1 = x->core.frames[1].fft.position;
    EXPECT_EQ(p0, 640);
    host.set_disabled("sp", true);
    host.run_samples(6400);
    EXPECT_EQ(x->core.frames[0].fft.position, p0);
    EXPECT_EQ(x->core.frames[1].fft.position, p1);
    EXPECT_TRUE(lists(host.take_events()).empty());
    host.set_disabled("sp", false);
    host.run_samples(64);
    EXPECT_EQ(x->core.frames[0].fft.position, p0 + 64);
}

TEST_F(SpectrumHost, FirstTickAfterTenMillisecondsThenEveryInterval) {
    // Window 2: a list is ready within the first millisecond, so each tick sends.
    create("2 1 @interval 500 @smooth 1");
    host.audio("sp", "noise:2");
    host.dsp(true);
    EXPECT_EQ(list_times(1100, [](int) {}), (std::vector<double>{10, 510, 1010}));
}

TEST_F(SpectrumHost, IntervalChangeTakesEffectAtTheNextDelay) {
    create("2 1 @interval 100");
    host.audio("sp", "noise:2");
    host.dsp(true);
    const auto times = list_times(300, [&](int ms) {
        if (ms == 150) host.send("sp", 0, "interval 20");
    });
    // Ticks at 10 and 110; the tick at 210 re-arms with 20.
    EXPECT_EQ(times, (std::vector<double>{10, 110, 210, 230, 250, 270, 290}));
}

TEST_F(SpectrumHost, FailedHostAllocationLeavesASilentObject) {
    host.set_vector_size(64);
    long needed = 0;
    {
        const long before = host.allocation_count();
        create("256 3");
        needed = host.allocation_count() - before;
        host.free("sp");
    }
    ASSERT_GT(needed, 5);
    for (long k = 0; k < needed; ++k) {
        SCOPED_TRACE(k);
        host.take_events();
        host.fail_allocations_after(k);
        ASSERT_TRUE(host.create("sp", "lyr.spectrum~", "256 3"));
        host.fail_allocations_after(-1);
        EXPECT_EQ(new_posts(), std::vector<std::string>{lyrspectrum::kNoMemoryMessage});
        host.audio("sp", "noise:1");
        host.dsp(true);
        host.run_ms(50);
        EXPECT_TRUE(lists(host.take_events()).empty());
        host.send("sp", 0, "domain 100 5000");
        host.dsp(false);
        host.free("sp");
    }
}

TEST_F(SpectrumHost, FailedObjectAllocationCreatesNothing) {
    host.fail_next_object_alloc();
    EXPECT_FALSE(host.create("sp", "lyr.spectrum~", "1024 2"));
}

}  // namespace
