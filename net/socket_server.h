#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>
#include <type_traits>

#include "net/socket_client.h"
#include "net/socket_state.h"

class QSocketNotifier;
class QTimer;

namespace vorlane {

// A listening TCP server on the event loop of the thread that owns it. Each accepted connection
// becomes a client object of the configured class, goes on the client list, is sent the banner
// line and is announced by client_connected. When a connection ends, the server takes the client
// off the list, announces client_disconnected (the object is still valid then) and deletes it.
//
// Settings take effect at the next listen(). Closing the server stops listening only: the
// clients it has stay connected until each is closed or its peer goes.
//
// An exception escaping a handler of the server's own notifications, or running out of
// descriptors to accept with, becomes a background_error; unless a handler clears *can_abort,
// the server then closes (the answer is read when the handlers return, so they must be
// connected directly, which is the default on the server's own thread).
// Out of descriptors, a server that was not aborted pauses accepting for accept_retry_ms; a
// connection still waiting after the pause, with the descriptors still short, is refused with
// a spare descriptor the server keeps for that, so that its peer learns at once.
class TWSocketServer : public QObject {
    Q_OBJECT
  public:
    static constexpr int accept_retry_ms = 500;

    explicit TWSocketServer(QObject* parent = nullptr);
    ~TWSocketServer() override;

    // The owner's number for this server (an output number, say), for handlers shared by several.
    int tag() const { return tag_value; }
    void set_tag(int tag) { tag_value = tag; }

    // An IPv4 or IPv6 address text; "0.0.0.0" listens on every IPv4 adapter.
    const QString& address() const { return listen_address; }
    void set_address(const QString& address) { listen_address = address; }

    // 0 to 65535; 0 lets the system choose a free port (listening_port() tells which).
    int port() const { return listen_port; }
    void set_port(int port) { listen_port = port; }

    // How many connections the system holds for the server before it accepts them.
    int backlog() const { return listen_backlog; }
    void set_backlog(int backlog) { listen_backlog = backlog; }

    // Sent with CR LF to every new client before anything else; empty sends no banner line.
    const QByteArray& banner() const { return banner_text; }
    void set_banner(const QByteArray& banner) { banner_text = banner; }

    template <class Client>
    void set_client_class() {
        static_assert(std::is_base_of_v<TWSocketClient, Client>);
        make_client = []() -> std::unique_ptr<TWSocketClient> { return std::make_unique<Client>(); };
    }

    // Starts listening on address:port. Throws socket_error, and stays closed, when the address
    // or port is not valid, the server is not closed, or the system refuses (port in use,
    // address not on this host, ...).
    void listen();
    // Serves the connections of a socket that already listens, one the service manager opened for
    // the program. The server works on its own duplicate: closing it leaves the given socket
    // listening, so the port is never free. Throws socket_error, and stays closed, when the
    // server is not closed or the descriptor is no listening socket.
    void listen_on(int listening_socket);
    void close();

    socket_state state() const { return current_state; }
    // The port actually listened on; 0 while closed.
    quint16 listening_port() const;

    int client_count() const { return static_cast<int>(clients.size()); }
    // The client at index, or nullptr outside 0 .. client_count() - 1.
    TWSocketClient* client(int index) const;

  signals:
    void state_changed(vorlane::TWSocketServer* server, vorlane::socket_state old_state,
                       vorlane::socket_state new_state);
    void client_connected(vorlane::TWSocketServer* server, vorlane::TWSocketClient* client);
    void client_disconnected(vorlane::TWSocketServer* server, vorlane::TWSocketClient* client);
    void background_error(vorlane::TWSocketServer* server, const QString& error, bool* can_abort);

  private:
    void serve(int listening_socket);
    void release_listener();
    void accept_pending();
    void accept_connection(int fd);
    void remove_later(TWSocketClient* client);
    void remove_client(TWSocketClient* client);
    void on_accept_error(int error);
    bool report_background_error(const QString& error);
    void set_state(socket_state new_state);

    int listener = -1;
    QSocketNotifier* acceptor = nullptr;
    // Kept open while listening, to be given up for a moment to refuse a connection.
    int spare = -1;
    // Accepting has failed for want of descriptors since the last connection came through.
    bool refusing = false;
    QTimer* accept_retry;
    QList<TWSocketClient*> clients;
    socket_state current_state = socket_state::closed;

    int tag_value = 0;
    QString listen_address = QStringLiteral("0.0.0.0");
    int listen_port = 0;
    int listen_backlog = 5;
    QByteArray banner_text;
    std::unique_ptr<TWSocketClient> (*make_client)() = [] { return std::make_unique<TWSocketClient>(); };
};

}  // namespace vorlane
