#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vorlane {

// Builds IPv4 + UDP packets by hand and sends them through a raw socket. Datagrams sent through
// an ordinary socket over the loopback adapter are captured before the checksum is filled in
// (checksum offload); a packet built here carries its final checksum, correct or, on purpose,
// wrong or absent.

using ipv4_address = std::array<std::uint8_t, 4>;

enum class udp_checksum_kind { correct, wrong, zero };

struct udp_packet_spec {
    ipv4_address source{};
    ipv4_address destination{};
    std::uint16_t source_port = 0;
    std::uint16_t destination_port = 0;
    std::uint8_t time_to_live = 64;
    std::uint16_t identification = 0;
    udp_checksum_kind checksum = udp_checksum_kind::correct;
};

// "a.b.c.d" with four numbers 0 to 255; false for anything else.
bool parse_ipv4_address(const std::string& text, ipv4_address& address);

// A 20-byte IPv4 header (no options, do not fragment, header checksum set), the UDP header and
// the payload. Throws std::length_error when the payload does not fit one IPv4 packet.
std::vector<std::uint8_t> build_udp_packet(const udp_packet_spec& spec,
                                           std::span<const std::uint8_t> payload);

// The packet behind an Ethernet II header with zero addresses: a frame as captured on loopback.
std::vector<std::uint8_t> ethernet_frame(std::span<const std::uint8_t> ip_packet);

// A raw IPv4 socket that sends packets with their own header (needs CAP_NET_RAW).
class raw_udp_socket {
  public:
    raw_udp_socket();
    ~raw_udp_socket();
    raw_udp_socket(const raw_udp_socket&) = delete;
    raw_udp_socket& operator=(const raw_udp_socket&) = delete;

    bool is_open() const { return descriptor >= 0; }
    // Why the socket could not be opened or the last send failed.
    const std::string& error() const { return last_error; }
    // Multicast packets leave by the adapter `name` instead of by the routing table, which
    // would send them by the default route.
    bool set_multicast_interface(const std::string& name);
    // Sends one packet built by build_udp_packet to its destination address.
    bool send(std::span<const std::uint8_t> ip_packet);

  private:
    int descriptor = -1;
    std::string last_error;
};

}  // namespace vorlane
