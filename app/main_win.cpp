#include "app/main_win.h"

#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <exception>

#include "app/datagram_hand_over.h"
#include "app/stream_input.h"
#include "base/exception_name.h"
#include "capture/capture_api.h"
#include "net/tcp_srv_client.h"
#include "status/status_listener.h"

namespace vorlane {

namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

std::string error_text(const char* code, const std::exception& e) {
    return format("Error %s: %s", code, exception_name(e).c_str());
}

// The listen error on one line, as the status line and the log show it.
std::string one_line(std::string_view text) {
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            line += ' ';
            ++i;
        } else {
            line += text[i];
        }
    }
    return line;
}

}  // namespace

TMainWin::TMainWin(config_manager& settings, nmea_manager& streams, const std::filesystem::path& program_dir,
                   const input_factory& make_input, timers mode, QObject* parent)
    : QObject(parent),
      config(settings),
      manager(streams),
      config_file(program_dir / config_file_name),
      log(program_dir / event_log_file_name, settings, *this),
      WSocketServerOut1(new TWSocketServer(this)),
      WSocketServerOut2(new TWSocketServer(this)),
      Timer1Sec(new QTimer(this)),
      Timer100ms(new QTimer(this)),
      addresses(new address_watch(this)),
      status_http(new status_listener(*this, this)) {
    for (int o = 0; o < output_count; ++o) {
        TWSocketServer* server = output_server(o);
        server->set_tag(o);
        // A burst of displays connecting at once (a bridge powering up, a switch coming back)
        // must not find the queue of waiting connections full and wait for SYN retries.
        server->set_backlog(output_backlog);
        server->set_banner("KestavTranslator");
        server->set_client_class<TTcpSrvClient>();
        connect(server, &TWSocketServer::state_changed, this, &TMainWin::WSocketServerOutChangeState);
        connect(server, &TWSocketServer::background_error, this, &TMainWin::WSocketServerOutBgException);
        connect(server, &TWSocketServer::client_connected, this, &TMainWin::WSocketServerOutClientConnect);
        connect(server, &TWSocketServer::clients_not_reading, this,
                &TMainWin::WSocketServerOutClientsNotReading);
    }
    connect(Timer1Sec, &QTimer::timeout, this, &TMainWin::Timer1SecTimer);
    connect(Timer100ms, &QTimer::timeout, this, &TMainWin::Timer100msTimer);
    connect(addresses, &address_watch::addresses_changed, this, &TMainWin::on_addresses_changed);

    input = make_input(*this);
    capture_loaded = input->library_loaded();

    if (mode == timers::running) {
        Timer1Sec->start(1000);
        Timer100ms->start(100);
    }
}

TMainWin::~TMainWin() {
    service.stopping();
    closing = true;
    Timer1Sec->stop();
    Timer100ms->stop();
    input->stop_thread();
    close_outputs();
    input.reset();
}

int TMainWin::retry_delay(int failures) {
    if (failures < 10) return 10;
    if (failures < 20) return 60;
    if (failures < 30) return 3600;
    return ticks_per_day;
}

void TMainWin::update_status(const std::string& text, bool write_log) {
    log.update_status(text, write_log);
    service.status(text);
}

void TMainWin::operator_confirmed_exit() {
    exit_confirmed_ = true;
    update_status("Vorlane closed by operator", true);
}

std::string TMainWin::served_address() const {
    return config.output_ip == "0.0.0.0" ? first_adapter_ip() : config.output_ip;
}

// --- 1-second supervision -------------------------------------------------------------------

void TMainWin::Timer1SecTimer() {
    service.alive();
    if (--drop_report_countdown == 0) {
        drop_report_countdown = ticks_per_hour;
        report_hourly_drops();
    }
    emit statistics_tick();
    if (!startup_done) {
        data_path_ready = false;
        update_status("Kestav Translator starting...", true);
        startup_done = true;
        // The settings are not read yet: this first shortening uses the default limit.
        log.shorten_log_file();
    }
    if (!config_loaded && !load_configuration()) {
        count_down_log_shortening();
        return;
    }
    supervise();
    report_senders(queue_clock::now());
    status_http->keep_open(config.status_ip, config.status_port,
                           {config.output_port[0], config.output_port[1]});
}

