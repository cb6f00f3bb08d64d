#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "net/socket_client.h"
#include "net/socket_state.h"

class QSocketNotifier;
class QTimer;
struct sockaddr_storage;

namespace vorlane {

// What a server bounds for the clients anyone on the network can be: the connections it takes
// from one remote address at once, the connections it takes at once in all, and the bytes a
// client may send before it is no longer read.
enum class client_limit : std::uint8_t { connections_per_host, connections, bytes_received };
inline constexpr std::size_t client_limit_count = static_cast<std::size_t>(client_limit::bytes_received) + 1;
// How long a client may acknowledge nothing while data waits for it before it is closed, unless
// its server is told otherwise.
inline constexpr int default_not_reading_limit_ms = 20000;

// A listening TCP server on the event loop of the thread that owns it. Each accepted connection
// becomes a client object of the configured class, goes on the client list, is sent the banner
// line and is announced by client_connected. When a connection ends, the server takes the client
// off the list, announces client_disconnected (the object is still valid then) and deletes it.
//
// Settings take effect at the next listen(). Closing the server stops listening only: the
// clients it has stay connected until each is closed or its peer goes.
//
// The server and its clients work on the sockets' file descriptors, not on QTcpServer and
// QTcpSocket, because what a display needs is below them: a socket that the service manager
// opened is served on a duplicate, so the port stays taken while the program restarts; out of
// descriptors, a spare one lets a waiting connection be refused instead of waking the loop
// again and again; the kernel's unsent bytes (TCP_NOTSENT_LOWAT) and unacknowledged ones
// (SIOCOUTQ) say whether a peer reads at all, where QTcpSocket would keep everything in a
// buffer of its own that grows without bound; the kernel's time-outs and keep-alive find a
// dead peer; and a connection let go is reset, not lingered on.
//
// An exception escaping a handler of the server's own notifications, state_changed included,
// or running out of descriptors to accept with, becomes a background_error; unless a handler
// clears *can_abort, the server then closes.
// background_error's can_abort is an out-parameter: the server reads it as soon as the
// emission returns, so every handler of it must be connected directly (the default on the
// server's own thread). A queued handler would write through the pointer after the server
// has decided, to a variable that no longer exists.
// Out of descriptors, a server that was not aborted pauses accepting for accept_retry_ms; a
// connection still waiting after the pause, with the descriptors still short, is refused with
// a spare descriptor the server keeps for that, so that its peer learns at once.
//
// Accepting takes at most accepts_per_turn connections per turn of the event loop, so that a
// storm of connections cannot starve the rest of the program; the rest wait for the next turn.
//
// A client that has acknowledged no byte for not_reading_limit_ms while data waits for it (a
// zero receive window, a reader that has stopped) is closed: it would otherwise hold its data,
// and whatever its owner keeps back for it, for as long as its peer keeps the connection open.
// The clients dropped in one look, twice a second, are announced together by clients_not_reading.
//
// A connection beyond the connections-per-host or the connections limit is refused: reset as soon
// as it is accepted, before it is a client, so it never gets the banner nor a batch. A client
// that sends more than the bytes-received limit is no longer read (it is still served): what it
// sends stays in the kernel, whose receive window then closes on it, so talking costs the loop
// nothing more. Each of these is counted and announced by limit_reached: the first at once, then
// at most once a minute with how many there were meanwhile, so that a flood makes a line a
// minute, not a line a connection.
class TWSocketServer : public QObject {
    Q_OBJECT
  public:
    static constexpr int accept_retry_ms = 500;
    static constexpr int accepts_per_turn = 32;
    static constexpr int limit_notice_ms = 60000;

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

    // How long a client may take nothing while data waits for it; at most a second more passes
    // before it is closed. The kernel's own limit for a dead peer, a little longer, follows it
    // for connections accepted after the change.
    int not_reading_limit_ms() const { return not_reading_limit; }
    void set_not_reading_limit_ms(int limit) { not_reading_limit = limit; }
    // Clients closed for not reading since the server was made.
    quint64 not_reading_drops() const { return not_reading_count; }

    // 0, the default, bounds nothing. The connection limits apply to the connections accepted
    // after a change; the bytes-received limit to the clients accepted after it.
    qint64 limit(client_limit which) const { return limits[static_cast<std::size_t>(which)]; }
    void set_limit(client_limit which, qint64 value) { limits[static_cast<std::size_t>(which)] = value; }

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
    // The peers (TWSocketClient::peer) of the clients just closed for not reading.
    void clients_not_reading(vorlane::TWSocketServer* server, const QStringList& peers);
    // `count` connections refused, or clients no longer read, for `limit` since its last notice;
    // `latest` is the remote address of the last of them.
    void limit_reached(vorlane::TWSocketServer* server, vorlane::client_limit limit, int count,
                       const QString& latest);

  private:
    void serve(int listening_socket);
    void release_listener();
    void accept_pending();
    void accept_connection(int fd, const sockaddr_storage& peer);
    // The limit a new connection from `host` would pass, if any.
    bool refused_by(client_limit which, const QHostAddress& host) const;
    void count_limit_reached(client_limit which, const QHostAddress& host);
    void announce_limits_reached();
    void remove_later(TWSocketClient* client);
    void remove_client(TWSocketClient* client);
    void on_accept_error(int error);
    void drop_clients_not_reading();
    bool report_background_error(const QString& error);
    void set_state(socket_state new_state);

    int listener = -1;
    QSocketNotifier* acceptor = nullptr;
    // Kept open while listening, to be given up for a moment to refuse a connection.
    int spare = -1;
    // Accepting has failed for want of descriptors since the last connection came through.
    bool refusing = false;
    QTimer* accept_retry;
    // Runs while there are clients.
    QTimer* reading_watch;
    // Runs for a minute after each notice of a limit reached.
    QTimer* limit_notice;
    QList<TWSocketClient*> clients;
    // The clients on the list from each remote address; an address with none is not kept.
    QHash<QHostAddress, int> clients_from;
    std::array<qint64, client_limit_count> limits{};
    // What limit_reached has still to tell, for each limit.
    struct limit_tally {
        int count = 0;
        QHostAddress latest;
    };
    std::array<limit_tally, client_limit_count> limit_tallies{};
    socket_state current_state = socket_state::closed;

    int tag_value = 0;
    QString listen_address = QStringLiteral("0.0.0.0");
    int listen_port = 0;
    int listen_backlog = 5;
    int not_reading_limit = default_not_reading_limit_ms;
    quint64 not_reading_count = 0;
    QByteArray banner_text;
    std::unique_ptr<TWSocketClient> (*make_client)() = [] { return std::make_unique<TWSocketClient>(); };
};

}  // namespace vorlane
