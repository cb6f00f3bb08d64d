#include "net/socket_client.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHostAddress>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <utility>

#include "net/handler_guard.h"

namespace vorlane {

namespace {

// What one turn of reading takes in at most before the handlers see it, so that a peer that
// talks without pause cannot make the client hold more than this.
constexpr int receive_chunk = 64 * 1024;

}  // namespace

TWSocketClient::~TWSocketClient() {
    if (descriptor >= 0) ::close(descriptor);
}

void TWSocketClient::attach(int connection, const QHostAddress& host, quint16 port, qint64 limit) {
    descriptor = connection;
    current_state = socket_state::connected;
    peer_host = host;
    peer_text = host.toString() + QLatin1Char(':') + QString::number(port);
    receive_limit = limit;
    progress_at = std::chrono::steady_clock::now();
    reader = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    writer = new QSocketNotifier(descriptor, QSocketNotifier::Write, this);
    writer->setEnabled(false);
    connect(reader, &QSocketNotifier::activated, this, &TWSocketClient::on_readable);
    connect(writer, &QSocketNotifier::activated, this, &TWSocketClient::on_writable);
}

bool TWSocketClient::send(const QByteArray& data) {
    if (current_state != socket_state::connected) return false;
    if (outgoing.isEmpty())
        outgoing = data;
    else
        outgoing.append(data);
    send_pending = true;
    // Written when the socket says it can take more: with few unsent bytes allowed in the
    // kernel, that is when the previous data is nearly on its way. An empty send is answered
    // from the event loop like any other.
    writer->setEnabled(true);
    return true;
}

QByteArray TWSocketClient::receive() {
    return std::exchange(incoming, {});
}

void TWSocketClient::close() {
    if (current_state == socket_state::closed) return;
    release();
    announce_state(socket_state::closed);
}

void TWSocketClient::release() {
    // The notifiers may be the ones running right now: they go when they have returned.
    reader->setEnabled(false);
    writer->setEnabled(false);
    reader->deleteLater();
    writer->deleteLater();
    reader = writer = nullptr;
    // Linger is on with a time of 0: this resets the connection.
    ::close(descriptor);
    descriptor = -1;
    outgoing.clear();
    handed_over = 0;
}

void TWSocketClient::announce_state(socket_state new_state) {
    const socket_state old_state = current_state;
    current_state = new_state;
    if (auto error = run_handlers([&] { emit state_changed(this, old_state, new_state); }))
        report_background_error(*error);
}

void TWSocketClient::on_readable() {
    char chunk[receive_chunk];
    // One byte past the limit tells a peer that talks on from one that has said just that much.
    const auto room = static_cast<std::size_t>(
        receive_limit > 0 ? std::min<qint64>(receive_chunk, receive_limit - received_total + 1)
                          : receive_chunk);
    const ssize_t got = ::recv(descriptor, chunk, room, 0);
    if (got == 0) {
        // The peer has nothing more to say, which some display software announces right after
        // connecting: it is still served until it resets or the connection times out.
        reader->setEnabled(false);
        return;
    }
    if (got < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) close();
        return;
    }
    received_total += got;
    const bool over_limit = receive_limit > 0 && received_total > receive_limit;
    // Level-triggered: a reader left on would wake the loop for every byte the peer sends.
    if (over_limit) reader->setEnabled(false);
    incoming.append(chunk, over_limit ? got - 1 : got);
    if (!incoming.isEmpty())
        if (auto error = run_handlers([&] { emit data_available(this); })) report_background_error(*error);
    incoming.clear();
    if (over_limit && current_state == socket_state::connected)
        if (auto error = run_handlers([&] { emit receive_limit_reached(this); }))
            report_background_error(*error);
}

void TWSocketClient::on_writable() {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0) {
        close();
        return;
    }
    if (handed_over == outgoing.size()) {
        outgoing.clear();
        handed_over = 0;
        writer->setEnabled(false);
        if (!send_pending) return;
        send_pending = false;
        if (auto failure = run_handlers([&] { emit data_sent(this); })) report_background_error(*failure);
        return;
    }
    const ssize_t written =
        ::send(descriptor, outgoing.constData() + handed_over,
               static_cast<std::size_t>(outgoing.size() - handed_over), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (written < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) close();
        return;
    }
    // data_sent waits for the next turn, when the kernel has taken this on its way.
    handed_over += written;
    handed_total += written;
}

bool TWSocketClient::taking_nothing(std::chrono::steady_clock::time_point now,
                                    std::chrono::milliseconds limit) {
    int unacknowledged = 0;
    if (::ioctl(descriptor, SIOCOUTQ, &unacknowledged) != 0) unacknowledged = 0;
    const qint64 acknowledged = handed_total - unacknowledged;
    const bool waiting = unacknowledged > 0 || handed_over < outgoing.size();
    if (!waiting || acknowledged != acknowledged_seen) {
        acknowledged_seen = acknowledged;
        progress_at = now;
        return false;
    }
    return now - progress_at >= limit;
}

void TWSocketClient::report_background_error(const QString& error) {
    bool can_abort = true;
    // A background-error handler that throws in turn leaves nobody to answer: the answer stands
    // as it was when it threw.
    run_handlers([&] { emit background_error(this, error, &can_abort); });
    if (can_abort) close();
}

}  // namespace vorlane
