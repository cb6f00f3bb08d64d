#include "status/status_listener.h"

#include <unistd.h>

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>

#include "status/status_pages.h"

namespace vorlane {

namespace {

using namespace std::chrono_literals;
using status_code = QHttpServerResponder::StatusCode;

// A monitoring system keeps one or two connections; a handful more lets a person's browser in
// beside it. Further connections wait in the kernel's backlog until one closes, or are closed
// when they arrive together with those that reach the bound.
constexpr int max_connections = 8;
// A request is a few hundred bytes: a connection that has sent this much in its life is closed.
// It is also the socket's read buffer, which the HTTP layer keeps whole until a request is
// complete: a request body, never used, is not read past it.
constexpr qint64 max_bytes_per_connection = 16 * 1024;
// Long enough for a monitoring system to reuse its connection for a few scrapes; short enough
// that a client that connects and sends nothing does not hold its place for long.
constexpr auto max_connection_life = 30s;

// Accepts at most max_connections at once, and closes each connection that lives too long or
// sends too much, before the HTTP layer sees its bytes.
class bounded_tcp_server : public QTcpServer {
  public:
    using QTcpServer::QTcpServer;

  protected:
    void incomingConnection(qintptr descriptor) override {
        // Pausing stops the next wake-up, not the accepts of this one: those beyond the bound
        // are closed at once.
        if (open_connections >= max_connections) {
            ::close(static_cast<int>(descriptor));
            return;
        }
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            ::close(static_cast<int>(descriptor));
            delete socket;
            return;
        }
        socket->setReadBufferSize(max_bytes_per_connection);
        if (++open_connections >= max_connections) pauseAccepting();
        connect(socket, &QObject::destroyed, this, [this] {
            --open_connections;
            resumeAccepting();
        });
        // Connected before the HTTP layer's own handler, so it sees the bytes first.
        connect(socket, &QTcpSocket::readyRead, socket, [socket, received = qint64{0}]() mutable {
            received += socket->bytesAvailable();
            if (received >= max_bytes_per_connection) end(socket);
        });
        QTimer::singleShot(max_connection_life, socket, [socket] { end(socket); });
        addPendingConnection(socket);
    }

  private:
    static void end(QTcpSocket* socket) {
        socket->abort();
        socket->deleteLater();
    }

    int open_connections = 0;
};

// However often they are asked for, the answers are made at most once a second each: a flood of
// requests costs the main thread little more than the writes, and what is served is never more
// than a second old.
constexpr auto max_answer_age = 1s;

// The paths served, each with its content type and what makes its body.
struct page_row {
    const char* path;
    const char* type;
    QByteArray (*make)(const status_facts&, const status_history&, const QDateTime& started);
};
const std::array<page_row, status_listener::page_count> pages{{
    {"/metrics", "text/plain; version=0.0.4; charset=utf-8",
     [](const status_facts& facts, const status_history&, const QDateTime& started) {
         return metrics_text(facts, started);
     }},
    {"/status", "application/json", &status_json},
    {"/", "text/html; charset=utf-8", &status_page},
}};

struct answer {
    status_code status = status_code::Ok;
    QByteArray type;
    QByteArray body;
};

answer not_found() {
    return {status_code::NotFound, "text/plain; charset=utf-8", "Not found.\n"};
}

// GET and HEAD of three paths; every other method is refused whatever the path.
class status_http_server : public QAbstractHttpServer {
  public:
    using page_maker = std::function<answer(const QString& path)>;
    explicit status_http_server(page_maker maker) : make_page(std::move(maker)) {}

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        QHttpServerResponder responder = makeResponder(request, socket);
        const QHttpServerRequest::Method method = request.method();
        if (method != QHttpServerRequest::Method::Get && method != QHttpServerRequest::Method::Head) {
            respond(responder, false,
                    {status_code::MethodNotAllowed, "text/plain; charset=utf-8",
                     "Only GET and HEAD are answered.\n"});
            return true;
        }
        respond(responder, method == QHttpServerRequest::Method::Head, make_page(request.url().path()));
        return true;
    }

    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        QHttpServerResponder responder = makeResponder(request, socket);
        respond(responder, false, not_found());
    }

  private:
    // HEAD gets the headers that GET would, its length included, and no body.
    static void respond(QHttpServerResponder& responder, bool head_only, const answer& page) {
        responder.writeStatusLine(page.status);
        responder.writeHeaders({
            {"Content-Type", page.type},
            {"Content-Length", QByteArray::number(page.body.size())},
            {"Cache-Control", "no-store"},
            {"X-Content-Type-Options", "nosniff"},
            // The page draws with inline styles and SVG only: nothing may be fetched or run.
            {"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'"},
            {"Allow", "GET, HEAD"},
        });
        // The empty line that ends the headers comes with the body, an empty one for HEAD.
        responder.writeBody(head_only ? QByteArray() : page.body);
    }

    page_maker make_page;
};

std::array<input_drops, status_input_count> counts_of(const status_facts& facts) {
    std::array<input_drops, status_input_count> counts;
    for (std::size_t k = 0; k < counts.size(); ++k) counts[k] = facts.inputs[k].counts;
    return counts;
}

}  // namespace

status_listener::status_listener(const status_source& facts, QObject* parent)
    : QObject(parent),
      source(facts),
      started(QDateTime::currentDateTimeUtc()),
      minute_timer(new QTimer(this)) {
    connect(minute_timer, &QTimer::timeout, this, &status_listener::close_minute);
    minute_timer->start(1min);
}

status_listener::~status_listener() = default;

void status_listener::close_minute() {
    history.close_minute(counts_of(source.current_status()));
}

void status_listener::keep_open(const std::string& address, int port,
                                const std::array<int, output_count>& output_ports) {
    if (port == 0) {
        close();
        return;
    }
    if (server && address == open_address && port == open_port) return;
    close();

    QHostAddress host;
    std::string failure;
    auto listener = std::make_unique<bounded_tcp_server>();
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
    server = std::make_unique<status_http_server>([this](const QString& path) -> answer {
        for (std::size_t k = 0; k < pages.size(); ++k) {
            if (path != QLatin1String(pages[k].path)) continue;
            made_answer& kept = made[k];
            const auto now = std::chrono::steady_clock::now();
            if (kept.body.isEmpty() || now - kept.made >= max_answer_age) {
                kept.body = pages[k].make(source.current_status(), history, started);
                kept.made = now;
            }
            return {status_code::Ok, pages[k].type, kept.body};
        }
        return not_found();
    });
    server->bind(listener.release());
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
