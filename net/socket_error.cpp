#include "net/socket_error.h"

namespace vorlane {

socket_error::socket_error(QAbstractSocket::SocketError code, const QString& message)
    : std::runtime_error(message.toStdString()), error_code(code) {}

}  // namespace vorlane
