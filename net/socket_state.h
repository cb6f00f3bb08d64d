#pragma once

namespace vorlane {

// The state of a listening server or of one client connection. A server is closed or
// listening; a client is connected or closed, and closed is final for a client.
enum class socket_state { closed, listening, connected };

}  // namespace vorlane
