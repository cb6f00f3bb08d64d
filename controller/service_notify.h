#pragma once

#include <string>

namespace vorlane {

// What the service manager learns about the gateway when it runs as a notify-type service:
// readiness, the status text and that the main loop is alive. Without a service manager
// (no NOTIFY_SOCKET) every call does nothing.
class service_notifier {
  public:
    // Every status text, so that the service's status shows what the status line shows.
    void status(const std::string& text);
    // Both outputs listen and the input is open.
    void ready();
    // Called from the 1-second tick: a main loop that hangs stops calling, and the watchdog
    // restarts the service. Until the first readiness it also extends the start-up time, so
    // a gateway that keeps retrying its input is not killed for being slow to start.
    void alive();
    // The program is ending in order.
    void stopping();

  private:
    bool ready_sent = false;
};

}  // namespace vorlane
