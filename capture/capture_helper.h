#pragma once

#include <sys/types.h>

namespace vorlane {

// The capture helper: the only process of the program that holds the right to capture. It is
// forked at the very start of the program, before the toolkit or any library has read the
// environment or a file, and the program then gives up every capability of its own. The helper
// runs nothing but the plain capture code below; Qt's libraries are mapped into it, inherited from
// the fork, but never called. It keeps CAP_NET_RAW alone and binds the capture library at run
// time, takes requests only from the channel it was started with, and ends when the program
// ends or the channel closes.
//
// It is two processes: a supervisor that does nothing but start a worker and wait for it, and the
// worker that serves the channel. A worker that dies (a fault in the capture library, a kill) is
// reported on the channel and replaced, so the receive thread's next attempt finds a helper
// again, although the program itself could no longer start one.
class capture_helper {
  public:
    // Starts the helper and returns in the program only; the helper's processes never return
    // from it. A helper that could not be started leaves running() false.
    static capture_helper start();

    capture_helper(capture_helper&& other) noexcept;
    capture_helper& operator=(capture_helper&&) = delete;
    capture_helper(const capture_helper&) = delete;
    capture_helper& operator=(const capture_helper&) = delete;
    // Closes the channel and ends the helper, waiting for it.
    ~capture_helper();

    bool running() const { return pid > 0; }
    // The program's end of the channel, for the receive thread.
    int channel() const { return own_end; }

  private:
    capture_helper() = default;
    capture_helper(int end, pid_t helper) : own_end(end), pid(helper) {}

    int own_end = -1;
    pid_t pid = -1;
};

// The worker's part: serves open and close requests on `channel` with the capture library as
// bound in this process, until the channel closes. It trusts nothing but the shape of a request:
// the adapter is looked up among the machine's adapters by the address asked for, the filter is
// compiled by the capture library, and a request of any other shape is refused and answered so.
void serve_capture_channel(int channel);

}  // namespace vorlane
