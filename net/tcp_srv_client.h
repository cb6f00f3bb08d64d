#pragma once

#include <cstdint>

#include "net/socket_client.h"

namespace vorlane {

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

}  // namespace vorlane
