#pragma once

#include <netinet/in.h>

#include <string>
#include <string_view>

namespace vorlane {

// "239.192.0.4:60004": an IPv4 address other than 0.0.0.0 and a port 1 to 65535. False,
// leaving `destination` alone, for anything else.
bool parse_udp_destination(std::string_view text, sockaddr_in& destination);

// The socket one output sends its datagrams through. A send never waits: a datagram the
// system cannot take at once is not sent, and the caller counts it. The socket is made at the
// first send after configure or after a failure, so that an adapter that is down at start (or
// an address that it has not got yet) is tried again with the next datagram.
class udp_sender {
  public:
    udp_sender() = default;
    ~udp_sender();
    udp_sender(const udp_sender&) = delete;
    udp_sender& operator=(const udp_sender&) = delete;

    // Datagrams from the adapter with the IPv4 address `local` ("0.0.0.0": whichever adapter
    // the routing table picks) to `destination`; multicast leaves by that adapter with hop
    // limit `ttl`. Closes the socket of any earlier setting.
    void configure(const std::string& local, const sockaddr_in& destination, int ttl);
    void close();
    // 0 when the datagram went out, else the system's error number.
    int send(std::string_view datagram);

  private:
    int open_socket();

    int descriptor = -1;
    in_addr local_address{};
    bool local_valid = false;
    sockaddr_in target{};
    int hop_limit = 1;
};

}  // namespace vorlane
