#include "tests/support/loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

namespace vorlane::test {

loopback_peer::loopback_peer(std::uint16_t port, int receive_buffer, const char* address) {
    descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) throw std::runtime_error("socket failed");
    if (receive_buffer > 0)
        ::setsockopt(descriptor, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &server.sin_addr);
    if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0 &&
        errno != EINPROGRESS)
        end_seen = true;
}

loopback_peer::~loopback_peer() {
    if (descriptor >= 0) ::close(descriptor);
}

bool loopback_peer::wait_connected(int timeout_ms) {
    if (end_seen) return false;
    pollfd wanted{descriptor, POLLOUT, 0};
    if (::poll(&wanted, 1, timeout_ms) != 1) return false;
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length);
    return error == 0;
}

void loopback_peer::read_available() {
    if (!reading || end_seen) return;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::recv(descriptor, chunk, sizeof chunk, 0);
        if (got > 0) {
            received_text.append(chunk, static_cast<std::size_t>(got));
        } else if (got == 0) {
            end_seen = true;
            return;
        } else {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                end_seen = true;
                end_errno = errno;
            }
            return;
        }
    }
}

std::size_t loopback_peer::send_some(std::string_view text) {
    const ssize_t sent = ::send(descriptor, text.data(), text.size(), MSG_NOSIGNAL);
    return sent > 0 ? static_cast<std::size_t>(sent) : 0;
}

void loopback_peer::close(bool reset) {
    if (reset) {
        const linger reset_on_close{1, 0};
        ::setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &reset_on_close, sizeof reset_on_close);
    }
    ::close(descriptor);
    descriptor = -1;
    end_seen = true;
}

void loopback_peer::shut_down_sending() {
    ::shutdown(descriptor, SHUT_WR);
}

udp_receiver::udp_receiver() {
    descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0) throw std::runtime_error("socket failed");
    // Room for a burst of batches between two reads.
    const int buffer = 4 << 20;
    ::setsockopt(descriptor, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("bind failed");
    port = ntohs(address.sin_port);
}

udp_receiver::~udp_receiver() {
    ::close(descriptor);
}

std::string udp_receiver::destination() const {
    return "127.0.0.1:" + std::to_string(port);
}

void udp_receiver::read_available() {
    char datagram[65536];
    for (ssize_t n; (n = ::recv(descriptor, datagram, sizeof datagram, 0)) >= 0;)
        datagrams.emplace_back(datagram, static_cast<std::size_t>(n));
}

}  // namespace vorlane::test
