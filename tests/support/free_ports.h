#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>

namespace vorlane::test {

// A TCP port on 127.0.0.1 that is free together with the next one.
inline int free_port_pair() {
    auto bindable = [](int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        return ok ? ntohs(address.sin_port) : 0;
    };
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int port = bindable(0);
        if (port > 0 && port < 65535 && bindable(port + 1) != 0) return port;
    }
    throw std::runtime_error("no free pair of ports on 127.0.0.1");
}

}  // namespace vorlane::test
