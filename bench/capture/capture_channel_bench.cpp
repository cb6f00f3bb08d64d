// CPU per 1,000 frames of the capture helper's hand-over: frames gathered into batches, sent over
// the channel, read back and put into the ring, beside the same frames put straight into the
// ring as the receive thread did while it captured itself. Both ends run on one thread here, so
// the figure holds the copies and system calls but no wake-ups; the batch size is how many
// frames the helper finds waiting at once (few at a junction box's rate, many in a burst).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "bench/capture/sample_frame.h"
#include "capture/capture_channel.h"
#include "capture/frame_ring.h"

namespace {

using namespace vorlane;

constexpr int frames_per_iteration = 1000;

void BM_ThousandFramesIntoTheRing(benchmark::State& state) {
    const std::vector<std::uint8_t> frame = bench::sample_frame();
    auto ring = std::make_unique<FrameRing>();
    ring->set_inputs(input_addresses({"172.31.24.10", ""}, {"172.31.24.1", ""}, {10021, 0}));
    auto taken = std::make_unique<rx_datagram>();
    for (auto _ : state)
        for (int k = 0; k < frames_per_iteration; ++k) {
            ring->store_captured(frame.data(), frame.size(), frame.size());
            ring->take_datagram(taken.get());
        }
    if (taken->frame_length != static_cast<std::int32_t>(frame.size()))
        state.SkipWithError("no frame was stored");
    state.SetLabel("1400-byte frames");
}
BENCHMARK(BM_ThousandFramesIntoTheRing);

void BM_ThousandFramesThroughTheHelperChannel(benchmark::State& state) {
    const std::vector<std::uint8_t> frame = bench::sample_frame();
    const auto per_batch = static_cast<int>(state.range(0));
    auto ring = std::make_unique<FrameRing>();
    ring->set_inputs(input_addresses({"172.31.24.10", ""}, {"172.31.24.1", ""}, {10021, 0}));
    auto taken = std::make_unique<rx_datagram>();
    auto received = std::make_unique<std::uint8_t[]>(max_response_length);
    frame_batch batch;
    int ends[2];
    if (!make_capture_channel(ends)) {
        state.SkipWithError("no socket pair");
        return;
    }
    const auto hand_over = [&] {
        batch.send(ends[1], 1);
        const long length = receive_message(ends[0], received.get(), max_response_length, 0);
        if (length <= 0) return;
        frame_batch_reader frames(received.get() + message_header_length,
                                  static_cast<std::size_t>(length) - message_header_length);
        const std::uint8_t* data = nullptr;
        std::uint32_t captured = 0;
        std::uint32_t wire_length = 0;
        while (frames.next(data, captured, wire_length)) {
            ring->store_captured(data, captured, wire_length);
            ring->take_datagram(taken.get());
        }
    };
    for (auto _ : state)
        for (int k = 0; k < frames_per_iteration; ++k) {
            batch.add(frame.data(), static_cast<std::uint32_t>(frame.size()),
                      static_cast<std::uint32_t>(frame.size()));
            if ((k + 1) % per_batch == 0 || k + 1 == frames_per_iteration) hand_over();
        }
    ::close(ends[0]);
    ::close(ends[1]);
    if (taken->frame_length != static_cast<std::int32_t>(frame.size()))
        state.SkipWithError("no frame was stored");
    state.SetLabel("1400-byte frames, " + std::to_string(per_batch) + " per message");
}
BENCHMARK(BM_ThousandFramesThroughTheHelperChannel)->Arg(1)->Arg(8)->Arg(64);

}  // namespace
