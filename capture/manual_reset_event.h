#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vorlane {

// An event that stays signalled until it is reset, so a start request made while the receive
// thread is busy is still there when it comes back to wait.
class manual_reset_event {
  public:
    void set() {
        {
            const std::lock_guard guard(lock);
            signalled = true;
        }
        changed.notify_all();
    }
    void reset() {
        const std::lock_guard guard(lock);
        signalled = false;
    }
    // True when the event is (or becomes) signalled within the time.
    bool wait_for(std::chrono::milliseconds timeout) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, timeout, [this] { return signalled; });
    }

  private:
    std::mutex lock;
    std::condition_variable changed;
    bool signalled = false;
};

}  // namespace vorlane
