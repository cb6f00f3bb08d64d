#pragma once

namespace vorlane {

// The state of a listening server or of one client connection. A server is closed or
// listening; a client is connected, closing (the peer has gone and what was queued is still
// being flushed) or closed. Closed is final for a client.
enum class socket_state { closed, listening, connected, closing };

}  // namespace vorlane
