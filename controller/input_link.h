#pragma once

#include <QObject>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/config_manager.h"
#include "controller/input_source.h"
#include "controller/status_reporter.h"
#include "stream/lan_copies.h"
#include "stream/nmea_manager.h"

namespace vorlane {

// The bridge to the receive thread: its notifications queued to this object's thread, the
// frames it captured drained into the stream manager, whether the input is open and whether it
// is idle, and the check of each junction box's Ethernet sender with its warnings.
class input_link : public QObject, public rx_target {
    Q_OBJECT
  public:
    using input_factory = std::function<std::unique_ptr<input_source>(rx_target&)>;

    input_link(const config_manager& config, nmea_manager& manager, status_reporter& reporter);

    // Makes the input, whose thread may report from then on.
    void attach(const input_factory& make_input);
    // Ends the receive thread and waits for it; release then destroys the input.
    void stop();
    void release() { input.reset(); }

    bool library_loaded() const { return loaded; }
    bool open_input();
    void close_input() { input->close_input(); }
    // Once a second while the input is open: reopens a LAN that failed while the other serves.
    void retry_lans() { input->retry_lans(); }
    // The settings' input formats and senders taken into the stream manager and the sender check;
    // answers the errors to log.
    std::vector<std::string> apply_formats();

    // Hands the waiting datagrams to the stream manager, at most datagrams_per_turn of them: a
    // flood must leave the event loop free for the 100 ms batches and the 1-second tick, so the
    // rest is left for a call queued behind them, and what the ring cannot hold meanwhile is
    // counted there as "ring full".
    void process_input();
    // A turn of a few milliseconds even when every datagram is full of sentences.
    static constexpr int datagrams_per_turn = 256;
    // Someone else sending as a junction box, a configured sender that stays silent, or a source
    // that sent two sentences under one line count.
    void report_senders(queue_clock::time_point now);
    // What the Configuration window shows of junction box `input`'s Ethernet sender.
    sender_view sender_seen(int box) const { return receivers.senders[lan_a].seen(box); }

    // The receive thread's notifications, delivered on this object's thread.
    void datagram_arrived();
    void went_idle() { input_idle = true; }
    void connected();
    void disconnected();

    // What the operator sees of one LAN for a junction box: the frames it brought since the input
    // opened, and whether it carries, that is brought one within the last lan_silence.
    struct lan_view {
        std::uint64_t frames = 0;
        bool carries = false;
    };
    static constexpr std::chrono::seconds lan_silence{lan_silence_seconds};
    lan_view lan_seen(int lan, int box, queue_clock::time_point now) const;
    // The LANs in use: 1, or 2 with `input_ip_b` set.
    int lans_in_use() const { return receivers.lans(); }

    bool is_open() const { return input_open; }
    bool is_idle() const { return input_idle; }
    // True once after traffic began on an idle input.
    bool take_new_traffic();
    int failures() const { return fail_count; }
    void reset_failures() { fail_count = 0; }
    std::uint64_t skipped_frames(std::size_t row, frame_skip why) const;

  signals:
    // One of the receive thread's notifications, in the order they were posted.
    void notified(rx_notification message);

  private:
    // rx_target, called by the receive thread: queued to this object's thread, never waiting.
    void post_notification(rx_notification message) override;
    void post_report() override;
    bool application_closing() const override { return closing; }
    void update_status(const std::string& text, bool write_log) override {
        reporter.update_status(text, write_log);
    }
    void add_input_failure() override { ++fail_count; }
    // Reports a LAN that fell silent while the other carries, once, and again once it carries.
    void report_lans(queue_clock::time_point now);

    const config_manager& config;
    nmea_manager& manager;
    status_reporter& reporter;
    // Which Ethernet address each junction box's datagrams must come from on each LAN, and the
    // datagrams awaiting their copy from the other LAN.
    lan_receivers receivers;
    struct lan_traffic {
        std::array<std::uint64_t, junction_box_count> frames{};
        std::array<std::optional<queue_clock::time_point>, junction_box_count> last_frame{};
        // Of either junction box.
        std::optional<queue_clock::time_point> newest_frame;
        bool reported_silent = false;
    };
    std::array<lan_traffic, lan_count> lans{};
    // When a line count conflict of each input was last reported.
    std::array<std::optional<queue_clock::time_point>, junction_box_count> conflict_reported{};
    std::unique_ptr<input_source> input;
    bool loaded = false;
    bool input_open = false;
    bool input_idle = true;
    bool new_traffic = false;
    // A call of process_input is queued for the datagrams that one turn left waiting.
    bool more_input_queued = false;
    // Both are also read or counted by the receive thread.
    std::atomic<bool> closing = false;
    std::atomic<int> fail_count = 0;
};

}  // namespace vorlane