// False when the stage must run again on the next tick.
bool TMainWin::load_configuration() {
    try {
        data_path_ready = false;
        show("Loading config...");
        // A path that cannot be examined is not written over: reading it reports why.
        std::error_code unexaminable;
        const bool present = std::filesystem::exists(config_file, unexaminable) || unexaminable;
        if (!present && !write_config(config, config_file)) {
            const std::string error = take_error(config);
            update_status(error.empty() ? "Error QXE-604" : error, true);
        }
        if (read_config(config, config_file)) {
            show("Config loaded");
        } else {
            const std::string error = take_error(config);
            update_status(error.empty() ? "Error QXE-603" : error, true);
        }
        manager.output_ports = {config.output_port[0], config.output_port[1]};
        for (const std::string& error : apply_input_formats(config, manager, senders))
            update_status(error, true);
        config_loaded = true;
        emit configuration_loaded();
        return true;
    } catch (const std::exception& e) {
        // Tried again every second, the same failure is logged only when it first occurs and
        // when it changes.
        const std::string error = error_text("QXE-802", e);
        update_status(error, error != last_stage_error);
        last_stage_error = error;
        return false;
    }
}

void TMainWin::supervise() {
    if (!capture_loaded) {
        show("WinPCap is required, please install.");
        return;
    }
    if (config.input_ip.empty() || config.output_ip.empty()) {
        show("Please configure network settings");
        return;
    }
    count_down_log_shortening();

    // A countdown that reaches 0 makes one attempt; the next tick takes it to -1, and the one
    // after arms it again from the ladder, so attempts are one tick further apart than the
    // ladder says.
    bool all_open = true;
    for (int o = 0; o < output_count; ++o) {
        if (output_open[o]) continue;
        all_open = false;
        if (output_countdown[o] < 0) output_countdown[o] = retry_delay(output_fail_count[o]);
        if (output_countdown[o] >= 0) --output_countdown[o];
        if (output_countdown[o] == 0) {
            show("Opening outputs");
            data_path_ready = false;
            if (!open_output(o)) ++output_fail_count[o];
        }
    }
    // The input is not touched while an output is closed.
    if (!all_open) return;

    if (!input_open) {
        all_open = false;
        if (input_countdown < 0) input_countdown = retry_delay(input_fail_count);
        if (input_countdown >= 0) --input_countdown;
        if (input_countdown == 0) {
            show("Opening input");
            data_path_ready = false;
            open_input();
        }
    }
    if (!all_open) return;

    if (!data_path_ready) {
        show("Ready");
        data_path_ready = true;
        service.ready();
    } else if (new_traffic) {
        if (!traffic_active) {
            show("Active");
            traffic_active = true;
        }
        new_traffic = false;
    } else if (input_idle && traffic_active) {
        show("Idle");
        traffic_active = false;
    }
}

void TMainWin::count_down_log_shortening() {
    if (log_shorten_countdown >= 0 && --log_shorten_countdown == 0) {
        log.shorten_log_file();
        log_shorten_countdown = ticks_per_day;
    }
}

bool TMainWin::open_input() {
    const bool started = input->open_input(config);
    if (started) input_idle = true;
    return started;
}

void TMainWin::restart() {
    config_loaded = false;
    try {
        input->close_input();
        close_outputs();
    } catch (const std::exception& e) {
        update_status(error_text("QXE-605", e), true);
        return;
    }
    output_countdown = {1, 1};
    output_fail_count = {0, 0};
    input_countdown = 2;
    input_fail_count = 0;
}

// --- drop accounting -----------------------------------------------------------------------------

input_drops TMainWin::drop_counts(int input_number) const {
    input_drops drops;
    if (input_number < 0 || input_number >= output_count) return drops;
    const auto row = static_cast<std::size_t>(input_number);
    if (input)
        for (std::size_t k = 0; k < frame_skip_count; ++k)
            drops.frames[k] = input->skipped_frames(row, static_cast<frame_skip>(k));
    drops.stream = manager.statistics().input(input_number);
    // Input k feeds output k only: the output's dropped clients are counted with its input.
    drops.clients_not_reading = (row == 0 ? WSocketServerOut1 : WSocketServerOut2)->not_reading_drops();
    return drops;
}

std::uint64_t TMainWin::unconfigured_frames() const {
    return input ? input->skipped_frames(unknown_source_row, frame_skip::unconfigured_source) : 0;
}

// Silent hours stay out of the log: only an hour in which something was dropped is reported.
void TMainWin::report_hourly_drops() {
    for (int k = 0; k < output_count; ++k) {
        const input_drops now = drop_counts(k);
        const input_drops hour = now.since(hour_baseline[k]);
        hour_baseline[k] = now;
        if (hour.dropped() != 0 || hour.clients_not_reading != 0)
            update_status(drop_line("Dropped in the last hour", k + 1, hour), true);
    }
}

std::vector<std::string> TMainWin::report_drops_since_start() {
    std::vector<std::string> lines;
    for (int k = 0; k < output_count; ++k) {
        lines.push_back(drop_line("Dropped since start", k + 1, drop_counts(k)));
        update_status(lines.back(), true);
    }
    return lines;
}

