#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/error_texts.h"
#include "capture/capture_channel.h"
#include "capture/frame_ring.h"

namespace vorlane {

inline constexpr std::uint32_t WM_APP = 0x8000;

// The receive thread's parameterless notifications to the main window.
enum rx_notification : std::uint32_t {
    // A frame was handed to the ring (also when the ring was full and the frame was dropped)
    // while no earlier notification was waiting to be handled: one is enough, because the main
    // thread then takes every frame the ring holds.
    WM_RX_DATAGRAM = WM_APP + 366,
    // The first read time-out after the capture started or after the last accepted frame.
    WM_RX_IDLE = WM_APP + 367,
    // Adapter open and filter installed; the capture loop begins.
    WM_RX_CONNECTED = WM_APP + 368,
    // The capture loop has ended.
    WM_RX_DISCONNECTED = WM_APP + 369,
};

// What the receive thread needs from the main window. The controller implements the two post
// calls by queueing to its event loop; the rest runs on the main thread.
class rx_target {
  public:
    virtual ~rx_target() = default;

    // Receive thread: queue the notification for the main thread, in order, and return without
    // waiting for it.
    virtual void post_notification(rx_notification message) = 0;
    // Receive thread: queue a call of TPCapReceiveThread::run_report() on the main thread and
    // return without waiting. The call must not be made once the thread object is deleted.
    virtual void post_report() = 0;

    // Main thread, from run_report(): the application is shutting down.
    virtual bool application_closing() const = 0;
    // Main thread: the one status-and-log call.
    virtual void update_status(const std::string& text, bool write_log) = 0;
    // Main thread: one more failed attempt to open the input (selects the retry delay).
    virtual void add_input_failure() = 0;
};

// What the controller asks the receive thread to capture, as plain values.
struct capture_request {
    // Address of the adapter to capture on, as adapter_ip reads it.
    std::string connection_ip;
    std::string filter;
    // Configured source address of junction box 1 and 2: with the destination address and port
    // below, they tell which box a frame belongs to.
    std::array<std::string, junction_box_count> source_ips;
    // Configured destination address of each box's datagrams. Those that are multicast groups
    // are joined on the adapter while the capture runs, so that a switch that snoops IGMP
    // forwards them to this host.
    std::array<std::string, junction_box_count> destination_ips;
    std::array<std::int32_t, junction_box_count> destination_ports{};
};

// Captures the junction boxes' datagrams on one adapter, through the capture helper (see
// capture_helper.h) at the other end of a channel: the thread sleeps until start_capture, asks
// the helper to open the adapter and install the filter, puts the frames it sends into its ring
// until it is stopped, then asks the helper to close and waits again. It runs at a lowered
// priority: nice_increment above the process's nice value.
//
// Shared with the main thread: the ring (its own lock), the requested state (its lock), the
// terminated flag, the notifications and the pending report.
class TPCapReceiveThread {
  public:
    static constexpr int nice_increment = capture_nice_increment;

    // The thread starts at once and waits for start_capture. `helper_channel` is the program's
    // end of the channel to the capture helper; it must outlive the thread and serve no other.
    TPCapReceiveThread(rx_target& target, int helper_channel);
    // Terminates the thread and waits for it if the owner has not done so.
    ~TPCapReceiveThread();
    TPCapReceiveThread(const TPCapReceiveThread&) = delete;
    TPCapReceiveThread& operator=(const TPCapReceiveThread&) = delete;

    // Main thread: capture as requested. A capture that runs, or is being opened, ends first and
    // the thread opens again with the new settings.
    void start_capture(const capture_request& request);
    // Main thread: ends the capture, or the opening of one, even if the thread has not yet taken
    // up the start request before it; the thread then waits for the next start_capture.
    void stop_capture();
    // Main thread: the oldest captured frame; false when the ring is empty.
    bool take_datagram(rx_datagram* record) { return ring.take_datagram(record); }
    // Any thread: frames skipped so far, as FrameRing::skipped counts them.
    std::uint64_t skipped_frames(std::size_t row, frame_skip why) const { return ring.skipped(row, why); }
    // Main thread, when post_report's call arrives: delivers the pending report (status line and
    // event log, input failure count) and lets the receive thread go on.
    void run_report();

    // Main thread: asks the thread to end; it does so within about 100 ms.
    void terminate();
    // Main thread: waits until the thread has ended.
    void wait_for_end();

  private:
    void execute();
    bool accept_start_request(std::uint64_t& served, capture_request& cycle);
    // A newer start or stop request has come, or the thread is to end.
    bool superseded(std::uint64_t request);
    void capture_cycle(const capture_request& cycle, std::uint64_t request);
    void follow_session(const capture_request& cycle, std::uint64_t request, bool& connected);
    bool take_frames(message_kind kind, const std::uint8_t* body, std::size_t length, bool& idle_sent);
    void report(std::string_view text, bool input_failure) noexcept;
    void report_current_exception(reported_error error, bool input_failure) noexcept;
    void post(rx_notification message) { target.post_notification(message); }

    rx_target& target;
    const int channel;
    // One message from the helper at a time, allocated once.
    std::unique_ptr<std::uint8_t[]> received;
    FrameRing ring;
    std::atomic<bool> terminated{false};

    // The state the main thread asks for, as one value: whether to capture, with which settings,
    // and the number of the request, counted up by every start and stop. The thread captures for
    // one request number; any later number ends that capture, so a stop can never be lost behind
    // a start that the thread has not yet taken up.
    std::mutex request_lock;
    std::condition_variable request_changed;
    bool capture_wanted = false;
    capture_request settings;
    std::uint64_t request_number = 0;

    // A report waits here until the main thread has run it or the thread is terminated.
    std::mutex report_lock;
    std::condition_variable report_done;
    std::string report_text;
    bool report_failed = false;
    bool report_pending = false;

    // Last, so that everything the thread uses exists before it starts.
    std::thread thread;
};

}  // namespace vorlane
