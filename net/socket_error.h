#pragma once

#include <QAbstractSocket>
#include <QString>
#include <stdexcept>

namespace vorlane {

// Thrown by TWSocketServer::listen when the server cannot start listening. what() is one line
// naming the address and port and the cause; code() tells the causes apart.
class socket_error : public std::runtime_error {
  public:
    socket_error(QAbstractSocket::SocketError code, const QString& message);

    QAbstractSocket::SocketError code() const { return error_code; }

  private:
    QAbstractSocket::SocketError error_code;
};

}  // namespace vorlane
