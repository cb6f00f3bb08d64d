#pragma once

#include <QByteArray>
#include <cstdint>

#include "net/socket_client.h"

namespace vorlane {

class TWSocketServer;

// The client connection of an output server. Its owner keeps one batch in flight per client:
// ready is cleared when a batch is handed to send() and set again by data_sent.
class TTcpSrvClient : public TWSocketClient {
    Q_OBJECT
  public:
    TTcpSrvClient() = default;

    // The output number of the server, set when the connection is announced.
    std::int32_t output_index = -1;
    bool ready = true;
};

// Each display of an output is served at its own pace. A batch is due when some connected
// client has written its previous one, or when nobody is connected (the batch is then taken
// and dropped, so that the queue does not fill while nobody listens). While every connected
// client is still busy the batch waits in the output queue, where newer values replace older
// ones, so that a display which is slow on its own gets the newest values when it catches up.
bool batch_due(const TWSocketServer& server);

// Hands `batch` to every connected client that has written its previous one, and answers how
// many took it. A client still busy skips this batch: all it costs is this check.
int send_to_ready_clients(const TWSocketServer& server, const QByteArray& batch);

}  // namespace vorlane
