#include "capture/pcap_receive_thread.h"

#include <chrono>
#include <exception>
#include <utility>

#include "base/exception_name.h"

namespace vorlane {

namespace {

using namespace std::chrono_literals;

constexpr auto start_wait = 100ms;
// Bounds the delay of a stop request and of termination while the helper is quiet.
constexpr int message_wait_ms = 100;

}  // namespace

TPCapReceiveThread::TPCapReceiveThread(rx_target& reports_to, int helper_channel)
    : target(reports_to),
      channel(helper_channel),
      received(std::make_unique<std::uint8_t[]>(max_response_length)),
      thread([this] { execute(); }) {}

TPCapReceiveThread::~TPCapReceiveThread() {
    terminate();
    wait_for_end();
}

void TPCapReceiveThread::start_capture(const capture_request& request) {
    {
        const std::lock_guard guard(request_lock);
        settings = request;
        capture_wanted = true;
        ++request_number;
    }
    request_changed.notify_all();
}

void TPCapReceiveThread::stop_capture() {
    {
        const std::lock_guard guard(request_lock);
        capture_wanted = false;
        ++request_number;
    }
    request_changed.notify_all();
}

void TPCapReceiveThread::terminate() {
    {
        const std::lock_guard guard(report_lock);
        terminated = true;
    }
    report_done.notify_all();
    // Wakes a waiting thread at once; taking the lock orders the flag before its wait check.
    { const std::lock_guard guard(request_lock); }
    request_changed.notify_all();
}

void TPCapReceiveThread::wait_for_end() {
    if (thread.joinable()) thread.join();
}

void TPCapReceiveThread::execute() {
    lower_own_priority();
    // The request the last cycle served: a capture that ended by itself (read error, exception)
    // is not opened again until the main thread asks anew.
    std::uint64_t served = 0;
    while (!terminated) {
        capture_request cycle;
        try {
            if (!accept_start_request(served, cycle)) continue;
        } catch (...) {
            report_current_exception(reported_error::receive_thread_failed, true);
            continue;
        }
        capture_cycle(cycle, served);
    }
}

bool TPCapReceiveThread::accept_start_request(std::uint64_t& served, capture_request& cycle) {
    std::unique_lock guard(request_lock);
    const bool requested = request_changed.wait_for(
        guard, start_wait, [&] { return terminated || (capture_wanted && request_number != served); });
    if (!requested || terminated) return false;
    served = request_number;
    cycle = settings;
    return true;
}

bool TPCapReceiveThread::superseded(std::uint64_t request) {
    if (terminated) return true;
    const std::lock_guard guard(request_lock);
    return request_number != request;
}

// One start cycle: the helper opens the adapter and installs the filter, reporting every failure
// (each counts as a failed attempt to open the input), then sends frames until the capture is
// stopped or ends by itself. However the cycle ends, the helper is asked to close: a capture it
// is still opening or running then ends, and one it has ended already is left as it is.
void TPCapReceiveThread::capture_cycle(const capture_request& cycle, std::uint64_t request) {
    bool connected = false;
    try {
        switch (
            send_open_request(channel, request, {cycle.connection_ip, cycle.filter, cycle.destination_ips})) {
            case open_sent::sent:
                follow_session(cycle, request, connected);
                break;
            case open_sent::too_long:
                report(error_text(reported_error::capture_request_malformed), true);
                break;
            case open_sent::channel_closed:
                report(error_text(reported_error::capture_helper_gone), true);
                break;
        }
        if (connected) {
            connected = false;
            post(WM_RX_DISCONNECTED);
        }
    } catch (...) {
        report_current_exception(reported_error::capture_cycle_failed, true);
        // The main window counts the input as open since WM_RX_CONNECTED; without this it would
        // never arrange a new attempt.
        if (connected) {
            try {
                post(WM_RX_DISCONNECTED);
            } catch (...) {
            }
        }
    }
    send_message(channel, {request, message_kind::close});
}

// The helper's messages for one request, until it ends the session, a newer request or
// termination comes, or the channel fails. Late messages of earlier sessions are passed over.
void TPCapReceiveThread::follow_session(const capture_request& cycle, std::uint64_t request,
                                        bool& connected) {
    bool idle_sent = false;
    while (!superseded(request)) {
        const long length = receive_message(channel, received.get(), max_response_length, message_wait_ms);
        if (length == 0) continue;
        if (length < 0) return report(error_text(reported_error::capture_helper_gone), true);
        message_header header;
        const auto size = static_cast<std::size_t>(length);
        if (size > max_response_length || !read_header(received.get(), size, header))
            return report(error_text(reported_error::capture_answer_malformed), true);
        if (header.session != request && header.session != any_session) continue;
        const std::uint8_t* body = received.get() + message_header_length;
        const std::size_t body_length = size - message_header_length;
        switch (header.kind) {
            case message_kind::report:
                report(std::string_view(reinterpret_cast<const char*>(body), body_length),
                       header.input_failure);
                break;
            case message_kind::opened:
                ring.set_inputs(
                    input_addresses(cycle.source_ips, cycle.destination_ips, cycle.destination_ports));
                post(WM_RX_CONNECTED);
                connected = true;
                break;
            case message_kind::timeout:
            case message_kind::frames:
                if (!take_frames(header.kind, body, body_length, idle_sent)) return;
                break;
            case message_kind::ended:
                return;
            case message_kind::open:
            case message_kind::close:
                return report(error_text(reported_error::capture_answer_malformed), true);
        }
    }
}

// Puts a batch of frames into the ring, or takes a read time-out; false when that failed, which
// ends the capture without counting a failed attempt.
bool TPCapReceiveThread::take_frames(message_kind kind, const std::uint8_t* body, std::size_t length,
                                     bool& idle_sent) {
    try {
        if (kind == message_kind::timeout) {
            if (!idle_sent) {
                post(WM_RX_IDLE);
                idle_sent = true;
            }
            return true;
        }
        frame_batch_reader frames(body, length);
        const std::uint8_t* data = nullptr;
        std::uint32_t captured = 0;
        std::uint32_t wire_length = 0;
        while (frames.next(data, captured, wire_length)) {
            // A frame too long for a slot, or not captured whole, is no sign of traffic.
            frame_skip why = frame_skip::not_ipv4_udp;
            if (!ring.store_captured(data, captured, wire_length, &why) && why == frame_skip::oversize)
                continue;
            idle_sent = false;
            if (ring.claim_notification()) post(WM_RX_DATAGRAM);
        }
        if (!frames.malformed()) return true;
        report(error_text(reported_error::capture_answer_malformed), true);
    } catch (...) {
        report_current_exception(reported_error::frames_not_taken, false);
    }
    return false;
}

void TPCapReceiveThread::report(std::string_view text, bool input_failure) noexcept {
    try {
        {
            const std::lock_guard guard(report_lock);
            if (terminated) return;
            report_text = text;
            report_failed = input_failure;
            report_pending = true;
        }
        target.post_report();
        // The main thread may be waiting for this thread to end; termination releases the wait,
        // and a report that arrives after that does nothing.
        std::unique_lock guard(report_lock);
        report_done.wait(guard, [this] { return !report_pending || terminated; });
    } catch (...) {
        // A report that cannot be delivered is lost; capturing goes on.
    }
}

void TPCapReceiveThread::report_current_exception(reported_error error, bool input_failure) noexcept {
    try {
        report(error_text(error, {current_exception_text()}), input_failure);
    } catch (...) {
    }
}

void TPCapReceiveThread::run_report() {
    std::unique_lock guard(report_lock);
    if (!report_pending || terminated) return;
    const std::string text = std::exchange(report_text, {});
    const bool failed = std::exchange(report_failed, false);
    guard.unlock();

    // However the calls below end, the receive thread must not be left waiting.
    struct release_receive_thread {
        TPCapReceiveThread& self;
        ~release_receive_thread() {
            {
                const std::lock_guard done(self.report_lock);
                self.report_pending = false;
            }
            self.report_done.notify_all();
        }
    } release{*this};

    if (target.application_closing()) terminate();
    if (!text.empty()) target.update_status(text, true);
    if (failed) target.add_input_failure();
}

}  // namespace vorlane
