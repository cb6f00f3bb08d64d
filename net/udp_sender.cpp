#include "net/udp_sender.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace vorlane {

bool parse_udp_destination(std::string_view text, sockaddr_in& destination) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return false;
    const std::string address(text.substr(0, colon));
    const std::string_view port_text = text.substr(colon + 1);
    unsigned port = 0;
    const auto [end, error] = std::from_chars(port_text.data(), port_text.data() + port_text.size(), port);
    if (port_text.empty() || error != std::errc() || end != port_text.data() + port_text.size() ||
        port == 0 || port > 65535)
        return false;
    sockaddr_in parsed{};
    parsed.sin_family = AF_INET;
    parsed.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &parsed.sin_addr) != 1 || parsed.sin_addr.s_addr == INADDR_ANY)
        return false;
    destination = parsed;
    return true;
}

udp_sender::~udp_sender() {
    close();
}

void udp_sender::configure(const std::string& local, const sockaddr_in& destination, int ttl) {
    close();
    local_address.s_addr = INADDR_ANY;
    local_valid = inet_pton(AF_INET, local.c_str(), &local_address) == 1;
    target = destination;
    hop_limit = ttl;
}

void udp_sender::close() {
    if (descriptor >= 0) ::close(descriptor);
    descriptor = -1;
}

// Bound to the output adapter's address, the socket also leaves by that adapter for multicast
// and for the all-ones broadcast, which the routing table alone would send by the default route.
int udp_sender::open_socket() {
    // An output address that names no adapter sends nothing rather than leave by any adapter.
    if (!local_valid) return EADDRNOTAVAIL;
    descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) return errno;
    const int on = 1;
    const unsigned char ttl = static_cast<unsigned char>(hop_limit);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    source.sin_addr = local_address;
    const bool ready =
        setsockopt(descriptor, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 &&
        setsockopt(descriptor, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0 &&
        (local_address.s_addr == INADDR_ANY ||
         setsockopt(descriptor, IPPROTO_IP, IP_MULTICAST_IF, &local_address, sizeof local_address) == 0) &&
        bind(descriptor, reinterpret_cast<const sockaddr*>(&source), sizeof source) == 0;
    if (ready) return 0;
    const int error = errno;
    close();
    return error;
}

int udp_sender::send(std::string_view datagram) {
    if (descriptor < 0)
        if (const int error = open_socket(); error != 0) return error;
    const ssize_t sent = ::sendto(descriptor, datagram.data(), datagram.size(), MSG_DONTWAIT,
                                  reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (sent == static_cast<ssize_t>(datagram.size())) return 0;
    const int error = sent < 0 ? errno : EMSGSIZE;
    // Made afresh next time: an adapter that lost its address leaves the bound socket useless.
    if (error != EAGAIN && error != ENOBUFS) close();
    return error;
}

}  // namespace vorlane
