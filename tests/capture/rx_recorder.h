#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "capture/pcap_receive_thread.h"

namespace vorlane::test {

// Stands in for the main window: records what the receive thread tells it, in order, and runs
// report requests on its own "main" thread as the controller's event loop would.
// Events read "connected", "idle", "datagram", "disconnected", "status:<text>" (logged status)
// and "failure" (one more input failure).
class rx_recorder final : public rx_target {
  public:
    rx_recorder() : main_thread([this] { serve_reports(); }) {}
    ~rx_recorder() override {
        {
            const std::lock_guard guard(lock);
            ending = true;
        }
        changed.notify_all();
        main_thread.join();
    }

    // The thread whose reports are run; null once it is about to be deleted.
    void serve(TPCapReceiveThread* receive_thread) {
        const std::lock_guard guard(serving);
        thread = receive_thread;
    }

    // Knobs, set before the receive thread acts on them.
    void hold_reports(bool hold) {
        {
            const std::lock_guard guard(lock);
            holding = hold;
        }
        changed.notify_all();
    }
    void set_closing(bool closing) {
        const std::lock_guard guard(lock);
        application_is_closing = closing;
    }
    void throw_on(std::optional<rx_notification> message) {
        const std::lock_guard guard(lock);
        failing_message = message;
    }

    std::vector<std::string> events() const {
        const std::lock_guard guard(lock);
        return recorded;
    }
    std::size_t report_requests() const {
        const std::lock_guard guard(lock);
        return requests;
    }
    std::size_t count(const std::string& event) const {
        const std::lock_guard guard(lock);
        return static_cast<std::size_t>(std::count(recorded.begin(), recorded.end(), event));
    }
    // Waits (at most a few seconds) until the recorded events satisfy the predicate.
    bool wait_until(const std::function<bool(const std::vector<std::string>&)>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) const {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, limit, [&] { return done(recorded); });
    }
    bool wait_for_count(const std::string& event, std::size_t n) const {
        return wait_until([&](const std::vector<std::string>& all) {
            return static_cast<std::size_t>(std::count(all.begin(), all.end(), event)) >= n;
        });
    }
    bool wait_for_requests(std::size_t n) const {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(10), [&] { return requests >= n; });
    }

    void post_notification(rx_notification message) override {
        {
            const std::lock_guard guard(lock);
            if (failing_message == message) throw std::runtime_error("scripted post failure");
        }
        switch (message) {
            case WM_RX_DATAGRAM:
                record("datagram");
                break;
            case WM_RX_IDLE:
                record("idle");
                break;
            case WM_RX_CONNECTED:
                record("connected");
                break;
            case WM_RX_DISCONNECTED:
                record("disconnected");
                break;
        }
    }
    void post_report() override {
        {
            const std::lock_guard guard(lock);
            ++requests;
            ++waiting_requests;
        }
        changed.notify_all();
    }
    bool application_closing() const override {
        const std::lock_guard guard(lock);
        return application_is_closing;
    }
    void update_status(const std::string& text, bool write_log) override {
        record(write_log ? "status:" + text : "shown:" + text);
    }
    void add_input_failure() override { record("failure"); }

  private:
    void record(const std::string& event) {
        {
            const std::lock_guard guard(lock);
            recorded.push_back(event);
        }
        changed.notify_all();
    }

    void serve_reports() {
        std::unique_lock guard(lock);
        for (;;) {
            changed.wait(guard, [this] { return ending || (waiting_requests > 0 && !holding); });
            if (ending) return;
            --waiting_requests;
            guard.unlock();
            {
                const std::lock_guard serve_guard(serving);
                if (thread != nullptr) thread->run_report();
            }
            guard.lock();
        }
    }

    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::vector<std::string> recorded;
    std::size_t requests = 0;
    std::size_t waiting_requests = 0;
    bool holding = false;
    bool ending = false;
    bool application_is_closing = false;
    std::optional<rx_notification> failing_message;

    std::mutex serving;
    TPCapReceiveThread* thread = nullptr;

    std::thread main_thread;
};

}  // namespace vorlane::test
