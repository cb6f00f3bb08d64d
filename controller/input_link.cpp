#include "controller/input_link.h"

#include <QMetaObject>
#include <chrono>
#include <exception>

#include "base/error_texts.h"
#include "capture/capture_api.h"
#include "input/datagram_hand_over.h"
#include "input/stream_input.h"

namespace vorlane {

input_link::input_link(const config_manager& settings, nmea_manager& streams, status_reporter& status)
    : config(settings), manager(streams), reporter(status) {}

void input_link::attach(const input_factory& make_input) {
    input = make_input(*this);
    loaded = input->library_loaded();
}

void input_link::stop() {
    closing = true;
    if (input) input->stop_thread();
}

bool input_link::open_input() {
    const bool started = input->open_input(config);
    if (started) input_idle = true;
    return started;
}

std::vector<std::string> input_link::apply_formats() {
    return apply_input_formats(config, manager, receivers);
}

void input_link::process_input() {
    if (!input) return;
    try {
        const queue_clock::time_point now = queue_clock::now();
        manager.set_time(now);
        // The receive time the outputs' TAG blocks give: read once per turn, as the steady clock
        // is; the datagrams of one turn arrived within milliseconds of each other.
        manager.set_wall_time(std::chrono::duration_cast<std::chrono::seconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count());
        rx_datagram datagram;
        int taken = 0;
        while (taken < datagrams_per_turn && input->take_datagram(datagram)) {
            if (datagram.lan >= 0 && datagram.lan < lan_count && datagram.input_index >= 0 &&
                datagram.input_index < junction_box_count) {
                lan_traffic& lan = lans[static_cast<std::size_t>(datagram.lan)];
                ++lan.frames[static_cast<std::size_t>(datagram.input_index)];
                lan.last_frame[static_cast<std::size_t>(datagram.input_index)] = now;
                lan.newest_frame = now;
            }
            hand_over_datagram(manager, receivers, datagram, now);
            ++taken;
        }
        report_senders(now);
        if (receivers.two_lans) report_lans(now);
        // The receive thread does not notify again until a take finds the ring empty.
        if (taken == datagrams_per_turn && !more_input_queued) {
            more_input_queued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    more_input_queued = false;
                    process_input();
                },
                Qt::QueuedConnection);
        }
    } catch (const std::exception&) {
        // The remaining datagrams wait for the next notification.
    }
}

// Each warning at most once per report interval, so that an impostor's rate does not reach the
// log.
void input_link::report_senders(queue_clock::time_point now) {
    for (int k = 0; k < junction_box_count; ++k) {
        for (int lan = 0; lan < receivers.lans(); ++lan)
            if (sender_warning warning; receivers.senders[lan].take_warning(k, now, warning))
                reporter.update_status(sender_warning_text(k, source_ip(config, lan, k), warning), true);
        std::optional<queue_clock::time_point>& reported = conflict_reported[static_cast<std::size_t>(k)];
        line_count_conflict conflict;
        if ((!reported || now - *reported >= sender_identity::report_interval) &&
            manager.take_count_conflict(k, conflict)) {
            reported = now;
            reporter.update_status(count_conflict_text(k, config.input_src_ip[k], conflict), true);
        }
        // Every change of a served source is told: each is a jump on the display.
        for (source_switch change; manager.take_source_switch(k, change);)
            reporter.update_status(source_switch_text(k, change), true);
        for (int lan = 0; lan < receivers.lans(); ++lan)
            if (ethernet_address expected{};
                input_open && receivers.senders[lan].take_missing(k, now, expected))
                reporter.update_status(missing_sender_text(k, source_ip(config, lan, k), expected), true);
    }
}

// Only traffic calls this: a LAN falls silent unnoticed only while the other is silent too, and
// then the input goes idle, which the status line shows.
void input_link::report_lans(queue_clock::time_point now) {
    for (int lan = 0; lan < lan_count; ++lan) {
        lan_traffic& traffic = lans[static_cast<std::size_t>(lan)];
        if (!traffic.newest_frame) continue;
        const int other = lan == lan_a ? lan_b : lan_a;
        const std::optional<queue_clock::time_point>& others =
            lans[static_cast<std::size_t>(other)].newest_frame;
        const bool silent = now - *traffic.newest_frame >= lan_silence;
        const std::string adapter = adapter_ip(lan_adapter_ip(config, lan));
        if (traffic.reported_silent && !silent) {
            traffic.reported_silent = false;
            reporter.update_status(error_text(reported_error::lan_back, {lan_name(lan), adapter}), true);
        } else if (!traffic.reported_silent && silent && others && now - *others < lan_silence) {
            traffic.reported_silent = true;
            reporter.update_status(
                error_text(reported_error::lan_silent,
                           {lan_name(lan), adapter, std::to_string(lan_silence.count()), lan_name(other)}),
                true);
        }
    }
}

input_link::lan_view input_link::lan_seen(int lan, int box, queue_clock::time_point now) const {
    const lan_traffic& traffic = lans[static_cast<std::size_t>(lan)];
    const std::optional<queue_clock::time_point>& last = traffic.last_frame[static_cast<std::size_t>(box)];
    return {traffic.frames[static_cast<std::size_t>(box)], last.has_value() && now - *last < lan_silence};
}

void input_link::datagram_arrived() {
    if (input_idle) {
        input_idle = false;
        new_traffic = true;
    }
}

void input_link::connected() {
    const queue_clock::time_point now = queue_clock::now();
    for (sender_identity& senders : receivers.senders) senders.open(now);
    receivers.pairing.forget_all();
    lans = {};
    input_open = true;
    input_idle = true;
    fail_count = 0;
    reporter.show("Input connected");
}

void input_link::disconnected() {
    input_open = false;
    input_idle = true;
    reporter.show("Input disconnected");
}

bool input_link::take_new_traffic() {
    const bool traffic = new_traffic;
    new_traffic = false;
    return traffic;
}

std::uint64_t input_link::skipped_frames(std::size_t row, frame_skip why) const {
    return input ? input->skipped_frames(row, why) : 0;
}

// Queued to this object's thread, so the receive thread never waits; Qt delivers the calls in
// the order they were posted and drops those still pending when the link is destroyed.
void input_link::post_notification(rx_notification message) {
    QMetaObject::invokeMethod(
        this, [this, message] { emit notified(message); }, Qt::QueuedConnection);
}

void input_link::post_report() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (input) input->run_report();
        },
        Qt::QueuedConnection);
}

}  // namespace vorlane
