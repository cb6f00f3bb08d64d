#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "capture/capture_channel.h"
#include "capture/capture_helper.h"

namespace vorlane::test {

// The capture helper's worker on a thread of the test process, at the far end of a channel made
// as the program makes it: the receive thread talks to it exactly as to the helper process,
// while the capture library it uses (the stand-in, with its script and record, or the system's)
// stays bound in the test. Made in the network namespace the capture is to run in. Outlives the
// receive thread that uses it.
class helper_thread {
  public:
    helper_thread() {
        if (!make_capture_channel(ends)) throw std::runtime_error("no socket pair for the capture channel");
        worker = std::thread([helper_end = ends[1]] { serve_capture_channel(helper_end); });
    }
    ~helper_thread() {
        // The worker sees the channel close, whether it waits for a request or for room to send.
        ::shutdown(ends[0], SHUT_RDWR);
        worker.join();
        ::close(ends[0]);
        ::close(ends[1]);
    }
    helper_thread(const helper_thread&) = delete;
    helper_thread& operator=(const helper_thread&) = delete;

    int channel() const { return ends[0]; }

  private:
    int ends[2] = {-1, -1};
    std::thread worker;
};

}  // namespace vorlane::test
