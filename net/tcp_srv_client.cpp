#include "net/tcp_srv_client.h"

#include "net/socket_server.h"

namespace vorlane {

namespace {

// The server makes its clients of the class it was given; a client of another class is none of
// an output's.
TTcpSrvClient* connected_client(const TWSocketServer& server, int index) {
    auto* client = qobject_cast<TTcpSrvClient*>(server.client(index));
    return client != nullptr && client->state() == socket_state::connected ? client : nullptr;
}

}  // namespace

bool batch_due(const TWSocketServer& server) {
    bool anyone_connected = false;
    for (int i = 0; i < server.client_count(); ++i) {
        if (const TTcpSrvClient* client = connected_client(server, i)) {
            if (client->ready) return true;
            anyone_connected = true;
        }
    }
    return !anyone_connected;
}

int send_to_ready_clients(const TWSocketServer& server, const QByteArray& batch) {
    int sent = 0;
    for (int i = 0; i < server.client_count(); ++i) {
        TTcpSrvClient* client = connected_client(server, i);
        if (client == nullptr || !client->ready) continue;
        client->ready = false;
        client->send(batch);
        ++sent;
    }
    return sent;
}

}  // namespace vorlane
