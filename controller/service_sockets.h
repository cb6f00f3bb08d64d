#pragma once

#include <vector>

namespace vorlane {

// The listening sockets the service manager made for the program when it started it through
// its socket unit. The service manager keeps its own copies open, so a port stays the
// gateway's while the program restarts (a watchdog kill, an upgrade), and no other program can
// bind it in the meantime; the program keeps these copies for its whole run so that an output
// closed and opened again serves on the same socket. Started by hand or from the desktop, there
// are none and the outputs listen themselves.
class service_sockets {
  public:
    // Takes the sockets passed to this process; the variables that announced them are removed
    // from the environment, so that nothing the program starts takes them as well.
    service_sockets();
    ~service_sockets();
    service_sockets(const service_sockets&) = delete;
    service_sockets& operator=(const service_sockets&) = delete;

    // The passed socket that listens for TCP connections on `port`, or -1.
    int listener_for(int port) const;
    // The program was started through the socket unit.
    bool any() const { return !sockets.empty(); }

  private:
    std::vector<int> sockets;
};

}  // namespace vorlane
