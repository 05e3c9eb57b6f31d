// The analysis on one thread, the poll on another, as the audio thread and the
// scheduler thread run them in a host. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <vector>

#include "spectrum_core.h"
#include "spectrum_reference.h"
#include "spectrum_test_support.h"

using namespace lyrspectrum;

namespace {

constexpr int32_t kWindow = 64;
constexpr int32_t kOverlap = 4;
constexpr int32_t kVector = 64;
constexpr int64_t kVectors = 100000;

uint64_t signature(const float* values, int32_t count) {
    uint64_t h = 1469598103934665603ull ^ static_cast<uint64_t>(count);
    const auto* bytes = reinterpret_cast<const unsigned char*>(values);
    for (std::size_t k = 0; k < sizeof(float) * static_cast<std::size_t>(count); ++k) {
        h ^= bytes[k];
        h *= 1099511628211ull;
    }
    return h;
}

int32_t logamp_of(int64_t vector) { return static_cast<int32_t>((vector / 1000) % 2); }

struct Receiver {
    // Per frame: signature of each completed list -> its completion number.
    std::vector<std::unordered_map<uint64_t, int64_t>> completed;
    std::vector<int64_t> last;  // completion number of the last list received, per frame
    int64_t received = 0, unknown = 0, out_of_order = 0;

    static void sink(void* context, int32_t frame, const float* values, int32_t count) {
        auto* r = static_cast<Receiver*>(context);
        ++r->received;
        const auto it = r->completed[frame].find(signature(values, count));
        if (it == r->completed[frame].end()) {
            ++r->unknown;
            return;
        }
        if (it->second <= r->last[frame]) ++r->out_of_order;
        r->last[frame] = it->second;
    }
};

TEST(SpectrumThreaded, EveryListPolledOnAnotherThreadIsOneTheFrameCompleted) {
    const std::vector<float> x = spectrum_test::test_signal(static_cast<std::size_t>(kVectors * kVector), 99);

    // What each frame completes, in order, from the per-sample model.
    Receiver receiver;
    receiver.completed.resize(kOverlap);
    receiver.last.assign(kOverlap, -1);
    std::vector<int64_t> completions(kOverlap, 0);
    {
        spectrum_test::Reference ref(kWindow, kOverlap, 0, kWindow / 2);
        ref.on_complete = [&](int32_t frame, const std::vector<float>& list) {
            receiver.completed[frame].emplace(signature(list.data(), static_cast<int32_t>(list.size())),
                                              completions[frame]++);
        };
        for (int64_t v = 0; v < kVectors; ++v) ref.process(x.data() + v * kVector, kVector, logamp_of(v));
    }

    Spectrum s;
    ASSERT_TRUE(spectrum_open(s, kWindow, kOverlap, 44100, {}, {}));
    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int64_t v = 0; v < kVectors; ++v) spectrum_process(s, x.data() + v * kVector, kVector, logamp_of(v));
        done.store(true, std::memory_order_release);
    });
    std::thread scheduler([&] {
        const PollSettings settings{0, 1, 0};  // lists pass unchanged
        while (!done.load(std::memory_order_acquire)) spectrum_poll(s, settings, &Receiver::sink, &receiver);
        spectrum_poll(s, settings, &Receiver::sink, &receiver);  // what completed last
    });
    audio.join();
    scheduler.join();
    spectrum_close(s);

    RecordProperty("lists_received", std::to_string(receiver.received));
    EXPECT_EQ(receiver.unknown, 0) << "lists that no frame completed (torn or half refreshed)";
    EXPECT_EQ(receiver.out_of_order, 0);
    for (int32_t i = 0; i < kOverlap; ++i) {
        ASSERT_GT(completions[i], kVectors - 10);
        EXPECT_EQ(receiver.last[i], completions[i] - 1) << "frame " << i << ": the last completion was lost";
    }
    EXPECT_GE(receiver.received, kOverlap);
}

TEST(SpectrumThreaded, DomainSetOnAThirdThreadArrivesAsOneConsistentPair) {
    const std::vector<float> x = spectrum_test::test_signal(static_cast<std::size_t>(kVector) * 1000, 5);
    Spectrum s;
    ASSERT_TRUE(spectrum_open(s, kWindow, kOverlap, 44100, {}, {}));
    // 1000..5000 Hz gives bins 1..7 (6 entries), 10000..20000 Hz bins 14..29 (15 entries);
    // a pair mixed from the two would give 28 or 0 entries.
    std::atomic<bool> done{false};
    std::vector<int32_t> counts;
    std::thread audio([&] {
        for (int64_t v = 0; v < kVectors; ++v) spectrum_process(s, x.data() + (v % 1000) * kVector, kVector, 0);
        done.store(true, std::memory_order_release);
    });
    std::thread messages([&] {
        for (int k = 0; !done.load(std::memory_order_acquire); ++k) {
            if (k % 2) spectrum_set_domain(s, 1000.0f, 5000.0f);
            else spectrum_set_domain(s, 10000.0f, 20000.0f);
            std::this_thread::yield();
        }
    });
    std::thread scheduler([&] {
        auto sink = [](void* context, int32_t, const float*, int32_t count) {
            static_cast<std::vector<int32_t>*>(context)->push_back(count);
        };
        while (!done.load(std::memory_order_acquire)) spectrum_poll(s, {0, 5, 0}, sink, &counts);
    });
    audio.join();
    messages.join();
    scheduler.join();
    spectrum_close(s);
    ASSERT_FALSE(counts.empty());
    for (int32_t c : counts) ASSERT_TRUE(c == 6 || c == 15 || c == 32) << c;
}

}  // namespace
