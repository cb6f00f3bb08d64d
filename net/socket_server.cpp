#include "net/socket_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHostAddress>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "net/handler_guard.h"
#include "net/socket_error.h"

namespace vorlane {

namespace {

// A display that loses power or its cable never answers again, and the kernel alone would keep
// retrying for a quarter of an hour. While data waits for a client, the server's own watch lets
// it go once it has acknowledged nothing for the not-reading limit (a display that vanished and
// one that hangs with its connection open look alike there): it looks every reading_watch_ms,
// announces the drop and resets the connection, so that a display program that merely hung
// learns at once. The kernel gives up on unacknowledged data dead_peer_margin_ms after that
// limit, late enough for the watch to act first, and keep-alive probes find a dead peer when
// nothing is being sent: 10 s idle, then 3 probes 4 s apart, 22 s in all.
constexpr int reading_watch_ms = 500;
constexpr int dead_peer_margin_ms = 2000;
constexpr int keepalive_idle_s = 10;
constexpr int keepalive_interval_s = 4;
constexpr int keepalive_probes = 3;
// The socket counts as writable only while fewer unsent bytes than this wait in the kernel, so
// a slow reader's data waits in the owner's queue, where newer values replace older ones,
// instead of in a send buffer that grows to megabytes.
constexpr int unsent_limit = 4096;

void set_display_connection_options(int fd, int not_reading_limit_ms) {
    const int on = 1;
    const int dead_peer_ms = not_reading_limit_ms + dead_peer_margin_ms;
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &dead_peer_ms, sizeof dead_peer_ms);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &keepalive_idle_s, sizeof keepalive_idle_s);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &keepalive_interval_s, sizeof keepalive_interval_s);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &keepalive_probes, sizeof keepalive_probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &unsent_limit, sizeof unsent_limit);
}

// The cause of a failed socket call as the socket layer names it.
QAbstractSocket::SocketError socket_error_code(int error) {
    switch (error) {
        case EADDRINUSE:
            return QAbstractSocket::AddressInUseError;
        case EADDRNOTAVAIL:
            return QAbstractSocket::SocketAddressNotAvailableError;
        case EACCES:
        case EPERM:
            return QAbstractSocket::SocketAccessError;
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            return QAbstractSocket::SocketResourceError;
        default:
            return QAbstractSocket::UnknownSocketError;
    }
}

quint16 port_of(const sockaddr_storage& address) {
    return ntohs(address.ss_family == AF_INET ? reinterpret_cast<const sockaddr_in*>(&address)->sin_port
                                              : reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
}

bool out_of_descriptors(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

}  // namespace

TWSocketServer::TWSocketServer(QObject* parent)
    : QObject(parent),
      accept_retry(new QTimer(this)),
      reading_watch(new QTimer(this)),
      limit_notice(new QTimer(this)) {
    accept_retry->setSingleShot(true);
    accept_retry->setInterval(accept_retry_ms);
    connect(accept_retry, &QTimer::timeout, this, [this] {
        if (acceptor != nullptr) acceptor->setEnabled(true);
    });
    reading_watch->setInterval(reading_watch_ms);
    connect(reading_watch, &QTimer::timeout, this, &TWSocketServer::drop_clients_not_reading);
    limit_notice->setSingleShot(true);
    limit_notice->setInterval(limit_notice_ms);
    connect(limit_notice, &QTimer::timeout, this, &TWSocketServer::announce_limits_reached);
}

// Quietly: nobody is to be told of a state change by an object that is going.
TWSocketServer::~TWSocketServer() {
    if (current_state == socket_state::listening) release_listener();
}

void TWSocketServer::listen() {
    const QString where = listen_address + QLatin1Char(':') + QString::number(listen_port);
    const auto failure = [&where](QAbstractSocket::SocketError code, const QString& cause) {
        return socket_error(code, QStringLiteral("listen on %1: %2").arg(where, cause));
    };
    const auto system_failure = [&failure, this](int error) {
        QString cause = QString::fromLocal8Bit(std::strerror(error));
        // The system's words do not say who holds the port, nor that it is the port at fault.
        if (error == EADDRINUSE)
            cause += QStringLiteral("; port %1 is already taken by another program").arg(listen_port);
        return failure(socket_error_code(error), cause);
    };
    if (current_state != socket_state::closed)
        throw failure(QAbstractSocket::OperationError, QStringLiteral("the server is already listening"));
    QHostAddress host;
    if (!host.setAddress(listen_address))
        throw failure(QAbstractSocket::SocketAddressNotAvailableError, QStringLiteral("not an IP address"));
    if (listen_port < 0 || listen_port > 65535)
        throw failure(QAbstractSocket::UnsupportedSocketOperationError, QStringLiteral("port out of range"));

    sockaddr_storage address{};
    socklen_t length = 0;
    if (host.protocol() == QAbstractSocket::IPv4Protocol) {
        auto* ipv4 = reinterpret_cast<sockaddr_in*>(&address);
        ipv4->sin_family = AF_INET;
        ipv4->sin_port = htons(static_cast<quint16>(listen_port));
        ipv4->sin_addr.s_addr = htonl(host.toIPv4Address());
        length = sizeof *ipv4;
    } else {
        auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&address);
        ipv6->sin6_family = AF_INET6;
        ipv6->sin6_port = htons(static_cast<quint16>(listen_port));
        const Q_IPV6ADDR bytes = host.toIPv6Address();
        std::memcpy(&ipv6->sin6_addr, bytes.c, sizeof bytes.c);
        length = sizeof *ipv6;
    }
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throw system_failure(errno);
    // A port whose last connections are still in TIME_WAIT can be listened on again at once.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::listen(fd, listen_backlog) != 0) {
        const int error = errno;
        ::close(fd);
        throw system_failure(error);
    }
    serve(fd);
}

