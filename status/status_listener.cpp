#include "status/status_listener.h"

#include <unistd.h>

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

#include "base/catalogue.h"
#include "status/status_pages.h"

namespace vorlane {

namespace {

using namespace std::chrono_literals;

// A monitoring system keeps one or two connections; a handful more lets a person's browser in
// beside it. A connection beyond them takes the place of the one that has waited longest for a
// request, or is closed at once when every place is busy answering: a client that connects to
// ask sends its request at once and has its answer within milliseconds, so the one that has
// waited longest is the one holding a place rather than asking.
constexpr int max_connections = 8;
// One host takes no more than a monitoring system and a browser need, so that a single host on
// the network cannot take every place.
constexpr int max_connections_per_address = 2;
// A request is a few hundred bytes: a connection that has sent this much in its life, or whose
// request announces more, is closed unread.
constexpr qint64 max_bytes_per_connection = 16 * 1024;
// Long enough for a monitoring system to reuse its connection for a few scrapes; short enough
// that a client that connects and sends nothing does not hold its place for long.
constexpr auto max_connection_life = 30s;
// A client sends its request at once; one that trickles it a byte at a time is holding a place.
// Counted from the accept, and from each answer for the next request, never from a byte.
constexpr auto max_request_time = 5s;

// However often they are asked for, the answers are made at most once a second each: a flood of
// requests costs the main thread little more than the writes, and what is served is never more
// than a second old.
constexpr auto max_answer_age = 1s;

struct answer {
    int status = 200;
    QByteArray type;
    QByteArray body;
};

answer plain_answer(int status, const char* text) {
    return {status, "text/plain; charset=utf-8", text};
}

// What happens to each refusal: answered with a 400 and its text, or closed without an answer
// (status 0); and how the minute's report counts it.
struct refusal_row {
    refusal kind;
    int status;
    const char* answer;
    const char* counted;
};
using enum refusal;
constexpr std::array refusal_catalogue{
    refusal_row{listener_full, 0, "", "connections closed for want of a place"},
    refusal_row{address_limit, 0, "", "connections beyond 2 from one address"},
    refusal_row{slow_request, 0, "", "requests not whole within 5 s"},
    refusal_row{oversized, 0, "", "requests over 16 KiB"},
    refusal_row{malformed, 400, "Not an HTTP/1.1 request.\n", "malformed requests"},
    refusal_row{content_length, 400, "Content-Length given twice or not a number.\n", "bad Content-Length"},
    refusal_row{upgrade, 400, "No protocol upgrade is offered.\n", "upgrade requests"},
    refusal_row{body, 400, "GET and HEAD carry no body.\n", "requests with a body"},
    refusal_row{foreign_host, 400, "The Host names no name of this listener.\n", "foreign Host names"},
};
static_assert(rows_follow_enum<&refusal_row::kind>(refusal_catalogue),
              "catalogue rows must follow the enum order");
static_assert(refusal_catalogue.size() == refusal_count);

const refusal_row& row_of(refusal kind) {
    return refusal_catalogue[static_cast<std::size_t>(kind)];
}

const char* reason_phrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        default:
            return "Bad Request";
    }
}

// HEAD gets the headers that GET would, its length included, and no body.
QByteArray answer_text(const answer& page, bool head_only, bool closing) {
    QByteArray text = "HTTP/1.1 " + QByteArray::number(page.status) + ' ' + reason_phrase(page.status) +
                      "\r\nContent-Type: " + page.type +
                      "\r\nContent-Length: " + QByteArray::number(page.body.size()) +
                      "\r\nCache-Control: no-store"
                      "\r\nX-Content-Type-Options: nosniff"
                      // The page draws with inline styles and SVG only: nothing may be fetched or run.
                      "\r\nContent-Security-Policy: default-src 'none'; style-src 'unsafe-inline'"
                      "\r\nAllow: GET, HEAD\r\n";
    if (closing) text += "Connection: close\r\n";
    text += "\r\n";
    if (!head_only) text += page.body;
    return text;
}

