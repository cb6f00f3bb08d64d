#include "net/socket_client.h"

#include <QTcpSocket>

#include "net/handler_guard.h"

namespace vorlane {
namespace {

socket_state client_state(QAbstractSocket::SocketState socket_state_now) {
    switch (socket_state_now) {
        case QAbstractSocket::ConnectedState:
            return socket_state::connected;
        case QAbstractSocket::ClosingState:
            return socket_state::closing;
        default:
            // An accepted socket never looks up, connects, binds or listens again: what is left
            // is the unconnected state.
            return socket_state::closed;
    }
}

}  // namespace

void TWSocketClient::attach(QTcpSocket* connection) {
    socket = connection;
    socket->setParent(this);
    current_state = client_state(socket->state());
    connect(socket, &QAbstractSocket::stateChanged, this, &TWSocketClient::on_socket_state);
    connect(socket, &QIODevice::readyRead, this, &TWSocketClient::on_ready_read);
    connect(socket, &QIODevice::bytesWritten, this, &TWSocketClient::finish_send_if_drained);
}

bool TWSocketClient::send(QByteArrayView data) {
    if (current_state != socket_state::connected) return false;
    if (data.isEmpty()) {
        // Nothing reaches the network, so no bytesWritten will come: answer from the event loop
        // as a real send would, or an owner waiting for data_sent would wait for ever.
        send_pending = true;
        QMetaObject::invokeMethod(this, &TWSocketClient::finish_send_if_drained, Qt::QueuedConnection);
        return true;
    }
    if (socket->write(data.data(), data.size()) < 0) return false;
    send_pending = true;
    return true;
}

QByteArray TWSocketClient::receive() {
    return socket != nullptr ? socket->readAll() : QByteArray();
}

void TWSocketClient::close() {
    if (socket != nullptr) socket->abort();
}

void TWSocketClient::on_socket_state(QAbstractSocket::SocketState socket_state_now) {
    const socket_state new_state = client_state(socket_state_now);
    if (new_state == current_state) return;
    const socket_state old_state = current_state;
    current_state = new_state;
    if (auto error = run_handlers([&] { emit state_changed(this, old_state, new_state); }))
        report_background_error(*error);
}

void TWSocketClient::on_ready_read() {
    if (auto error = run_handlers([&] { emit data_available(this); })) report_background_error(*error);
    if (socket->isOpen()) socket->skip(socket->bytesAvailable());
}

void TWSocketClient::finish_send_if_drained() {
    if (!send_pending || current_state == socket_state::closed || socket->bytesToWrite() > 0) return;
    send_pending = false;
    if (auto error = run_handlers([&] { emit data_sent(this); })) report_background_error(*error);
}

void TWSocketClient::report_background_error(const QString& error) {
    bool can_abort = true;
    // A background-error handler that throws in turn leaves nobody to answer: the answer stands
    // as it was when it threw.
    run_handlers([&] { emit background_error(this, error, &can_abort); });
    if (can_abort) close();
}

}  // namespace vorlane
