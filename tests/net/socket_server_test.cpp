#include "net/socket_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTest>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/socket_error.h"
#include "net/tcp_srv_client.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/nmea_text.h"
#include "tests/support/veth_link.h"

namespace vorlane {
namespace {

using std::chrono::duration;
using std::chrono::steady_clock;
using test::loopback_peer;
using test::with_checksum;

constexpr int wait_ms = 1000;
const std::string banner_line = "KestavTranslator\r\n";

// Batch n of an output: heading sentences numbered so that a lost, doubled or reordered batch
// shows in the stream.
QByteArray batch(int n, int sentences = 3) {
    std::string text;
    for (int i = 0; i < sentences; ++i)
        text += with_checksum("$HEHDT," + std::to_string(n * sentences + i) + ".0,T") + "\r\n";
    return QByteArray::fromStdString(text);
}

std::string text_of(const QByteArray& bytes) {
    return bytes.toStdString();
}

// The server driven the way an output's owner drives it: every announced client is marked with
// the output number, keeps one batch in flight through its ready flag and has what it sends read
// and thrown away.
class SocketServerTest : public testing::Test {
  protected:
    void SetUp() override {
        server.set_tag(1);
        server.set_address(QStringLiteral("127.0.0.1"));
        server.set_port(0);
        server.set_banner("KestavTranslator");
        server.set_client_class<TTcpSrvClient>();
        QObject::connect(&server, &TWSocketServer::client_connected, &server,
                         [this](TWSocketServer* from, TWSocketClient* client) { announce(from, client); });
        QObject::connect(&server, &TWSocketServer::limit_reached, &server,
                         [this](TWSocketServer*, client_limit limit, int count, const QString& latest) {
                             limit_notices.push_back({limit, count, latest.toStdString()});
                         });
    }

    void announce(TWSocketServer* from, TWSocketClient* client) {
        auto* output_client = qobject_cast<TTcpSrvClient*>(client);
        ASSERT_NE(output_client, nullptr) << "the server must create clients of the configured class";
        EXPECT_EQ(output_client->output_index, -1);
        output_client->output_index = from->tag();
        output_client->ready = true;
        announced.emplace_back(output_client);
        if (owner_reads)
            QObject::connect(
                client, &TWSocketClient::data_available, client,
                [this](TWSocketClient* talking) { bytes_from_peers += talking->receive().size(); });
        QObject::connect(client, &TWSocketClient::data_sent, client,
                         [](TWSocketClient* sent) { static_cast<TTcpSrvClient*>(sent)->ready = true; });
        if (on_connect) on_connect(client);
    }

    // Waits for the condition while the event loop runs and every reading peer reads.
    template <class Condition>
    bool pump_until(Condition condition, int timeout_ms = wait_ms) {
        return QTest::qWaitFor(
            [&] {
                for (auto& peer : peers) peer->read_available();
                return condition();
            },
            timeout_ms);
    }
    void pump_for(int ms) {
        static_cast<void>(pump_until([] { return false; }, ms));
    }

    loopback_peer& connect_peer(int receive_buffer = 0) {
        const std::size_t before = announced.size();
        peers.push_back(std::make_unique<loopback_peer>(server.listening_port(), receive_buffer));
        EXPECT_TRUE(peers.back()->wait_connected(wait_ms));
        EXPECT_TRUE(pump_until([&] { return announced.size() > before; })) << "connection not announced";
        return *peers.back();
    }

    TTcpSrvClient* output_client(int index) const {
        return qobject_cast<TTcpSrvClient*>(server.client(index));
    }

    // The owner's flow control: a batch goes out only when every connected client has
    // finished the previous one, and then to every connected client.
    bool all_ready() const {
        for (int i = 0; i < server.client_count(); ++i) {
            const TTcpSrvClient* client = output_client(i);
            if (client->state() == socket_state::connected && !client->ready) return false;
        }
        return true;
    }
    void send_to_all(const QByteArray& text) {
        for (int i = 0; i < server.client_count(); ++i) {
            TTcpSrvClient* client = output_client(i);
            if (client->state() != socket_state::connected) continue;
            client->ready = false;
            EXPECT_TRUE(client->send(text));
        }
    }

    // A connection the server resets at once, before its banner.
    void expect_refused(loopback_peer& peer) {
        EXPECT_TRUE(peer.wait_connected(wait_ms)) << "the system did not complete the connection";
        EXPECT_TRUE(pump_until([&] { return peer.ended(); })) << "the connection beyond the cap was kept";
        EXPECT_EQ(peer.end_error(), ECONNRESET);
        EXPECT_EQ(peer.received(), "") << "a refused connection got data";
    }

    struct limit_notice {
        client_limit limit;
        int count;
        std::string latest;
        bool operator==(const limit_notice&) const = default;
        friend void PrintTo(const limit_notice& n, std::ostream* out) {
            *out << "{limit " << static_cast<int>(n.limit) << ", " << n.count << ", " << n.latest << "}";
        }
    };