// What a request's Host may name besides localhost: the address the connection came in on and
// the names configured, lower case. A web page that gives its own name the listener's address
// sends that name, and is refused: the port is left unchecked, as a tunnel may forward another.
struct host_rule {
    QList<QByteArray> names;

    bool allows(const std::optional<std::string_view>& host, bool http_1_1, const QHostAddress& local) const {
        // An HTTP/1.0 client may send none; a browser always does.
        if (!host) return !http_1_1;
        const std::optional<std::string_view> name = host_name_of(*host);
        if (!name) return false;
        const QByteArray lower = QByteArray(name->data(), static_cast<qsizetype>(name->size())).toLower();
        if (lower == "localhost" || names.contains(lower)) return true;
        QHostAddress address;
        return address.setAddress(QString::fromLatin1(lower)) &&
               address.isEqual(local, QHostAddress::TolerantConversion);
    }
};

// The paths served, each with its content type and what makes its body.
struct page_row {
    const char* path;
    const char* type;
    QByteArray (*make)(const status_facts&, const status_history&, const QDateTime& started);
};
const std::array<page_row, status_listener::page_count> page_table{{
    {"/metrics", "text/plain; version=0.0.4; charset=utf-8",
     [](const status_facts& facts, const status_history&, const QDateTime& started) {
         return metrics_text(facts, started);
     }},
    {"/status", "application/json", &status_json},
    {"/", "text/html; charset=utf-8", &status_page},
}};

using page_maker = std::function<answer(std::string_view path)>;
using refusal_counter = std::function<void(refusal)>;

// One client's connection: requests read whole, one at a time, each answered or refused before
// the next is read. Deletes itself when the connection ends.
class status_connection : public QObject {
  public:
    status_connection(QTcpSocket* client, const host_rule& host_names, const page_maker& page_answers,
                      const refusal_counter& counter)
        : socket(client), hosts(host_names), pages(page_answers), count(counter) {
        socket->setParent(this);
        request_timer.setSingleShot(true);
        connect(&request_timer, &QTimer::timeout, this, [this] {
            if (waiting_for_first || !pending.isEmpty() || body_left > 0) count(slow_request);
            end();
        });
        request_timer.start(max_request_time);
        QTimer::singleShot(max_connection_life, this, [this] { end(); });
        connect(socket, &QTcpSocket::readyRead, this, &status_connection::read);
        connect(socket, &QTcpSocket::bytesWritten, this, &status_connection::serve);
        connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    }

    // Whether the connection may be closed for a newcomer: it waits for a request and has no
    // answer left to send.
    bool may_give_way() const { return !closing && socket->bytesToWrite() == 0; }
    bool is_closing() const { return closing; }

    void give_way() {
        count(listener_full);
        end();
    }

  private:
    void read() {
        const QByteArray bytes = socket->readAll();
        if (closing) return;
        received += bytes.size();
        if (received >= max_bytes_per_connection) return refuse(oversized);
        pending += bytes;
        serve();
    }

    // The next request waits until the last answer is with the kernel: a client that sends
    // requests and reads no answers would otherwise have every answer, each far larger than its
    // request, kept here at once.
    void serve() {
        while (!closing && socket->bytesToWrite() == 0) {
            if (body_left > 0) {
                const qsizetype taken = std::min<qsizetype>(body_left, pending.size());
                pending.remove(0, taken);
                body_left -= taken;
                if (body_left > 0) return;
                send(after_body, false, true);
                return;
            }
            const qsizetype head_end = pending.indexOf("\r\n\r\n");
            if (head_end < 0) return;
            const QByteArray text = pending.left(head_end);
            pending.remove(0, head_end + 4);
            answer_request(
                read_request_head(std::string_view(text.constData(), static_cast<std::size_t>(text.size()))),
                head_end + 4);
        }
    }