// --- 100 ms service ---------------------------------------------------------------------------

void TMainWin::Timer100msTimer() {
    if (!data_path_ready) return;
    for (int o = 0; o < output_count; ++o)
        if (manager.has_output(o)) send_output(o);
    if (data_monitor_open) emit outputs_serviced();
}

// One batch per client in flight: a client takes the next batch only when it has written the
// last one, so a slow client skips batches instead of piling them up in socket buffers, and no
// client holds back another by more than one tick.
void TMainWin::send_output(int output) {
    if (output < 0 || output >= output_count) return;
    try {
        TWSocketServer* server = output_server(output);
        if (!manager.has_output(output) || server == nullptr || !batch_due(*server)) return;

        char* batch = output_text[output].data();
        std::int32_t length = batch_capacity;
        manager.set_time(queue_clock::now());
        if (!manager.take_output(output, batch, length)) return;

        if (data_monitor_open) emit batch_sent(output, batch);
        // One copy, shared by every client until each has written it: the buffer is reused
        // on the next tick while slow clients may still be sending this batch.
        if (server->client_count() > 0) {
            const int sent = send_to_ready_clients(*server, QByteArray(batch, length));
            output_sent[output].batches += static_cast<std::uint64_t>(sent);
            output_sent[output].bytes +=
                static_cast<std::uint64_t>(sent) * static_cast<std::uint64_t>(length);
        }
    } catch (const std::exception& e) {
        update_status(error_text("QXE-110", e), true);
    }
}

// --- input --------------------------------------------------------------------------------------

void TMainWin::process_input() {
    if (!input) return;
    try {
        const queue_clock::time_point now = queue_clock::now();
        manager.set_time(now);
        rx_datagram datagram;
        int taken = 0;
        while (taken < datagrams_per_turn && input->take_datagram(datagram)) {
            hand_over_datagram(manager, senders, datagram);
            ++taken;
        }
        report_senders(now);
        // The receive thread does not notify again until a take finds the ring empty.
        if (taken == datagrams_per_turn && !more_input_queued) {
            more_input_queued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    more_input_queued = false;
                    process_input();
                },
                Qt::QueuedConnection);
        }
    } catch (const std::exception&) {
        // The remaining datagrams wait for the next notification.
    }
}

// Someone else sending as a junction box, or a configured sender that stays silent: each at
// most once per report interval, so that an impostor's rate does not reach the log.
void TMainWin::report_senders(queue_clock::time_point now) {
    for (int k = 0; k < output_count; ++k) {
        sender_warning warning;
        if (senders.take_warning(k, now, warning))
            update_status(other_sender_text(k, config.input_src_ip[k], warning), true);
        ethernet_address expected{};
        if (input_open && senders.take_missing(k, now, expected))
            update_status(missing_sender_text(k, config.input_src_ip[k], expected), true);
    }
}

void TMainWin::on_rx_datagram() {
    if (input_idle) {
        input_idle = false;
        new_traffic = true;
    }
    process_input();
}

void TMainWin::on_rx_idle() {
    process_input();
    input_idle = true;
}

void TMainWin::on_rx_connected() {
    senders.open(queue_clock::now());
    input_open = true;
    input_idle = true;
    input_fail_count = 0;
    show("Input connected");
    emit input_state_changed(true);
}

void TMainWin::on_rx_disconnected() {
    input_open = false;
    data_path_ready = false;
    traffic_active = false;
    input_idle = true;
    // A restart has already armed the reopening: the capture it stopped ends here.
    if (input_countdown <= 0) input_countdown = -1;
    show("Input disconnected");
    emit input_state_changed(false);
}

// Queued to this object's thread, so the receive thread never waits; Qt delivers the calls in
// the order they were posted and drops those still pending when the controller is destroyed.
void TMainWin::post_notification(rx_notification message) {
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            switch (message) {
                case WM_RX_DATAGRAM:
                    on_rx_datagram();
                    break;
                case WM_RX_IDLE:
                    on_rx_idle();
                    break;
                case WM_RX_CONNECTED:
                    on_rx_connected();
                    break;
                case WM_RX_DISCONNECTED:
                    on_rx_disconnected();
                    break;
            }
        },
        Qt::QueuedConnection);
}

void TMainWin::post_report() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (input) input->run_report();
        },
        Qt::QueuedConnection);
}

// --- output servers -------------------------------------------------------------------------------

TWSocketServer* TMainWin::output_server(int output) {
    switch (output) {
        case 0:
            return WSocketServerOut1;
        case 1:
            return WSocketServerOut2;
        default:
            return nullptr;
    }
}

