#include "tools/raw_udp.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "capture/udp_checksum.h"

namespace vorlane {

namespace {

constexpr std::size_t ipv4_header_length = 20;
constexpr std::size_t udp_header_length = 8;
constexpr std::size_t max_ipv4_packet = 65535;
constexpr std::uint8_t protocol_udp = 17;

void put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 8);
    at[1] = static_cast<std::uint8_t>(value);
}

// A checksum in the host-order load convention of checksum_add, stored back the same way.
void put_checksum(std::uint8_t* at, std::uint16_t checksum) {
    std::memcpy(at, &checksum, 2);
}

std::uint16_t udp_checksum(const udp_packet_spec& spec, const std::uint8_t* segment, std::size_t length) {
    std::uint8_t pseudo_header[12] = {};
    std::memcpy(pseudo_header, spec.source.data(), 4);
    std::memcpy(pseudo_header + 4, spec.destination.data(), 4);
    pseudo_header[9] = protocol_udp;
    put16(pseudo_header + 10, static_cast<std::uint16_t>(length));
    const std::uint16_t checksum =
        checksum_field(checksum_add(checksum_add(0, pseudo_header, sizeof pseudo_header), segment, length));
    // A computed zero goes out as all ones: zero in the field means "no checksum".
    return checksum == 0 ? 0xFFFF : checksum;
}

}  // namespace

bool parse_ipv4_address(const std::string& text, ipv4_address& address) {
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (std::size_t k = 0; k < 4; ++k) {
        if (k > 0) {
            if (at == end || *at != '.') return false;
            ++at;
        }
        unsigned value = 256;
        const auto [next, failure] = std::from_chars(at, end, value);
        if (failure != std::errc{} || next == at || value > 255) return false;
        address[k] = static_cast<std::uint8_t>(value);
        at = next;
    }
    return at == end;
}

std::vector<std::uint8_t> build_udp_packet(const udp_packet_spec& spec,
                                           std::span<const std::uint8_t> payload) {
    const std::size_t udp_length = udp_header_length + payload.size();
    const std::size_t total_length = ipv4_header_length + udp_length;
    if (total_length > max_ipv4_packet) throw std::length_error("UDP payload too long for one IPv4 packet");

    std::vector<std::uint8_t> packet(total_length);
    std::uint8_t* ip = packet.data();
    ip[0] = 0x45;
    put16(ip + 2, static_cast<std::uint16_t>(total_length));
    put16(ip + 4, spec.identification);
    ip[6] = 0x40;
    ip[8] = spec.time_to_live;
    ip[9] = protocol_udp;
    std::memcpy(ip + 12, spec.source.data(), 4);
    std::memcpy(ip + 16, spec.destination.data(), 4);
    put_checksum(ip + 10, checksum_field(checksum_add(0, ip, ipv4_header_length)));

    std::uint8_t* udp = ip + ipv4_header_length;
    put16(udp, spec.source_port);
    put16(udp + 2, spec.destination_port);
    put16(udp + 4, static_cast<std::uint16_t>(udp_length));
    if (!payload.empty()) std::memcpy(udp + udp_header_length, payload.data(), payload.size());
    if (spec.checksum != udp_checksum_kind::zero) {
        put_checksum(udp + 6, udp_checksum(spec, udp, udp_length));
        // One bit off in the last byte: a value one or two away from the right one is never
        // equivalent to it, and it is never zero, which would mean "no checksum".
        if (spec.checksum == udp_checksum_kind::wrong) udp[7] ^= (udp[6] == 0 && udp[7] == 1) ? 2 : 1;
    }
    return packet;
}

std::vector<std::uint8_t> ethernet_frame(std::span<const std::uint8_t> ip_packet) {
    std::vector<std::uint8_t> frame(14 + ip_packet.size());
    frame[12] = 0x08;  // EtherType IPv4
    std::memcpy(frame.data() + 14, ip_packet.data(), ip_packet.size());
    return frame;
}

raw_udp_socket::raw_udp_socket() {
    // IPPROTO_RAW implies that every packet carries its own IPv4 header.
    descriptor = ::socket(AF_INET, SOCK_RAW, IPPROTO_RAW);
    if (descriptor < 0) last_error = std::string("raw socket: ") + std::strerror(errno);
}

raw_udp_socket::~raw_udp_socket() {
    if (descriptor >= 0) ::close(descriptor);
}

bool raw_udp_socket::set_multicast_interface(const std::string& name) {
    ip_mreqn request{};
    request.imr_ifindex = static_cast<int>(::if_nametoindex(name.c_str()));
    if (request.imr_ifindex == 0) {
        last_error = "no adapter '" + name + "'";
        return false;
    }
    if (::setsockopt(descriptor, IPPROTO_IP, IP_MULTICAST_IF, &request, sizeof request) == 0) return true;
    last_error = std::string("IP_MULTICAST_IF: ") + std::strerror(errno);
    return false;
}

bool raw_udp_socket::send(std::span<const std::uint8_t> ip_packet) {
    if (descriptor < 0) return false;
    if (ip_packet.size() < ipv4_header_length) {
        last_error = "packet shorter than an IPv4 header";
        return false;
    }
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    std::memcpy(&destination.sin_addr, ip_packet.data() + 16, 4);
    const ssize_t sent = ::sendto(descriptor, ip_packet.data(), ip_packet.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    if (sent == static_cast<ssize_t>(ip_packet.size())) return true;
    last_error =
        sent < 0 ? std::string("sendto: ") + std::strerror(errno) : std::string("sendto: short write");
    return false;
}

}  // namespace vorlane