    void answer_request(const request_head& head, qsizetype head_size) {
        if (head.fault) return refuse(*head.fault);
        if (head.content_length > static_cast<std::size_t>(max_bytes_per_connection - head_size))
            return refuse(oversized);
        if (!hosts.allows(head.host, head.http_1_1, socket->localAddress())) return refuse(foreign_host);
        if (head.upgrade) return refuse(upgrade);
        const bool head_only = head.method == "HEAD";
        if (head.method != "GET" && !head_only)
            return answer_after_body(head, plain_answer(405, "Only GET and HEAD are answered.\n"));
        if (head.content_length > 0 || head.coded_body) {
            count(body);
            return answer_after_body(head, plain_answer(400, row_of(body).answer));
        }
        send(pages(head.path), head_only, !head.keep_alive);
        if (closing) return;
        waiting_for_first = false;
        request_timer.start(max_request_time);
    }

    // A body of a known length is read and dropped before the answer, so that closing with it
    // unread does not reset the connection under the answer.
    void answer_after_body(const request_head& head, const answer& page) {
        if (head.coded_body || head.content_length == 0) return send(page, false, true);
        body_left = static_cast<qsizetype>(head.content_length);
        after_body = page;
    }

    void refuse(refusal kind) {
        count(kind);
        const refusal_row& row = row_of(kind);
        if (row.status == 0) return end();
        send(plain_answer(row.status, row.answer), false, true);
    }

    void send(const answer& page, bool head_only, bool close) {
        socket->write(answer_text(page, head_only, close));
        if (!close) return;
        closing = true;
        request_timer.stop();
        socket->disconnectFromHost();
    }

    void end() {
        closing = true;
        socket->abort();
        deleteLater();
    }

    QTcpSocket* socket;
    const host_rule& hosts;
    const page_maker& pages;
    const refusal_counter& count;
    QTimer request_timer;
    QByteArray pending;
    qint64 received = 0;
    qsizetype body_left = 0;
    answer after_body;
    bool waiting_for_first = true;
    bool closing = false;
};

std::array<input_drops, junction_box_count> counts_of(const status_facts& facts) {
    std::array<input_drops, junction_box_count> counts;
    for (std::size_t k = 0; k < counts.size(); ++k) counts[k] = facts.inputs[k].counts;
    return counts;
}

}  // namespace

// Keeps at most max_connections open and max_connections_per_address from one peer, and hands
// each to a status_connection. It never stops accepting: a connection that waits in the kernel's
// backlog cannot be told from one that is served, and those that hold places would keep it
// there.
class status_server : public QTcpServer {
  public:
    status_server(page_maker page_answers, refusal_counter counter)
        : pages(std::move(page_answers)), count(std::move(counter)) {}

    void take_host_names(const std::string& list) {
        QList<QByteArray> names;
        for (const QByteArray& name : QByteArray::fromStdString(list).split(','))
            if (const QByteArray kept = name.trimmed().toLower(); !kept.isEmpty()) names.append(kept);
        hosts.names = names;
    }

  protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            ::close(static_cast<int>(descriptor));
            delete socket;
            return;
        }
        const QHostAddress peer = socket->peerAddress();
        if (per_address.value(peer) >= max_connections_per_address) {
            delete socket;
            return count(address_limit);
        }
        if (!make_room()) {
            delete socket;
            return count(listener_full);
        }
        ++per_address[peer];
        auto* connection = new status_connection(socket, hosts, pages, count);
        connection->setParent(this);
        open.push_back(connection);
        connect(connection, &QObject::destroyed, this, [this, peer, connection] {
            if (--per_address[peer] == 0) per_address.remove(peer);
            std::erase(open, connection);
        });
    }

  private:
    // A place is free, or made free by the connection accepted first among those that may give
    // way; closing ones are on their way out and hold none.
    bool make_room() {
        status_connection* first_to_give_way = nullptr;
        int holding = 0;
        for (status_connection* connection : open) {
            if (connection->is_closing()) continue;
            ++holding;
            if (first_to_give_way == nullptr && connection->may_give_way()) first_to_give_way = connection;
        }
        if (holding < max_connections) return true;
        if (first_to_give_way == nullptr) return false;
        first_to_give_way->give_way();
        return true;
    }

  private:
    const page_maker pages;
    const refusal_counter count;
    host_rule hosts;
    // In the order they were accepted.
    std::vector<status_connection*> open;
    QHash<QHostAddress, int> per_address;
};

