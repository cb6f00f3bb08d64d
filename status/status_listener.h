#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "status/request_head.h"
#include "status/status_facts.h"
#include "status/status_history.h"

class QTimer;

namespace vorlane {

class status_server;

// The read-only HTTP listener that the ship's monitoring reads: GET or HEAD of /metrics
// (Prometheus' text format), /status (JSON) and / (a page for people). It answers from a copy of
// the facts taken on the main thread when a request comes, so the sentence path never waits for
// it; nothing it serves changes the gateway or tells more than the status line and the
// Statistics window do. It reads the requests itself, strictly and a few forms only, so that no
// connection can hold it and no web page can read it through a name of its own.
class status_listener : public QObject {
  public:
    // The history starts now: the counts since start are the minutes' baseline. `hour` is the
    // hour of drops the event log tells, which the answers quote.
    status_listener(const status_source& facts, const drop_hour& hour, QObject* parent = nullptr);
    ~status_listener() override;

    // Listens on address:port unless it does so already, closing any other listener first; port
    // 0 closes it, and the port of an output is left to the output whatever the settings say.
    // Called again and again, it tries again after a failure. Whether it listens is written to
    // standard error (the journal under the service manager) when that changes, and once a minute
    // what it refused in that minute: the status line and the event log stay the data path's.
    // host_names: the comma-separated names a request's Host may give besides the address and
    // localhost.
    void keep_open(const std::string& address, int port, const std::array<int, output_count>& output_ports,
                   const std::string& host_names);
    void close();

    // /metrics, /status and /.
    static constexpr std::size_t page_count = 3;

  private:
    void close_minute();
    void report_refusals();

    const status_source& source;
    const QDateTime started;
    status_history history;
    QTimer* minute_timer;
    // Owns the TCP listener and its connections; empty while closed.
    std::unique_ptr<status_server> server;
    std::string open_address;
    int open_port = 0;
    std::string last_failure;
    // The newest answer for each page and when it was made.
    struct made_answer {
        QByteArray body;
        std::chrono::steady_clock::time_point made{};
    };
    std::array<made_answer, page_count> made{};
    // Refused since the last report, by what was refused.
    std::array<std::uint64_t, refusal_count> refused{};
};

}  // namespace vorlane
