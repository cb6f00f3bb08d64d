#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

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
// What the peer sends is offered through data_available; whatever the handlers leave unread is
// discarded, so a peer that talks to a server that does not listen costs no memory. A peer that
// closes its sending side is served on until it resets.
//
// Notifications run on the socket's thread. An exception escaping one of their handlers becomes
// a background_error; unless a handler of that clears *can_abort (connected directly, as every
// handler on the socket's thread is by default), the connection is then aborted.
class TWSocketClient : public QObject {
    Q_OBJECT
  public:
    TWSocketClient() = default;
    ~TWSocketClient() override;

    socket_state state() const { return current_state; }

    // Queues data behind whatever is still waiting. False, and nothing queued, unless the
    // client is connected. An empty send is answered by data_sent like any other.
    bool send(QByteArrayView data);

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
    void background_error(vorlane::TWSocketClient* client, const QString& error, bool* can_abort);

  private:
    friend class TWSocketServer;

    // Takes over a connected, non-blocking socket.
    void attach(int connection);
    void release();
    void announce_state(socket_state new_state);
    void on_readable();
    void on_writable();
    void report_background_error(const QString& error);

    int descriptor = -1;
    QSocketNotifier* reader = nullptr;
    QSocketNotifier* writer = nullptr;
    QByteArray outgoing;
    // How much of outgoing the kernel has taken.
    qsizetype handed_over = 0;
    QByteArray incoming;
    socket_state current_state = socket_state::closed;
    // Set by send(), cleared when the queue has drained and data_sent went out.
    bool send_pending = false;
};

}  // namespace vorlane