void TWSocketServer::listen_on(int listening_socket) {
    const auto failure = [listening_socket](QAbstractSocket::SocketError code, const QString& cause) {
        return socket_error(code, QStringLiteral("listen on socket %1: %2").arg(listening_socket).arg(cause));
    };
    if (current_state != socket_state::closed)
        throw failure(QAbstractSocket::OperationError, QStringLiteral("the server is already listening"));
    int listening = 0;
    socklen_t length = sizeof listening;
    if (::getsockopt(listening_socket, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) != 0 || listening == 0)
        throw failure(QAbstractSocket::UnsupportedSocketOperationError,
                      QStringLiteral("not a listening socket"));
    const int fd = ::fcntl(listening_socket, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        const int error = errno;
        throw failure(socket_error_code(error), QString::fromLocal8Bit(std::strerror(error)));
    }
    // Shared with the given socket: the main loop must never wait in accept.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    serve(fd);
}

void TWSocketServer::serve(int listening_socket) {
    listener = listening_socket;
    spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    refusing = false;
    acceptor = new QSocketNotifier(listener, QSocketNotifier::Read, this);
    connect(acceptor, &QSocketNotifier::activated, this, &TWSocketServer::accept_pending);
    set_state(socket_state::listening);
}

void TWSocketServer::close() {
    accept_retry->stop();
    if (current_state == socket_state::closed) return;
    release_listener();
    set_state(socket_state::closed);
}

void TWSocketServer::release_listener() {
    // Closing may happen inside the notifier's own activation: it goes when that has returned.
    acceptor->setEnabled(false);
    acceptor->deleteLater();
    acceptor = nullptr;
    ::close(listener);
    listener = -1;
    if (spare >= 0) ::close(spare);
    spare = -1;
}

quint16 TWSocketServer::listening_port() const {
    if (current_state != socket_state::listening) return 0;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return port_of(address);
}

TWSocketClient* TWSocketServer::client(int index) const {
    return index >= 0 && index < clients.size() ? clients[index] : nullptr;
}

// The listening socket stays readable while connections wait, so those left over when the
// turn's share is used up are taken on the next turn.
void TWSocketServer::accept_pending() {
    for (int attempt = 0; attempt < accepts_per_turn && current_state == socket_state::listening; ++attempt) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd =
            ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            if (out_of_descriptors(error)) {
                on_accept_error(error);
                return;
            }
            // EAGAIN: nobody waits. Anything else concerns only the connection that was being
            // accepted (it was aborted, its network went), so the next one is tried.
            if (error == EAGAIN || error == EWOULDBLOCK) {
                refusing = false;
                return;
            }
            continue;
        }
        refusing = false;
        accept_connection(fd, peer);
    }
}

