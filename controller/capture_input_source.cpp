#include <array>
#include <memory>
#include <mutex>

#include "base/networks.h"
#include "capture/capture_api.h"
#include "controller/data_path_supervisor.h"
#include "controller/input_source.h"
#include "input/capture_input.h"

namespace vorlane {

namespace {

class capture_input_source;

// What one LAN's receive thread tells the controller goes through here, so that the controller
// sees one input: connected while either LAN is, idle only while every connected LAN is, and a
// failure to open LAN B left to that LAN's own ladder while LAN A serves.
class lan_target final : public rx_target {
  public:
    lan_target(capture_input_source& owner, int number) : input(owner), lan(number) {}

    void post_notification(rx_notification message) override;
    void post_report() override;
    bool application_closing() const override;
    void update_status(const std::string& text, bool write_log) override;
    void add_input_failure() override;

  private:
    capture_input_source& input;
    const int lan;
};

class capture_input_source final : public input_source {
  public:
    capture_input_source(rx_target& reports_to, const std::array<int, lan_count>& helper_channels)
        : target(reports_to),
          loaded(load_capture_library()),
          lan_targets{lan_target(*this, lan_a), lan_target(*this, lan_b)},
          threads{std::make_unique<TPCapReceiveThread>(lan_targets[lan_a], helper_channels[lan_a]),
                  std::make_unique<TPCapReceiveThread>(lan_targets[lan_b], helper_channels[lan_b])} {}

    ~capture_input_source() override {
        stop_thread();
        if (loaded) unload_capture_library();
    }

    bool library_loaded() const override { return loaded; }
    bool open_input(const config_manager& config) override {
        {
            const std::lock_guard guard(state_lock);
            lans = {};
        }
        two_lans = !config.input_ip_b.empty();
        retry_countdown.fill(-1);
        for (int lan = 0; lan < lan_count; ++lan) requests[lan] = build_capture_request(config, lan);
        if (two_lans) vorlane::open_input(threads[lan_b].get(), config, lan_targets[lan_b], lan_b);
        return vorlane::open_input(threads[lan_a].get(), config, target, lan_a);
    }
    void close_input() override {
        for (int lan = 0; lan < lan_count; ++lan)
            if (lan == lan_a || two_lans) vorlane::close_input(threads[lan].get(), target);
    }
    // The LANs in turn, so that a flood on one does not hold back the other's frames.
    bool take_datagram(rx_datagram& record) override {
        for (int turn = 0; turn < lan_count; ++turn) {
            const int lan = next_lan;
            next_lan = (next_lan + 1) % lan_count;
            if (threads[lan] && threads[lan]->take_datagram(&record)) {
                record.lan = lan;
                return true;
            }
        }
        return false;
    }
    std::uint64_t skipped_frames(std::size_t row, frame_skip why) const override {
        std::uint64_t total = 0;
        for (const auto& thread : threads)
            if (thread) total += thread->skipped_frames(row, why);
        return total;
    }
    void run_report() override {
        for (const auto& thread : threads)
            if (thread) thread->run_report();
    }
    void stop_thread() override {
        for (auto& thread : threads) {
            if (!thread) continue;
            thread->terminate();
            thread->wait_for_end();
            thread.reset();
        }
    }
    // A LAN whose capture failed or ended while the other serves is opened again on the ladder
    // that the controller keeps for the whole input, counted for that LAN alone.
    void retry_lans() override {
        for (int lan = 0; lan < lan_count; ++lan) {
            lan_state state;
            {
                const std::lock_guard guard(state_lock);
                state = lans[lan];
            }
            int& countdown = retry_countdown[lan];
            if (!two_lans || !state.down || !threads[lan]) {
                countdown = -1;
                continue;
            }
            if (countdown < 0) countdown = data_path_supervisor::retry_delay(state.failures);
            if (countdown > 0) --countdown;
            if (countdown != 0) continue;
            countdown = -1;
            {
                const std::lock_guard guard(state_lock);
                lans[lan].down = false;
            }
            threads[lan]->start_capture(requests[lan]);
        }
    }

    // Receive threads: one LAN's notification, passed on as the whole input's.
    void notify(int lan, rx_notification message) {
        const std::lock_guard guard(state_lock);
        lan_state& state = lans[lan];
        const auto any_connected = [&] { return lans[lan_a].connected || lans[lan_b].connected; };
        switch (message) {
            case WM_RX_DATAGRAM:
                state.idle = false;
                break;
            case WM_RX_IDLE:
                state.idle = true;
                for (const lan_state& other : lans)
                    if (other.connected && !other.idle) return;
                break;
            case WM_RX_CONNECTED: {
                const bool first = !any_connected();
                state = {true, true, false, 0};
                if (!first) return;
                break;
            }
            case WM_RX_DISCONNECTED:
                state.connected = false;
                state.idle = true;
                if (any_connected()) {
                    state.down = true;
                    return;
                }
                break;
        }
        target.post_notification(message);
    }
    // Main thread: a failed attempt to open `lan`. LAN A's counts for the whole input, as with one
    // LAN; LAN B's only for its own ladder, which runs while LAN A serves.
    void failed(int lan) {
        {
            const std::lock_guard guard(state_lock);
            ++lans[lan].failures;
            lans[lan].down = true;
        }
        if (lan == lan_a) target.add_input_failure();
    }

    rx_target& target;

  private:
    struct lan_state {
        bool connected = false;
        bool idle = true;
        // Its capture failed or ended by itself and waits for its ladder.
        bool down = false;
        int failures = 0;
    };

    bool loaded;
    std::array<lan_target, lan_count> lan_targets;
    std::array<std::unique_ptr<TPCapReceiveThread>, lan_count> threads;
    // Written by both receive threads and the main thread.
    std::mutex state_lock;
    std::array<lan_state, lan_count> lans{};
    // Main thread only.
    bool two_lans = false;
    std::array<capture_request, lan_count> requests{};
    std::array<int, lan_count> retry_countdown{-1, -1};
    int next_lan = lan_a;
};

void lan_target::post_notification(rx_notification message) {
    input.notify(lan, message);
}

void lan_target::post_report() {
    input.target.post_report();
}

bool lan_target::application_closing() const {
    return input.target.application_closing();
}

void lan_target::update_status(const std::string& text, bool write_log) {
    input.target.update_status(text, write_log);
}

void lan_target::add_input_failure() {
    input.failed(lan);
}

}  // namespace

std::unique_ptr<input_source> make_capture_input(rx_target& target,
                                                 const std::array<int, lan_count>& helper_channels) {
    return std::make_unique<capture_input_source>(target, helper_channels);
}

}  // namespace vorlane
