#include "net/socket_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "net/handler_guard.h"
#include "net/socket_error.h"

namespace vorlane {

namespace {

// A display that loses power or its cable never answers again, and the kernel alone would keep
// retrying for a quarter of an hour while the owner's batch for that port stays unsent. Data
// left unacknowledged for dead_peer_ms ends the connection; keep-alive probes find a dead peer
// the same way when nothing is being sent.
constexpr int dead_peer_ms = 20000;
constexpr int keepalive_idle_s = 10;
constexpr int keepalive_interval_s = 5;
constexpr int keepalive_probes = 2;
// The socket counts as writable only while fewer unsent bytes than this wait in the kernel, so
// a slow reader's data waits in the owner's queue, where newer values replace older ones,
// instead of in a send buffer that grows to megabytes.
constexpr int unsent_limit = 4096;

void set_display_connection_options(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &dead_peer_ms, sizeof dead_peer_ms);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &keepalive_idle_s, sizeof keepalive_idle_s);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &keepalive_interval_s, sizeof keepalive_interval_s);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &keepalive_probes, sizeof keepalive_probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &unsent_limit, sizeof unsent_limit);
}

}  // namespace

TWSocketServer::TWSocketServer(QObject* parent)
    : QObject(parent), listener(new QTcpServer(this)), accept_retry(new QTimer(this)) {
    accept_retry->setSingleShot(true);
    accept_retry->setInterval(accept_retry_ms);
    connect(listener, &QTcpServer::newConnection, this, &TWSocketServer::accept_pending);
    connect(listener, &QTcpServer::acceptError, this, &TWSocketServer::on_accept_error);
    connect(accept_retry, &QTimer::timeout, this, [this] {
        if (current_state == socket_state::listening) listener->resumeAccepting();
    });
}

void TWSocketServer::listen() {
    const QString where = listen_address + QLatin1Char(':') + QString::number(listen_port);
    const auto failure = [&where](QAbstractSocket::SocketError code, const QString& cause) {
        return socket_error(code, QStringLiteral("listen on %1: %2").arg(where, cause));
    };
    if (current_state != socket_state::closed)
        throw failure(QAbstractSocket::OperationError, QStringLiteral("the server is already listening"));
    QHostAddress host;
    if (!host.setAddress(listen_address))
        throw failure(QAbstractSocket::SocketAddressNotAvailableError, QStringLiteral("not an IP address"));
    if (listen_port < 0 || listen_port > 65535)
        throw failure(QAbstractSocket::UnsupportedSocketOperationError, QStringLiteral("port out of range"));
    listener->setListenBacklogSize(listen_backlog);
    if (!listener->listen(host, static_cast<quint16>(listen_port)))
        throw failure(listener->serverError(), listener->errorString());
    set_state(socket_state::listening);
}

void TWSocketServer::close() {
    accept_retry->stop();
    if (current_state == socket_state::closed) return;
    listener->close();
    set_state(socket_state::closed);
}

quint16 TWSocketServer::listening_port() const {
    return current_state == socket_state::listening ? listener->serverPort() : quint16{0};
}

TWSocketClient* TWSocketServer::client(int index) const {
    return index >= 0 && index < clients.size() ? clients[index] : nullptr;
}

void TWSocketServer::accept_pending() {
    while (QTcpSocket* connection = listener->nextPendingConnection()) accept_connection(connection);
}

void TWSocketServer::accept_connection(QTcpSocket* connection) {
    // Linger on with a time of 0: closing a connection resets it at once, dropping what is
    // still queued, instead of leaving it to drain towards a peer that may never read.
    const int fd = static_cast<int>(connection->socketDescriptor());
    const linger reset_on_close{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset_on_close, sizeof reset_on_close);
    set_display_connection_options(fd);

    TWSocketClient* client = make_client().release();
    client->setParent(this);
    client->attach(connection);
    clients.append(client);
    connect(client, &TWSocketClient::state_changed, this,
            [this](TWSocketClient* changed, socket_state, socket_state new_state) {
                if (new_state == socket_state::closed) remove_later(changed);
            });
    // The banner is queued before the announcement so that it is the first line on the wire,
    // whatever the handlers send.
    if (!banner_text.isEmpty()) client->send(banner_text + "\r\n");
    if (auto error = run_handlers([&] { emit client_connected(this, client); }))
        report_background_error(*error);
}

void TWSocketServer::remove_later(TWSocketClient* client) {
    // Not at once: the client may be closing inside its own notification, or its owner may be
    // closing one client after the other while it walks the list by index.
    QMetaObject::invokeMethod(
        this,
        [this, client = QPointer<TWSocketClient>(client)] {
            if (client) remove_client(client);
        },
        Qt::QueuedConnection);
}

void TWSocketServer::remove_client(TWSocketClient* client) {
    const qsizetype index = clients.indexOf(client);
    if (index < 0) return;
    clients.removeAt(index);
    if (auto error = run_handlers([&] { emit client_disconnected(this, client); }))
        report_background_error(*error);
    client->deleteLater();
}

void TWSocketServer::on_accept_error(QAbstractSocket::SocketError) {
    // The listener has paused accepting. Left so, the port would keep taking connections into
    // its backlog that nobody ever serves.
    if (!report_background_error(QStringLiteral("accept failed: ") + listener->errorString()))
        accept_retry->start();
}

bool TWSocketServer::report_background_error(const QString& error) {
    bool can_abort = true;
    // A background-error handler that throws in turn leaves nobody to answer: the answer stands
    // as it was when it threw. The same holds for a state handler that throws while closing.
    run_handlers([&] { emit background_error(this, error, &can_abort); });
    if (can_abort) run_handlers([&] { close(); });
    return can_abort;
}

void TWSocketServer::set_state(socket_state new_state) {
    const socket_state old_state = current_state;
    current_state = new_state;
    emit state_changed(this, old_state, new_state);
}

}  // namespace vorlane
