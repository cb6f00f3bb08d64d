#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::test {

// A TCP client (of 127.0.0.1 unless told another address) with a plain non-blocking socket, so that a test
// decides exactly when it reads (a Qt socket would read whenever the event loop runs).
class loopback_peer {
  public:
    // Starts connecting; receive_buffer > 0 makes the kernel's receive buffer that small.
    explicit loopback_peer(std::uint16_t port, int receive_buffer = 0, const char* address = "127.0.0.1");
    ~loopback_peer();
    loopback_peer(const loopback_peer&) = delete;
    loopback_peer& operator=(const loopback_peer&) = delete;

    // Waits at most timeout_ms for the connection; false when refused or still pending.
    bool wait_connected(int timeout_ms);
    // Appends whatever has arrived to received(), while reading is on.
    void read_available();
    // Sends as much of text as the socket takes now; returns how much that was.
    std::size_t send_some(std::string_view text);
    // Closes the socket, with a reset instead of an orderly close when reset is true.
    void close(bool reset);
    // Sends FIN and goes on reading, as display software that has nothing to say does.
    void shut_down_sending();

    const std::string& received() const { return received_text; }
    bool ended() const { return end_seen; }
    // 0 for an orderly end, else the error that ended the connection (ECONNRESET).
    int end_error() const { return end_errno; }

    bool reading = true;

  private:
    int descriptor = -1;
    std::string received_text;
    bool end_seen = false;
    int end_errno = 0;
};

// A UDP socket on 127.0.0.1, at a port the system chose, read only when a test says so.
class udp_receiver {
  public:
    udp_receiver();
    ~udp_receiver();
    udp_receiver(const udp_receiver&) = delete;
    udp_receiver& operator=(const udp_receiver&) = delete;

    // "127.0.0.1:port", as a UDP output's setting names it.
    std::string destination() const;
    // Appends each datagram that has arrived to datagrams.
    void read_available();

    std::vector<std::string> datagrams;

  private:
    int descriptor = -1;
    std::uint16_t port = 0;
};

}  // namespace vorlane::test
