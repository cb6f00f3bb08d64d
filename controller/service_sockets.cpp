#include "controller/service_sockets.h"

#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstdint>

namespace vorlane {

service_sockets::service_sockets() {
    const int count = sd_listen_fds(1);
    for (int k = 0; k < count; ++k) sockets.push_back(SD_LISTEN_FDS_START + k);
}

service_sockets::~service_sockets() {
    for (const int socket : sockets) ::close(socket);
}

int service_sockets::listener_for(int port) const {
    if (port < 1 || port > 65535) return -1;
    for (const int socket : sockets)
        if (sd_is_socket_inet(socket, AF_UNSPEC, SOCK_STREAM, 1, static_cast<std::uint16_t>(port)) > 0)
            return socket;
    return -1;
}

}  // namespace vorlane
