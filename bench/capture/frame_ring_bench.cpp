// Cost per frame of the hand-over through the frame ring (store_frame with its checksum check,
// then take_datagram) against a plain copy of the same 1,400 bytes, printed as ratios. Two
// baselines: a copy into one buffer that stays in the cache, and a copy into 8192 rotating
// slots, which costs the same memory traffic as the ring (each slot comes round again only
// after 8191 others, long after it has left the core's caches).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/capture/sample_frame.h"
#include "capture/frame_ring.h"

namespace {

using namespace vorlane;
using bench::sample_frame;

void BM_PlainCopy(benchmark::State& state) {
    const std::vector<std::uint8_t> frame = sample_frame();
    auto target = std::make_unique<rx_datagram>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(frame.data());
        std::memcpy(target->frame, frame.data(), frame.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
    state.SetLabel("1400-byte frame");
}
BENCHMARK(BM_PlainCopy);

void BM_PlainCopyIntoRotatingSlots(benchmark::State& state) {
    const std::vector<std::uint8_t> frame = sample_frame();
    auto slots = std::make_unique<rx_datagram[]>(frame_ring_slots);
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(frame.data());
        std::memcpy(slots[next].frame, frame.data(), frame.size());
        benchmark::ClobberMemory();
        next = (next + 1) % frame_ring_slots;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
    state.SetLabel("1400-byte frame");
}
BENCHMARK(BM_PlainCopyIntoRotatingSlots);

void BM_StoreAndTake(benchmark::State& state) {
    const std::vector<std::uint8_t> frame = sample_frame();
    auto ring = std::make_unique<FrameRing>();
    auto taken = std::make_unique<rx_datagram>();
    for (auto _ : state) {
        ring->store_frame(frame.data(), frame.size());
        ring->take_datagram(taken.get());
        benchmark::DoNotOptimize(taken->bad_checksum);
        benchmark::ClobberMemory();
    }
    if (taken->bad_checksum) state.SkipWithError("the sample frame failed its checksum");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
    state.SetLabel("1400-byte frame");
}
BENCHMARK(BM_StoreAndTake);

// The console output plus the ratio of the hand-over to the plain copy, and the CPU cost of the
// capture helper's channel per 1,000 frames beside the frames going straight into the ring.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // The mean of repeated runs where there is one, else the single run.
        for (const Run& run : runs) {
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean") {
                means[name] = run.GetAdjustedRealTime();
                cpu_means[name] = run.GetAdjustedCPUTime();
            } else if (run.run_type == Run::RT_Iteration) {
                singles[name] = run.GetAdjustedRealTime();
                cpu_singles[name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double ring = nanoseconds("BM_StoreAndTake");
        for (const char* baseline : {"BM_PlainCopy", "BM_PlainCopyIntoRotatingSlots"})
            if (ring > 0 && nanoseconds(baseline) > 0)
                std::printf("store_frame + take_datagram %.1f ns / %s %.1f ns = %.2f (target at most 3)\n",
                            ring, baseline, nanoseconds(baseline), ring / nanoseconds(baseline));
        const double direct = cpu_nanoseconds("BM_ThousandFramesIntoTheRing");
        for (const char* per_message : {"1", "8", "64"}) {
            const double helper =
                cpu_nanoseconds(std::string("BM_ThousandFramesThroughTheHelperChannel/") + per_message);
            if (direct > 0 && helper > 0)
                std::printf(
                    "CPU per 1,000 frames: straight into the ring %.1f us, through the helper's channel "
                    "with %s per message %.1f us (+%.1f us, x%.2f)\n",
                    direct / 1000, per_message, helper / 1000, (helper - direct) / 1000, helper / direct);
        }
    }

  private:
    static double lookup(const std::map<std::string, double>& mean_of,
                         const std::map<std::string, double>& single_of, const std::string& name) {
        if (const auto mean = mean_of.find(name); mean != mean_of.end()) return mean->second;
        const auto single = single_of.find(name);
        return single != single_of.end() ? single->second : 0;
    }
    double nanoseconds(const std::string& name) const { return lookup(means, singles, name); }
    double cpu_nanoseconds(const std::string& name) const { return lookup(cpu_means, cpu_singles, name); }

    std::map<std::string, double> means;
    std::map<std::string, double> singles;
    std::map<std::string, double> cpu_means;
    std::map<std::string, double> cpu_singles;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