status_listener::status_listener(const status_source& facts, const drop_hour& hour, QObject* parent)
    : QObject(parent),
      source(facts),
      started(QDateTime::currentDateTimeUtc()),
      history(hour),
      minute_timer(new QTimer(this)) {
    connect(minute_timer, &QTimer::timeout, this, &status_listener::close_minute);
    minute_timer->start(1min);
}

status_listener::~status_listener() = default;

void status_listener::close_minute() {
    history.close_minute(counts_of(source.current_status()));
    report_refusals();
}

// One line a minute at most, and none in a quiet minute: a flood of refused requests must not
// crowd the gateway's own lines out of the journal.
void status_listener::report_refusals() {
    std::string counts;
    for (std::size_t k = 0; k < refused.size(); ++k) {
        if (refused[k] == 0) continue;
        counts +=
            (counts.empty() ? "" : ", ") + std::to_string(refused[k]) + " " + refusal_catalogue[k].counted;
        refused[k] = 0;
    }
    if (!counts.empty())
        std::fprintf(stderr, "vorlane: status listener refused in the last minute: %s\n", counts.c_str());
}

void status_listener::keep_open(const std::string& address, int port,
                                const std::array<int, output_count>& output_ports,
                                const std::string& host_names) {
    if (port == 0) {
        close();
        return;
    }
    if (server && address == open_address && port == open_port) return server->take_host_names(host_names);
    close();

    QHostAddress host;
    std::string failure;
    auto listener = std::make_unique<status_server>(
        [this](std::string_view path) -> answer {
            for (std::size_t k = 0; k < page_table.size(); ++k) {
                if (path != page_table[k].path) continue;
                made_answer& kept = made[k];
                const auto now = std::chrono::steady_clock::now();
                if (kept.body.isEmpty() || now - kept.made >= max_answer_age) {
                    kept.body = page_table[k].make(source.current_status(), history, started);
                    kept.made = now;
                }
                return {200, page_table[k].type, kept.body};
            }
            return plain_answer(404, "Not found.\n");
        },
        [this](refusal kind) { ++refused[static_cast<std::size_t>(kind)]; });
    if (!host.setAddress(QString::fromStdString(address)))
        failure = "\"" + address + "\" is no IP address";
    else if (std::find(output_ports.begin(), output_ports.end(), port) != output_ports.end())
        failure = "the port is an output's";
    else if (!listener->listen(host, static_cast<quint16>(port)))
        failure = listener->errorString().toStdString();
    const std::string where =
        "http://" + (host.protocol() == QAbstractSocket::IPv6Protocol ? "[" + address + "]" : address) + ":" +
        std::to_string(port) + "/";
    if (!failure.empty()) {
        if (failure != last_failure)
            std::fprintf(stderr, "vorlane: status listener not open on %s: %s\n", where.c_str(),
                         failure.c_str());
        last_failure = failure;
        return;
    }
    last_failure.clear();
    listener->take_host_names(host_names);
    server = std::move(listener);
    open_address = address;
    open_port = port;
    std::fprintf(stderr, "vorlane: status listener on %s\n", where.c_str());
}

void status_listener::close() {
    server.reset();
    open_address.clear();
    open_port = 0;
}

}  // namespace vorlane
