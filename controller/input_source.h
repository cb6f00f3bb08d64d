#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/networks.h"
#include "capture/frame_ring.h"
#include "capture/pcap_receive_thread.h"
#include "config/config_manager.h"

namespace vorlane {

// The capture input as the controller drives it. The program uses the receive thread and the
// capture helper behind it (make_capture_input); the controller's tests use a scripted
// stand-in, so that the start-up and retry logic can be driven tick by tick.
class input_source {
  public:
    virtual ~input_source() = default;

    // The capture library could be bound when the input was made.
    virtual bool library_loaded() const = 0;
    // Builds the filter from the settings and starts the capture; a failure has been reported
    // and counted through the rx_target when this answers false.
    virtual bool open_input(const config_manager& config) = 0;
    virtual void close_input() = 0;
    // The oldest captured frame; false when none is waiting.
    virtual bool take_datagram(rx_datagram& record) = 0;
    // Frames skipped so far for a row of the frame counts (input 0 or 1, unknown_source_row).
    virtual std::uint64_t skipped_frames(std::size_t row, frame_skip why) const = 0;
    // Delivers the receive thread's pending report on the main thread.
    virtual void run_report() = 0;
    // Ends the receive thread and waits for it; the input is unusable afterwards.
    virtual void stop_thread() = 0;
    // Once a second while the input is open: a LAN whose capture failed or ended while the other
    // LAN serves is opened again on its own retry ladder.
    virtual void retry_lans() = 0;
};

// Binds the capture library, whose adapter list the settings and the windows read, and starts
// one receive thread per LAN, which waits for open_input and then captures through the capture
// helper at the other end of that LAN's helper channel. The library is released when the input is
// destroyed.
std::unique_ptr<input_source> make_capture_input(rx_target& target,
                                                 const std::array<int, lan_count>& helper_channels);

}  // namespace vorlane
