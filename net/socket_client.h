#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <chrono>

#include "net/socket_state.h"

class QSocketNotifier;

namespace vorlane {

class TWSocketServer;

// One accepted TCP connection, created by a TWSocketServer of the class set with
// set_client_class. The server owns it and deletes it once the connection has ended, after its
// client_disconnected notification; nobody else may delete it or keep a pointer past that.
//
// Sending never blocks: send() queues the data and the event loop hands it to the network as
// fast as the peer reads. data_sent follows once everything queued has been handed over and
// the kernel holds little of it unsent, so an owner that sends again only after data_sent
// keeps its data waiting with itself, not in a send buffer, when the peer reads slowly.
//
// A QByteArray handed to send() while nothing else waits is shared, not copied, so one batch
// sent to many clients is held once.
//
// What the peer sends is offered through data_available; whatever the handlers leave unread is
// discarded, so a peer that talks to a server that does not listen costs no memory. A peer that
// closes its sending side is served on until it resets. With a receive limit from the server, a
// peer that sends more is offered the limit's worth, is no longer read and is announced by
// receive_limit_reached; it is served on all the same.
//
// Notifications run on the socket's thread. An exception escaping one of their handlers becomes
// a background_error; unless a handler of that clears *can_abort, the connection is then
// aborted. can_abort points at a variable of the emitting call that is read as soon as the
// handlers return: its handlers must be connected directly (the default on the socket's own
// thread); a queued one would write to a variable that no longer exists.
class TWSocketClient : public QObject {
    Q_OBJECT
  public:
    TWSocketClient() = default;
    ~TWSocketClient() override;

    socket_state state() const { return current_state; }

    // Queues data behind whatever is still waiting. False, and nothing queued, unless the
    // client is connected. An empty send is answered by data_sent like any other.
    bool send(const QByteArray& data);

    // The peer's address and port ("172.31.24.2:40312"), as it was when the connection came in.
    const QString& peer() const { return peer_text; }

    // Takes everything received and not yet read.
    QByteArray receive();

    // Resets the connection at once; queued data that has not been sent is dropped. The server
    // takes the client off its list on the next turn of the event loop, so a caller may close
    // the clients of a list while it walks it by index.
    void close();

  signals:
    void state_changed(vorlane::TWSocketClient* client, vorlane::socket_state old_state,
                       vorlane::socket_state new_state);
    void data_available(vorlane::TWSocketClient* client);
    void data_sent(vorlane::TWSocketClient* client);
    void receive_limit_reached(vorlane::TWSocketClient* client);
    void background_error(vorlane::TWSocketClient* client, const QString& error, bool* can_abort);

  private:
    friend class TWSocketServer;

    // Takes over a connected, non-blocking socket from `host`:`port`; receive_limit 0 reads
    // whatever comes.
    void attach(int connection, const QHostAddress& host, quint16 port, qint64 receive_limit);
    void release();
    void announce_state(socket_state new_state);
    void on_readable();
    void on_writable();
    void report_background_error(const QString& error);
    // True once data has waited for the peer (here or unacknowledged in the kernel) and the
    // peer has acknowledged none of it for `limit` up to `now`; each call is one look.
    bool taking_nothing(std::chrono::steady_clock::time_point now, std::chrono::milliseconds limit);

    int descriptor = -1;
    QHostAddress peer_host;
    QString peer_text;
    QSocketNotifier* reader = nullptr;
    QSocketNotifier* writer = nullptr;
    QByteArray outgoing;
    // How much of outgoing the kernel has taken.
    qsizetype handed_over = 0;
    QByteArray incoming;
    qint64 receive_limit = 0;
    qint64 received_total = 0;
    socket_state current_state = socket_state::closed;
    // Set by send(), cleared when the queue has drained and data_sent went out.
    bool send_pending = false;
    // Everything the kernel has taken since the connection came in; less what it still holds,
    // that is what the peer has acknowledged.
    qint64 handed_total = 0;
    qint64 acknowledged_seen = 0;
    // When the peer last acknowledged anything, or last had nothing waiting for it.
    std::chrono::steady_clock::time_point progress_at;
};

}  // namespace vorlane