bool TMainWin::open_output(int output) {
    TWSocketServer* server = output_server(output);
    if (server == nullptr) {
        update_status(format("Error QXE-201: Illegal ouput port ID %d", output), true);
        return false;
    }
    try {
        if (server->state() == socket_state::closed) {
            server->set_port(config.output_port[output]);
            server->set_address(QString::fromStdString(config.output_ip));
            server->set_client_class<TTcpSrvClient>();
            const int port = config.output_port[output];
            if (const int passed = passed_sockets.listener_for(port); passed >= 0) {
                server->listen_on(passed);
            } else {
                // Started through the socket unit, a port it does not hold was changed in the
                // settings only: it works, but another program may take it during a restart.
                if (passed_sockets.any())
                    update_status(
                        format("Error QXE-205 (port %d): port %d is not among the sockets of "
                               "vorlane.socket; listening here, and free while the program restarts",
                               output + 1, port),
                        true);
                server->listen();
            }
        }
        return true;
    } catch (const std::exception& e) {
        update_status(format("Error QXE-200 (port %d): %s, %s", output + 1, exception_name(e).c_str(),
                             one_line(e.what()).c_str()),
                      true);
        return false;
    }
}

void TMainWin::close_output(int output) {
    TWSocketServer* server = output_server(output);
    if (server == nullptr) {
        update_status(format("Error QXE-204: Illegal ouput port ID %d", output), true);
        return;
    }
    try {
        if (server->state() != socket_state::listening) return;
        server->close();
        for (int i = 0; i < server->client_count(); ++i)
            if (TWSocketClient* client = server->client(i)) client->close();
    } catch (const std::exception& e) {
        update_status(error_text("QXE-203", e), true);
    }
}

void TMainWin::close_outputs() {
    status_http->close();
    try {
        close_output(0);
        close_output(1);
    } catch (const std::exception& e) {
        update_status(error_text("QXE-202", e), true);
    }
}

// An adapter gained or lost an address (DHCP, a cable). Outputs told to listen on a specific
// address that has gone are closed rather than left bound to nothing while the status says
// "Ready"; every closed output is tried again at the next tick, on the address as it is then,
// and its listen error stays on the status line while the address is missing. A waiting
// input is tried again at the next tick too; the ladder itself is not reset.
void TMainWin::on_addresses_changed() {
    const bool specific_address = config.output_ip != "0.0.0.0";
    for (int o = 0; o < output_count; ++o) {
        if (specific_address && output_open[o] && !address_watch::is_local_address(config.output_ip))
            close_output(o);
        if (!output_open[o]) output_countdown[o] = 1;
    }
    if (!input_open && input_countdown > 1) input_countdown = 1;
}

void TMainWin::WSocketServerOutChangeState(TWSocketServer* server, socket_state, socket_state new_state) {
    const int o = server->tag();
    if (o < 0 || o >= output_count) return;
    output_open[o] = new_state == socket_state::listening;
    if (output_open[o]) output_fail_count[o] = 0;
}

// A server keeps listening whatever went wrong inside it.
void TMainWin::WSocketServerOutBgException(TWSocketServer*, const QString&, bool* can_abort) {
    *can_abort = false;
}

void TMainWin::WSocketServerOutClientConnect(TWSocketServer* server, TWSocketClient* socket) {
    auto* client = qobject_cast<TTcpSrvClient*>(socket);
    if (client == nullptr) return;
    client->output_index = server->tag();
    client->ready = true;
    // Displays have nothing to say; whatever they send is read and dropped.
    connect(client, &TWSocketClient::data_available, client, [](TWSocketClient* c) { c->receive(); });
    connect(client, &TWSocketClient::data_sent, client, [client](TWSocketClient*) { client->ready = true; });
    // A client's own background error aborts only that connection (the layer's default answer).
}

// Each dropped client is logged once with its address. Connections that anyone on the network
// can open must not be able to flood the log, so a look that drops many names only the first.
void TMainWin::WSocketServerOutClientsNotReading(TWSocketServer* server, const QStringList& peers) {
    const int output_number = server->tag() + 1;
    const int seconds = server->not_reading_limit_ms() / 1000;
    const qsizetype named = std::min<qsizetype>(peers.size(), named_drops_per_look);
    for (qsizetype k = 0; k < named; ++k)
        update_status(format("Output %d client %s dropped: not reading for %d s", output_number,
                             peers[k].toStdString().c_str(), seconds),
                      true);
    if (peers.size() > named)
        update_status(format("Output %d: %d more clients dropped: not reading for %d s", output_number,
                             static_cast<int>(peers.size() - named), seconds),
                      true);
}

}  // namespace vorlane