void TWSocketServer::accept_connection(int fd, const sockaddr_storage& peer) {
    // Linger on with a time of 0: closing a connection resets it at once, dropping what is
    // still queued, instead of leaving it to drain towards a peer that may never read.
    const linger reset_on_close{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset_on_close, sizeof reset_on_close);
    const QHostAddress host(reinterpret_cast<const sockaddr*>(&peer));
    for (const client_limit which : {client_limit::connections_per_host, client_limit::connections}) {
        if (!refused_by(which, host)) continue;
        ::close(fd);
        count_limit_reached(which, host);
        return;
    }
    set_display_connection_options(fd, not_reading_limit);

    TWSocketClient* client = make_client().release();
    client->setParent(this);
    client->attach(fd, host, port_of(peer), limit(client_limit::bytes_received));
    clients.append(client);
    ++clients_from[host];
    if (!reading_watch->isActive()) reading_watch->start();
    connect(client, &TWSocketClient::state_changed, this,
            [this](TWSocketClient* changed, socket_state, socket_state new_state) {
                if (new_state == socket_state::closed) remove_later(changed);
            });
    connect(client, &TWSocketClient::receive_limit_reached, this, [this](TWSocketClient* talking) {
        count_limit_reached(client_limit::bytes_received, talking->peer_host);
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
    if (--clients_from[client->peer_host] <= 0) clients_from.remove(client->peer_host);
    if (clients.isEmpty()) reading_watch->stop();
    if (auto error = run_handlers([&] { emit client_disconnected(this, client); }))
        report_background_error(*error);
    client->deleteLater();
}

// Out of descriptors, the undefined-behaviour sanitizer cannot open the pipe through which it
// probes an object's memory for its dynamic type check, and would report every notifier and timer
// here as invalid; the objects are this server's own, so that one check is left out here.
__attribute__((no_sanitize("vptr"))) void TWSocketServer::on_accept_error(int error) {
    // Out of descriptors the listening socket stays readable, and accepting again at once would
    // spin: accepting pauses. A client still waiting after a pause is refused (accepted on the
    // spare descriptor and closed at once) rather than left hanging while nothing frees up.
    acceptor->setEnabled(false);
    if (refusing && spare >= 0) {
        ::close(spare);
        for (int fd; (fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) ::close(fd);
        spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    } else if (!refusing && report_background_error(QStringLiteral("accept failed: ") +
                                                    QString::fromLocal8Bit(std::strerror(error)))) {
        return;
    }
    refusing = true;
    accept_retry->start();
}

void TWSocketServer::drop_clients_not_reading() {
    const auto now = std::chrono::steady_clock::now();
    const std::chrono::milliseconds limit(not_reading_limit);
    QStringList dropped;
    // Closing only queues a client's removal, so the list stays as it is during this walk.
    for (TWSocketClient* client : std::as_const(clients)) {
        if (client->state() != socket_state::connected || !client->taking_nothing(now, limit)) continue;
        dropped << client->peer();
        ++not_reading_count;
        client->close();
    }
    if (dropped.isEmpty()) return;
    if (auto error = run_handlers([&] { emit clients_not_reading(this, dropped); }))
        report_background_error(*error);
}

bool TWSocketServer::refused_by(client_limit which, const QHostAddress& host) const {
    const qint64 bound = limit(which);
    if (bound <= 0) return false;
    return (which == client_limit::connections_per_host ? clients_from.value(host) : clients.size()) >= bound;
}

void TWSocketServer::count_limit_reached(client_limit which, const QHostAddress& host) {
    limit_tally& tally = limit_tallies[static_cast<std::size_t>(which)];
    ++tally.count;
    tally.latest = host;
    // The minute since the last notice is still running: this one waits for its end.
    if (!limit_notice->isActive()) announce_limits_reached();
}

void TWSocketServer::announce_limits_reached() {
    bool announced = false;
    for (std::size_t k = 0; k < limit_tallies.size(); ++k) {
        const limit_tally tally = std::exchange(limit_tallies[k], {});
        if (tally.count == 0) continue;
        announced = true;
        if (auto error = run_handlers([&] {
                emit limit_reached(this, static_cast<client_limit>(k), tally.count, tally.latest.toString());
            }))
            report_background_error(*error);
    }
    if (announced) limit_notice->start();
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
    // The state is set before the handlers run, so a close() that the error report makes while
    // closing finds the server closed and returns.
    if (auto error = run_handlers([&] { emit state_changed(this, old_state, new_state); }))
        report_background_error(*error);
}

}  // namespace vorlane