    TWSocketServer server;
    std::vector<limit_notice> limit_notices;
    std::vector<std::unique_ptr<loopback_peer>> peers;
    std::vector<QPointer<TTcpSrvClient>> announced;
    bool owner_reads = true;
    qsizetype bytes_from_peers = 0;
    std::function<void(TWSocketClient*)> on_connect;
};

struct banner_case {
    const char* name;
    QByteArray banner;
    bool connect_handler_sends;
    std::string expected;
    friend void PrintTo(const banner_case& c, std::ostream* out) { *out << c.name; }
};

class BannerTest : public SocketServerTest, public testing::WithParamInterface<banner_case> {};

TEST_P(BannerTest, BannerLineComesBeforeAnyData) {
    const banner_case& c = GetParam();
    server.set_banner(c.banner);
    if (c.connect_handler_sends) on_connect = [](TWSocketClient* client) { client->send("$EARLY\r\n"); };
    server.listen();
    loopback_peer& peer = connect_peer();
    EXPECT_EQ(server.client_count(), 1);
    EXPECT_EQ(server.client(0), announced.at(0));
    EXPECT_EQ(announced.at(0)->output_index, 1);

    ASSERT_TRUE(pump_until([&] { return all_ready(); }));
    send_to_all(batch(0));
    EXPECT_TRUE(pump_until([&] { return peer.received().size() >= c.expected.size(); }));
    EXPECT_EQ(peer.received(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, BannerTest,
                         testing::Values(banner_case{"banner_then_sentences", "KestavTranslator", false,
                                                     banner_line + text_of(batch(0))},
                                         banner_case{"banner_before_what_the_connect_handler_sends",
                                                     "KestavTranslator", true,
                                                     banner_line + "$EARLY\r\n" + text_of(batch(0))},
                                         banner_case{"no_banner_configured", "", false, text_of(batch(0))}),
                         [](const testing::TestParamInfo<banner_case>& row) { return row.param.name; });

TEST_F(SocketServerTest, ConnectedClientsReceiveIdenticalStreams) {
    server.listen();
    loopback_peer& first = connect_peer();
    loopback_peer& second = connect_peer();
    loopback_peer* late = nullptr;
    std::string from_start = banner_line;
    std::string from_batch_10 = banner_line;
    for (int n = 0; n < 30; ++n) {
        if (n == 10) late = &connect_peer();
        ASSERT_TRUE(pump_until([&] { return all_ready(); })) << "batch " << n;
        send_to_all(batch(n));
        from_start += text_of(batch(n));
        if (n >= 10) from_batch_10 += text_of(batch(n));
    }
    EXPECT_TRUE(pump_until([&] {
        return first.received().size() >= from_start.size() &&
               second.received().size() >= from_start.size() &&
               late->received().size() >= from_batch_10.size();
    }));
    EXPECT_EQ(first.received(), from_start);
    EXPECT_EQ(second.received(), from_start);
    EXPECT_EQ(late->received(), from_batch_10);
}

struct slow_reader_case {
    const char* name;
    bool disconnects;
    friend void PrintTo(const slow_reader_case& c, std::ostream* out) { *out << c.name; }
};

class SlowReaderTest : public SocketServerTest, public testing::WithParamInterface<slow_reader_case> {};

// Several times what the kernel buffers of a loopback connection hold once the reader has made
// its receive buffer small.
QByteArray large_batch() {
    std::string text;
    for (int n = 0; text.size() < 8 * 1024 * 1024; ++n)
        text += with_checksum("$HEHDT," + std::to_string(n) + ".0,T") + "\r\n";
    return QByteArray::fromStdString(text);
}

TEST_P(SlowReaderTest, DataSentWaitsUntilTheReaderTakesEverything) {
    server.listen();
    loopback_peer& fast = connect_peer();
    loopback_peer& slow = connect_peer(16 * 1024);
    slow.reading = false;
    ASSERT_TRUE(pump_until([&] { return all_ready() && fast.received() == banner_line; }));

    const QByteArray large = large_batch();
    send_to_all(large);
    TTcpSrvClient* fast_client = announced.at(0);
    TTcpSrvClient* slow_client = announced.at(1);
    EXPECT_TRUE(pump_until([&] { return fast_client->ready; })) << "the reading client was held back";
    pump_for(300);
    EXPECT_FALSE(slow_client->ready) << "data_sent came while the data still waited for the reader";
    EXPECT_FALSE(all_ready());
    EXPECT_EQ(fast.received(), banner_line + text_of(large));

    if (GetParam().disconnects) {
        slow.close(false);
        EXPECT_TRUE(pump_until([&] { return server.client_count() == 1; }));
        EXPECT_EQ(server.client(0), fast_client);
        EXPECT_TRUE(all_ready());
    } else {
        slow.reading = true;
        // The kernel holds little unsent, so the rest moves at the pace of this loop's turns,
        // which sleep between them.
        const int catch_up_ms = 10 * wait_ms;
        EXPECT_TRUE(pump_until([&] { return slow_client->ready; }, catch_up_ms));
        EXPECT_TRUE(pump_until([&] { return slow.received().size() >= banner_line.size() + large.size(); }));
        EXPECT_EQ(slow.received(), banner_line + text_of(large));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SlowReaderTest,
                         testing::Values(slow_reader_case{"reads_again", false},
                                         slow_reader_case{"disconnects", true}),
                         [](const testing::TestParamInfo<slow_reader_case>& row) { return row.param.name; });

struct client_text_case {
    const char* name;
    bool owner_reads;
    friend void PrintTo(const client_text_case& c, std::ostream* out) { *out << c.name; }
};

class ClientTextTest : public SocketServerTest, public testing::WithParamInterface<client_text_case> {};

TEST_P(ClientTextTest, TextFromClientsIsDroppedAndSendingGoesOn) {
    owner_reads = GetParam().owner_reads;
    server.listen();
    loopback_peer& peer = connect_peer();
    std::string chatter;
    while (chatter.size() < 256 * 1024) chatter += "$PXXX,are you there?*00\r\n";

    std::size_t chatted = 0;
    std::string expected = banner_line;
    for (int n = 0; n < 10 || chatted < chatter.size(); ++n) {
        chatted += peer.send_some(std::string_view(chatter).substr(chatted, 32 * 1024));
        ASSERT_TRUE(pump_until([&] { return all_ready(); })) << "batch " << n;
        send_to_all(batch(n));
        expected += text_of(batch(n));
    }
    EXPECT_TRUE(pump_until([&] { return peer.received().size() >= expected.size(); }));
    EXPECT_EQ(peer.received(), expected);
    EXPECT_EQ(announced.at(0)->state(), socket_state::connected);
    if (owner_reads) {
        EXPECT_TRUE(pump_until([&] { return bytes_from_peers == static_cast<qsizetype>(chatter.size()); }))
            << bytes_from_peers << " of " << chatter.size() << " bytes offered to the owner";
    } else {
        pump_for(50);
        EXPECT_TRUE(announced.at(0)->receive().isEmpty()) << "unread client text was kept";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ClientTextTest,
                         testing::Values(client_text_case{"owner_reads_and_discards", true},
                                         client_text_case{"nobody_reads", false}),
                         [](const testing::TestParamInfo<client_text_case>& row) { return row.param.name; });

struct talking_case {
    const char* name;
    std::size_t sent;
    std::size_t offered;
    bool announced;
    friend void PrintTo(const talking_case& c, std::ostream* out) { *out << c.name; }
};

class TalkingClientTest : public SocketServerTest, public testing::WithParamInterface<talking_case> {};

// A display has nothing to say: past the limit, what a client sends is no longer read, and it is
// served on all the same.
TEST_P(TalkingClientTest, ClientIsReadUpToTheLimitAndServedOn) {
    const talking_case& c = GetParam();
    constexpr qint64 limit = 4096;
    server.set_limit(client_limit::bytes_received, limit);
    server.listen();
    loopback_peer& peer = connect_peer();
    const std::string text(c.sent, 'x');
    std::size_t sent = 0;
    for (int turn = 0; turn < 100 && sent < text.size(); ++turn) {
        sent += peer.send_some(std::string_view(text).substr(sent));
        pump_for(1);
    }
    ASSERT_EQ(sent, text.size()) << "the loopback buffers did not take the whole text";
    EXPECT_TRUE(pump_until([&] { return bytes_from_peers >= static_cast<qsizetype>(c.offered); }));
    pump_for(50);
    EXPECT_EQ(bytes_from_peers, static_cast<qsizetype>(c.offered));
    const std::vector<limit_notice> talker{{client_limit::bytes_received, 1, "127.0.0.1"}};
    EXPECT_EQ(limit_notices, c.announced ? talker : std::vector<limit_notice>{});

    ASSERT_TRUE(pump_until([&] { return all_ready(); }));
    send_to_all(batch(0));
    EXPECT_TRUE(pump_until([&] { return peer.received() == banner_line + text_of(batch(0)); }));
    EXPECT_EQ(announced.at(0)->state(), socket_state::connected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TalkingClientTest,
                         testing::Values(talking_case{"a_little_is_read_as_ever", 100, 100, false},
                                         talking_case{"the_limit_itself_is_read_whole", 4096, 4096, false},
                                         talking_case{"past_the_limit_nothing_more_is_read", 32 * 1024, 4096,
                                                      true}),
                         [](const testing::TestParamInfo<talking_case>& row) { return row.param.name; });

TEST_F(SocketServerTest, ConnectionBeyondThePortCapIsRefusedUntilAClientLeaves) {
    server.set_limit(client_limit::connections, 2);
    server.listen();
    connect_peer();
    loopback_peer& leaving = connect_peer();
    peers.push_back(std::make_unique<loopback_peer>(server.listening_port()));
    expect_refused(*peers.back());
    EXPECT_EQ(server.client_count(), 2);
    EXPECT_EQ(limit_notices, (std::vector<limit_notice>{{client_limit::connections, 1, "127.0.0.1"}}));

    leaving.close(true);
    ASSERT_TRUE(pump_until([&] { return server.client_count() == 1; }));
    loopback_peer& newcomer = connect_peer();
    EXPECT_TRUE(pump_until([&] { return newcomer.received() == banner_line; }));
    // Within the minute of the first notice, a second refusal waits for the minute's end.
    peers.push_back(std::make_unique<loopback_peer>(server.listening_port()));
    expect_refused(*peers.back());
    EXPECT_EQ(limit_notices.size(), 1u);
}

struct listen_failure_case {
    const char* name;
    const char* address;
    int port;  // -1: the port of another socket listening on 127.0.0.1
    QAbstractSocket::SocketError code;
    friend void PrintTo(const listen_failure_case& c, std::ostream* out) { *out << c.name; }
};

class ListenFailureTest : public SocketServerTest, public testing::WithParamInterface<listen_failure_case> {};

TEST_P(ListenFailureTest, ThrowsOneLineAndStaysClosed) {
    const listen_failure_case& c = GetParam();
    QTcpServer occupant;
    ASSERT_TRUE(occupant.listen(QHostAddress::LocalHost, 0));
    const int port = c.port < 0 ? occupant.serverPort() : c.port;
    int state_changes = 0;
    QObject::connect(&server, &TWSocketServer::state_changed, [&] { ++state_changes; });

    server.set_address(QString::fromLatin1(c.address));
    server.set_port(port);
    try {
        server.listen();
        FAIL() << "listen succeeded";
    } catch (const socket_error& e) {
        const std::string message = e.what();
        EXPECT_EQ(e.code(), c.code) << message;
        EXPECT_NE(message.find(c.address + (":" + std::to_string(port))), std::string::npos) << message;
        EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << message;
        if (c.code == QAbstractSocket::AddressInUseError) {
            EXPECT_NE(message.find("port " + std::to_string(port) + " is already taken by another program"),
                      std::string::npos)
                << message;
        }
    }
    EXPECT_EQ(server.state(), socket_state::closed);
    EXPECT_EQ(server.listening_port(), 0);
    EXPECT_EQ(state_changes, 0);

    // The failure leaves nothing behind that spoils the next attempt.
    server.set_address(QStringLiteral("127.0.0.1"));
    server.set_port(0);
    server.listen();
    EXPECT_EQ(state_changes, 1);
    EXPECT_EQ(server.state(), socket_state::listening);
    loopback_peer& peer = connect_peer();
    EXPECT_TRUE(pump_until([&] { return peer.received() == banner_line; }));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListenFailureTest,
    testing::Values(listen_failure_case{"port_in_use", "127.0.0.1", -1, QAbstractSocket::AddressInUseError},
                    listen_failure_case{"address_not_on_this_host", "192.0.2.1", 0,
                                        QAbstractSocket::SocketAddressNotAvailableError},
                    listen_failure_case{"not_an_address", "300.1.2.3", 0,
                                        QAbstractSocket::SocketAddressNotAvailableError},
                    listen_failure_case{"port_out_of_range", "127.0.0.1", 65536,
                                        QAbstractSocket::UnsupportedSocketOperationError}),
    [](const testing::TestParamInfo<listen_failure_case>& row) { return row.param.name; });

// A socket that listens already, as the service manager hands it over: the server serves on it,
// and closing the server leaves it listening, so a display that connects meanwhile waits for the
// next opening instead of being refused.
TEST_F(SocketServerTest, ServesOnAHandedOverSocketAndLeavesItListening) {
    const int given = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(given, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(given, 5), 0);
    ASSERT_EQ(::getsockname(given, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const auto port = ntohs(address.sin_port);

    server.listen_on(given);
    EXPECT_EQ(server.listening_port(), port);
    loopback_peer& first = connect_peer();
    EXPECT_TRUE(pump_until([&] { return first.received() == banner_line; }));

    server.close();
    loopback_peer waiting(port);
    EXPECT_TRUE(waiting.wait_connected(wait_ms)) << "the port was let go";
    server.listen_on(given);
    EXPECT_TRUE(pump_until([&] {
        waiting.read_available();
        return waiting.received() == banner_line;
    }));
    server.close();

    const int not_listening = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_THROW(server.listen_on(not_listening), socket_error);
    EXPECT_EQ(server.state(), socket_state::closed);
    ::close(not_listening);
    ::close(given);
}

struct ended_connection_case {
    const char* name;
    bool reset;
    friend void PrintTo(const ended_connection_case& c, std::ostream* out) { *out << c.name; }
};

class EndedConnectionTest : public SocketServerTest,
                            public testing::WithParamInterface<ended_connection_case> {};

TEST_P(EndedConnectionTest, ClientIsAnnouncedGoneThenDeleted) {
    server.listen();
    loopback_peer& peer = connect_peer();
    ASSERT_TRUE(pump_until([&] { return peer.received() == banner_line; }));
    const QPointer<TWSocketClient> client = server.client(0);
    int notices = 0;
    bool announced_off_the_list_while_alive = false;
    QObject::connect(&server, &TWSocketServer::client_disconnected,
                     [&](TWSocketServer* from, TWSocketClient* gone) {
                         ++notices;
                         announced_off_the_list_while_alive = gone == client && !client.isNull() &&
                                                              gone->state() == socket_state::closed &&
                                                              from->client_count() == 0;
                     });

    peer.close(GetParam().reset);
    // A peer that closed cannot be told from one that only stopped sending until the next
    // batch reaches it, as one does on every tick of an output.
    EXPECT_TRUE(pump_until([&] {
        if (all_ready()) send_to_all(batch(0));
        return client.isNull();
    })) << "client not deleted";
    EXPECT_EQ(notices, 1);
    EXPECT_TRUE(announced_off_the_list_while_alive);
    EXPECT_EQ(server.client_count(), 0);
    EXPECT_EQ(server.state(), socket_state::listening);
}

INSTANTIATE_TEST_SUITE_P(Cases, EndedConnectionTest,
                         testing::Values(ended_connection_case{"peer_closes", false},
                                         ended_connection_case{"peer_resets", true}),
                         [](const testing::TestParamInfo<ended_connection_case>& row) {
                             return row.param.name;
                         });

TEST_F(SocketServerTest, PeerThatStopsSendingIsStillServed) {
    server.listen();
    loopback_peer& peer = connect_peer();
    peer.shut_down_sending();
    std::string served = banner_line;
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(pump_until([&] { return all_ready(); }));
        send_to_all(batch(n));
        served += text_of(batch(n));
    }
    EXPECT_TRUE(pump_until([&] { return peer.received() == served; }));
    EXPECT_FALSE(peer.ended());
    EXPECT_EQ(server.client_count(), 1);
}

TEST_F(SocketServerTest, ClosingTheListenerThenEachClientDropsEveryone) {
    server.listen();
    const quint16 port = server.listening_port();
    for (int i = 0; i < 3; ++i) connect_peer();
    std::vector<std::pair<socket_state, socket_state>> changes;
    QObject::connect(&server, &TWSocketServer::state_changed,
                     [&](TWSocketServer*, socket_state old_state, socket_state new_state) {
                         changes.emplace_back(old_state, new_state);
                     });

    server.close();
    EXPECT_EQ(changes, (std::vector{std::pair{socket_state::listening, socket_state::closed}}));
    EXPECT_EQ(server.listening_port(), 0);
    EXPECT_FALSE(loopback_peer(port).wait_connected(wait_ms)) << "a closed server took a connection";

    // Closing the listener alone leaves the clients served.
    ASSERT_TRUE(pump_until([&] { return all_ready(); }));
    send_to_all(batch(0));
    const std::string served = banner_line + text_of(batch(0));
    EXPECT_TRUE(pump_until([&] {
        for (const auto& peer : peers)
            if (peer->received() != served) return false;
        return true;
    }));

    // Then every client in list order, by index, as the output's owner does.
    for (int i = 0; i < server.client_count(); ++i) server.client(i)->close();
    for (const auto& client : announced) EXPECT_EQ(client->state(), socket_state::closed);
    EXPECT_TRUE(pump_until([&] {
        for (const auto& peer : peers)
            if (!peer->ended()) return false;
        return true;
    }));
    for (const auto& peer : peers) EXPECT_EQ(peer->end_error(), ECONNRESET) << "closed without a reset";
    EXPECT_TRUE(pump_until([&] { return server.client_count() == 0; }));

    // Reopening on the same port works at once.
    server.set_port(port);
    server.listen();
    EXPECT_EQ(server.listening_port(), port);
    loopback_peer& newcomer = connect_peer();
    EXPECT_TRUE(pump_until([&] { return newcomer.received() == banner_line; }));
    try {
        server.listen();
        ADD_FAILURE() << "listen on a listening server succeeded";
    } catch (const socket_error& e) {
        EXPECT_EQ(e.code(), QAbstractSocket::OperationError);
    }
    EXPECT_EQ(server.state(), socket_state::listening);
}

struct background_case {
    const char* name;
    bool in_client_handler;
    bool keep;
    friend void PrintTo(const background_case& c, std::ostream* out) { *out << c.name; }
};

class BackgroundErrorTest : public SocketServerTest, public testing::WithParamInterface<background_case> {};

TEST_P(BackgroundErrorTest, HandlerExceptionIsReportedAndAnswered) {
    const background_case& c = GetParam();
    owner_reads = false;
    QStringList errors;
    const auto record = [&errors, keep = c.keep](const QString& error, bool* can_abort) {
        errors << error;
        if (keep) *can_abort = false;
    };
    if (c.in_client_handler) {
        on_connect = [&](TWSocketClient* client) {
            QObject::connect(client, &TWSocketClient::data_available, client,
                             [](TWSocketClient*) { throw std::runtime_error("boom"); });
            QObject::connect(
                client, &TWSocketClient::background_error, client,
                [&](TWSocketClient*, const QString& error, bool* can_abort) { record(error, can_abort); });
        };
    } else {
        on_connect = [](TWSocketClient*) { throw std::runtime_error("boom"); };
        QObject::connect(
            &server, &TWSocketServer::background_error,
            [&](TWSocketServer*, const QString& error, bool* can_abort) { record(error, can_abort); });
    }
    server.listen();
    loopback_peer& peer = connect_peer();
    if (c.in_client_handler) peer.send_some("hello\r\n");
    EXPECT_TRUE(pump_until([&] { return !errors.isEmpty(); }));
    EXPECT_EQ(errors, QStringList{QStringLiteral("std::runtime_error: boom")});

    if (c.in_client_handler && !c.keep) {
        EXPECT_TRUE(pump_until([&] { return peer.ended(); }));
        EXPECT_EQ(peer.end_error(), ECONNRESET);
        EXPECT_TRUE(pump_until([&] { return server.client_count() == 0; }));
        return;
    }
    EXPECT_EQ(server.state(), c.in_client_handler || c.keep ? socket_state::listening : socket_state::closed);
    ASSERT_TRUE(pump_until([&] { return all_ready(); }));
    send_to_all(batch(0));
    const std::string served = banner_line + text_of(batch(0));
    EXPECT_TRUE(pump_until([&] { return peer.received() == served; })) << "the connection did not carry on";
}

INSTANTIATE_TEST_SUITE_P(Cases, BackgroundErrorTest,
                         testing::Values(background_case{"server_handler_keep_listening", false, true},
                                         background_case{"server_handler_abort_closes_server", false, false},
                                         background_case{"client_handler_keep_connection", true, true},
                                         background_case{"client_handler_abort_resets_client", true, false}),
                         [](const testing::TestParamInfo<background_case>& row) { return row.param.name; });

// A state handler that throws while the owner calls listen() must not unwind into the owner:
// it is a background error like any other, and the close it causes is reported as well.
TEST_F(SocketServerTest, StateHandlerExceptionBecomesABackgroundError) {
    QStringList errors;
    QObject::connect(&server, &TWSocketServer::state_changed,
                     [](TWSocketServer*, socket_state, socket_state) { throw std::runtime_error("boom"); });
    QObject::connect(&server, &TWSocketServer::background_error,
                     [&](TWSocketServer*, const QString& error, bool*) { errors << error; });
    EXPECT_NO_THROW(server.listen());
    EXPECT_EQ(server.state(), socket_state::closed);
    EXPECT_EQ(errors, QStringList(2, QStringLiteral("std::runtime_error: boom")));
}

TEST_F(SocketServerTest, EmptySendIsAnsweredAndClosedClientRefusesToSend) {
    server.listen();
    loopback_peer& peer = connect_peer();
    TTcpSrvClient* client = announced.at(0);
    ASSERT_TRUE(pump_until([&] { return peer.received() == banner_line && client->ready; }));
    client->ready = false;
    EXPECT_TRUE(client->send(""));
    EXPECT_TRUE(pump_until([&] { return client->ready; })) << "an empty send left its sender waiting";

    client->close();
    EXPECT_FALSE(client->send(batch(0)));
}

// Highest open descriptor number of the process.
int highest_descriptor() {
    int highest = 0;
    DIR* listing = ::opendir("/proc/self/fd");
    while (const dirent* entry = ::readdir(listing)) highest = std::max(highest, std::atoi(entry->d_name));
    ::closedir(listing);
    return highest;
}

// The process out of descriptors for as long as it lives: the limit lowered to what is open,
// and whatever is left under it taken. Restores both when it goes.
class descriptors_used_up {
  public:
    descriptors_used_up() {
        ::getrlimit(RLIMIT_NOFILE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = static_cast<rlim_t>(highest_descriptor()) + 1;
        lowered_ok = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers.push_back(fd);
    }
    ~descriptors_used_up() { release(); }
    descriptors_used_up(const descriptors_used_up&) = delete;
    descriptors_used_up& operator=(const descriptors_used_up&) = delete;

    bool lowered() const { return lowered_ok; }
    void release() {
        for (const int fd : fillers) ::close(fd);
        fillers.clear();
        if (lowered_ok) ::setrlimit(RLIMIT_NOFILE, &saved);
        lowered_ok = false;
    }

  private:
    rlimit saved{};
    bool lowered_ok = false;
    std::vector<int> fillers;
};

TEST_F(SocketServerTest, AcceptFailureIsReportedAndRetried) {
    QStringList errors;
    QObject::connect(&server, &TWSocketServer::background_error,
                     [&](TWSocketServer*, const QString& error, bool* can_abort) {
                         errors << error;
                         *can_abort = false;
                     });
    server.listen();
    // A sanitizer runtime probes memory through a pipe the first time it checks a call; the
    // calls made once here, before the descriptors run out, are the ones made while they are.
    pump_for(1);
    peers.push_back(std::make_unique<loopback_peer>(server.listening_port()));
    loopback_peer& peer = *peers.back();
    ASSERT_TRUE(peer.wait_connected(wait_ms));

    // Out of descriptors: the accept fails.
    descriptors_used_up shortage;
    ASSERT_TRUE(shortage.lowered());
    const bool reported = pump_until([&] { return !errors.isEmpty(); });
    shortage.release();

    EXPECT_TRUE(reported);
    EXPECT_TRUE(errors.value(0).startsWith(QStringLiteral("accept failed: ")))
        << errors.value(0).toStdString();
    EXPECT_EQ(server.state(), socket_state::listening);
    EXPECT_EQ(server.client_count(), 0);
    EXPECT_TRUE(
        pump_until([&] { return peer.received() == banner_line; }, TWSocketServer::accept_retry_ms + wait_ms))
        << "the waiting connection was never accepted";
}

// CPU time of the whole process, user and system.
double cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

TEST_F(SocketServerTest, OutOfDescriptorsWaitingClientsAreRefusedWithoutSpinning) {
    QObject::connect(&server, &TWSocketServer::background_error,
                     [&](TWSocketServer*, const QString&, bool* can_abort) { *can_abort = false; });
    server.listen();
    // A server that has accepted once, as every output has.
    connect_peer();
    const auto waiting = static_cast<std::ptrdiff_t>(peers.size());
    // Connected before the descriptors run out, accepted only after.
    for (int i = 0; i < 3; ++i) {
        peers.push_back(std::make_unique<loopback_peer>(server.listening_port()));
        ASSERT_TRUE(peers.back()->wait_connected(wait_ms));
    }

    descriptors_used_up shortage;
    ASSERT_TRUE(shortage.lowered());
    const double cpu_before = cpu_seconds();
    const auto wall_before = steady_clock::now();
    const bool refused = pump_until(
        [&] {
            return std::all_of(peers.begin() + waiting, peers.end(),
                               [](const auto& peer) { return peer->ended(); });
        },
        4 * TWSocketServer::accept_retry_ms);
    pump_for(TWSocketServer::accept_retry_ms);
    const double cpu_share =
        (cpu_seconds() - cpu_before) / duration<double>(steady_clock::now() - wall_before).count();
    shortage.release();

    std::cout << "CPU at the descriptor limit: " << 100 * cpu_share << " %\n";
    EXPECT_TRUE(refused) << "clients were left hanging";
    EXPECT_LT(cpu_share, 0.5) << "accepting spins";
    EXPECT_EQ(server.client_count(), 1);
    loopback_peer& newcomer = connect_peer();
    EXPECT_TRUE(pump_until([&] { return newcomer.received() == banner_line; },
                           TWSocketServer::accept_retry_ms + wait_ms));
}

TEST_F(SocketServerTest, BacklogBoundsTheConnectionsWaitingToBeAccepted) {
    server.set_backlog(5);
    server.listen();
    // No event loop runs here, so nothing is accepted: the system alone completes connections,
    // as many as the backlog holds (Linux holds one more than asked).
    std::vector<std::unique_ptr<loopback_peer>> waiting;
    for (int i = 0; i < 12; ++i) waiting.push_back(std::make_unique<loopback_peer>(server.listening_port()));
    int completed = 0;
    for (const auto& peer : waiting) completed += peer->wait_connected(20) ? 1 : 0;
    EXPECT_GE(completed, 5);
    EXPECT_LE(completed, 6);
}

// Faults of the link between the gateway and its displays, made in network namespaces of the
// test's own: the server listens in near, the display that misbehaves connects from far.
class DisplayLinkTest : public SocketServerTest {
  protected:
    void SetUp() override {
        SocketServerTest::SetUp();
        if (const std::string reason = test::veth_link::unavailable_reason(); !reason.empty())
            GTEST_SKIP() << reason;
        link = std::make_unique<test::veth_link>();
        server.set_address(QStringLiteral("0.0.0.0"));
        server.listen();
    }

    loopback_peer& connect_far_peer(int receive_buffer = 0) {
        const std::size_t before = announced.size();
        link->in_far([&] {
            peers.push_back(std::make_unique<loopback_peer>(server.listening_port(), receive_buffer,
                                                            test::veth_link::near_address));
        });
        EXPECT_TRUE(peers.back()->wait_connected(wait_ms));
        EXPECT_TRUE(pump_until([&] { return announced.size() > before; })) << "connection not announced";
        return *peers.back();
    }

    // Serves an output for `ms` as its owner does, a batch every 100 ms to each client that has
    // written the last one, and answers the longest time `good` went without new data.
    double longest_silence_s(const loopback_peer& good, int ms) {
        auto next_batch = steady_clock::now();
        auto last_arrival = next_batch;
        std::size_t seen = good.received().size();
        duration<double> longest{0};
        int n = 0;
        pump_for_each_turn(ms, [&] {
            const auto now = steady_clock::now();
            if (now >= next_batch) {
                if (batch_due(server)) send_to_ready_clients(server, batch(n++, 30));
                next_batch += std::chrono::milliseconds(100);
            }
            if (good.received().size() != seen) {
                seen = good.received().size();
                last_arrival = now;
            }
            longest = std::max<duration<double>>(longest, now - last_arrival);
        });
        return longest.count();
    }

    template <class Turn>
    void pump_for_each_turn(int ms, Turn turn) {
        static_cast<void>(pump_until(
            [&] {
                turn();
                return false;
            },
            ms));
    }

    std::unique_ptr<test::veth_link> link;
};

TEST_F(DisplayLinkTest, VanishedDisplayIsDroppedAndTheOthersResume) {
    loopback_peer& near_peer = connect_peer();
    loopback_peer& far_peer = connect_far_peer();
    ASSERT_TRUE(pump_until([&] { return far_peer.received() == banner_line; }));

    ASSERT_TRUE(link->command("far", "ip link set {dev} down"));
    auto last_arrival = steady_clock::now();
    duration<double> longest_stall{0};
    std::size_t seen = near_peer.received().size();
    int n = 0;
    // Far below the quarter of an hour the kernel alone keeps a dead connection.
    const bool resumed = pump_until(
        [&] {
            if (batch_due(server)) send_to_ready_clients(server, batch(n++));
            if (near_peer.received().size() == seen) return false;
            seen = near_peer.received().size();
            longest_stall = std::max<duration<double>>(longest_stall, steady_clock::now() - last_arrival);
            last_arrival = steady_clock::now();
            return server.client_count() == 1;
        },
        60000);
    std::cout << "other display stalled for " << longest_stall.count() << " s\n";
    EXPECT_TRUE(resumed) << "the vanished display was never dropped";
    EXPECT_LT(longest_stall.count(), 1.0) << "the vanished display held the other back";
}

// A display behind a 9600 bit/s radio link, fed forty sentences a second in ten kinds, where a
// newer sentence replaces a waiting one of its kind as in an output queue.
TEST_F(DisplayLinkTest, SlowDisplayGetsTheNewestValuesLateBySeconds) {
    ASSERT_TRUE(
        link->command("near", "tc qdisc add dev {dev} root tbf rate 9600bit burst 1600 latency 100ms"));
    loopback_peer& radio = connect_far_peer();
    const auto start = steady_clock::now();
    const auto now_ms = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(steady_clock::now() - start).count();
    };
    std::array<std::string, 10> waiting;
    constexpr int ticks = 300;
    for (int tick = 0; tick < ticks; ++tick) {
        for (int i = 0; i < 4; ++i) {
            const int kind = (tick * 4 + i) % static_cast<int>(waiting.size());
            waiting[kind] = with_checksum("$VLTX" + std::string(1, static_cast<char>('A' + kind)) + "," +
                                          std::to_string(now_ms()) + "," + std::string(48, '0')) +
                            "\r\n";
        }
        if (all_ready()) {
            std::string text;
            for (std::string& sentence : waiting) text += std::exchange(sentence, {});
            send_to_all(QByteArray::fromStdString(text));
        }
        pump_for(100);
    }

    const std::string& received = radio.received();
    const std::size_t end = received.rfind("\r\n");
    ASSERT_NE(end, std::string::npos);
    const std::size_t line = received.rfind("\r\n", end - 1) + 2;
    const long long stamp = std::atoll(received.c_str() + received.find(',', line) + 1);
    const double age = static_cast<double>(now_ms() - stamp) / 1000;
    std::cout << "newest value at the slow display is " << age << " s old after " << ticks / 10 << " s\n";
    EXPECT_LT(age, 10.0);
}

// A display program that hangs with its connection open: its receive window closes, and it is
// let go once it has taken nothing for the limit. The display beside it never waits for it.
TEST_F(DisplayLinkTest, NonReadingDisplayHoldsBackNoOtherAndIsDropped) {
    server.set_not_reading_limit_ms(2000);
    QStringList dropped;
    QObject::connect(&server, &TWSocketServer::clients_not_reading,
                     [&](TWSocketServer*, const QStringList& gone) { dropped << gone; });
    loopback_peer& good = connect_peer();
    loopback_peer& hung = connect_far_peer(4096);
    hung.reading = false;

    const double silence = longest_silence_s(good, 5000);
    std::cout << "good display silent for at most " << silence << " s\n";
    EXPECT_LT(silence, 1.0);
    ASSERT_EQ(dropped.size(), 1) << "the hung display was not dropped once";
    EXPECT_TRUE(dropped[0].startsWith(QStringLiteral("172.31.24.2:"))) << dropped[0].toStdString();
    EXPECT_EQ(server.not_reading_drops(), 1u);
    EXPECT_TRUE(pump_until([&] { return server.client_count() == 1; }));
    EXPECT_EQ(server.client(0), announced.at(0));
}

// A display behind a congested radio link that passes 20 bytes a second.
TEST_F(DisplayLinkTest, SlowDisplaySkipsBatchesWhileTheOtherKeepsItsPace) {
    ASSERT_TRUE(link->command("near", "tc qdisc add dev {dev} root tbf rate 160bit burst 1600 latency 1s"));
    loopback_peer& good = connect_peer();
    loopback_peer& radio = connect_far_peer();

    const double silence = longest_silence_s(good, 4000);
    std::cout << "good display silent for at most " << silence << " s beside " << radio.received().size()
              << " bytes over the radio link\n";
    EXPECT_LT(silence, 1.0);
    EXPECT_EQ(server.client_count(), 2);
}

// A host that opens connection after connection gets its cap; its first ones, and a display on
// another host, are served all the same.
TEST_F(DisplayLinkTest, ConnectionBeyondAHostsCapIsRefusedWhileAnotherHostIsServed) {
    constexpr int cap = 16;
    server.set_limit(client_limit::connections_per_host, cap);
    for (int i = 0; i < cap; ++i) connect_far_peer();
    link->in_far([&] {
        peers.push_back(
            std::make_unique<loopback_peer>(server.listening_port(), 0, test::veth_link::near_address));
    });
    expect_refused(*peers.back());
    EXPECT_EQ(limit_notices,
              (std::vector<limit_notice>{{client_limit::connections_per_host, 1, "172.31.24.2"}}));

    // The far side's next connections come from a second address.
    const auto send_from = [&](const char* address) {
        return link->command("far", std::string("ip route replace 172.31.24.0/24 dev {dev} src ") + address);
    };
    ASSERT_TRUE(link->command("far", "ip addr add 172.31.24.3/24 dev {dev}") && send_from("172.31.24.3"));
    loopback_peer& other_host = connect_far_peer();
    ASSERT_TRUE(pump_until([&] { return all_ready(); }));
    send_to_all(batch(0));
    const std::string served = banner_line + text_of(batch(0));
    for (int i = 0; i < cap; ++i)
        EXPECT_TRUE(pump_until([&] { return peers[i]->received() == served; })) << "connection " << i;
    EXPECT_TRUE(pump_until([&] { return other_host.received() == served; }));

    // A connection of the host that ends makes room for another.
    peers.front()->close(true);
    ASSERT_TRUE(pump_until([&] { return server.client_count() == cap; }));
    ASSERT_TRUE(send_from(test::veth_link::far_address));
    loopback_peer& again = connect_far_peer();
    EXPECT_TRUE(pump_until([&] { return again.received() == banner_line; }));
}

// Two hundred displays connecting at once and never reading, while a host opens and closes
// connections as fast as it can.
TEST_F(DisplayLinkTest, ConnectionStormLeavesTheGoodDisplayItsPace) {
    server.close();
    server.set_backlog(128);
    server.listen();
    loopback_peer& good = connect_peer();
    constexpr int held = 200;
    std::atomic<bool> storming{true};
    std::atomic<int> stormed{0};
    std::thread storm;
    const std::uint16_t port = server.listening_port();
    link->in_far([&] {
        for (int i = 0; i < held; ++i) {
            peers.push_back(std::make_unique<loopback_peer>(port, 4096, test::veth_link::near_address));
            peers.back()->reading = false;
        }
        // Made here, the thread's sockets are in far too.
        storm = std::thread([&] {
            for (int i = 0; i < 100000 && storming; ++i) {
                loopback_peer churn(port, 0, test::veth_link::near_address);
                if (churn.wait_connected(100)) ++stormed;
                churn.close(i % 2 == 0);
            }
        });
    });

    const double silence = longest_silence_s(good, 4000);
    storming = false;
    storm.join();
    std::cout << "good display silent for at most " << silence << " s; " << stormed
              << " connections opened and closed meanwhile; " << server.client_count() << " clients\n";
    EXPECT_LT(silence, 1.0);
    // Some of the storm's connections may still be on the list.
    EXPECT_GE(std::count_if(announced.begin(), announced.end(), [](const auto& c) { return !c.isNull(); }),
              held + 1)
        << "the burst was not all accepted, or held connections were lost";
}

}  // namespace
}  // namespace vorlane
