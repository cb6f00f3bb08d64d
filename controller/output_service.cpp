#include "controller/output_service.h"

#include <QMetaMethod>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <system_error>

#include "base/error_texts.h"
#include "base/exception_name.h"
#include "capture/capture_api.h"
#include "input/drop_report.h"
#include "net/tcp_srv_client.h"

namespace vorlane {

namespace {

// A status text from a printf pattern; longer texts are cut at 511 characters.
template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
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

output_service::output_service(const config_manager& settings, nmea_manager& streams, status_reporter& status)
    : config(settings),
      manager(streams),
      reporter(status),
      WSocketServerOut1(new TWSocketServer(this)),
      WSocketServerOut2(new TWSocketServer(this)) {
    for (int o = 0; o < output_count; ++o) {
        TWSocketServer* server = output_server(o);
        server->set_tag(o);
        // A burst of displays connecting at once (a bridge powering up, a switch coming back)
        // must not find the queue of waiting connections full and wait for SYN retries.
        server->set_backlog(output_backlog);
        server->set_banner("KestavTranslator");
        server->set_client_class<TTcpSrvClient>();
        connect(server, &TWSocketServer::state_changed, this, &output_service::WSocketServerOutChangeState);
        connect(server, &TWSocketServer::background_error, this,
                &output_service::WSocketServerOutBgException);
        connect(server, &TWSocketServer::client_connected, this,
                &output_service::WSocketServerOutClientConnect);
        connect(server, &TWSocketServer::clients_not_reading, this,
                &output_service::WSocketServerOutClientsNotReading);
        connect(server, &TWSocketServer::limit_reached, this, &output_service::WSocketServerOutLimitReached);
    }
}

TWSocketServer* output_service::output_server(int output) {
    return const_cast<TWSocketServer*>(std::as_const(*this).output_server(output));
}

const TWSocketServer* output_service::output_server(int output) const {
    switch (output) {
        case 0:
            return WSocketServerOut1;
        case 1:
            return WSocketServerOut2;
        default:
            return nullptr;
    }
}

std::string output_service::served_address() const {
    return adapter_ip(config.output_ip);
}

std::uint64_t output_service::not_reading_drops(int output) const {
    const TWSocketServer* server = output_server(output);
    return server != nullptr ? server->not_reading_drops() : 0;
}

output_facts output_service::facts(int o) const {
    output_facts output;
    output.address = config.output_ip;
    output.port = config.output_port[o];
    output.listening = output_open[o];
    output.sent = output_sent[o];
    const TWSocketServer* server = output_server(o);
    output.clients_dropped = server->not_reading_drops();
    if (udp_outputs[o].on) output.udp_destination = udp_outputs[o].destination;
    output.udp = udp_outputs[o].sent;
    output.served_sources = served_sources_text(manager.selection(o));
    output.source_switches = manager.selection(o).switch_count();
    for (int i = 0; i < server->client_count(); ++i)
        if (const TWSocketClient* client = server->client(i);
            client != nullptr && client->state() == socket_state::connected)
            ++output.clients;
    return output;
}

// --- 100 ms service ---------------------------------------------------------------------------

void output_service::service() {
    for (int o = 0; o < output_count; ++o)
        if (manager.has_output(o)) send_output(o);
    emit outputs_serviced();
}

bool output_service::batches_watched() const {
    static const QMetaMethod batch_signal = QMetaMethod::fromSignal(&output_service::batch_sent);
    return isSignalConnected(batch_signal);
}

// One batch per client in flight: a client takes the next batch only when it has written the
// last one, so a slow client skips batches instead of piling them up in socket buffers, and no
// client holds back another by more than one tick.
void output_service::send_output(int output) {
    if (output < 0 || output >= output_count) return;
    try {
        TWSocketServer* server = output_server(output);
        // Datagrams wait for no one: with UDP on, a batch is taken on every tick, and a TCP
        // client still writing the last one skips it as it would beside a faster client.
        const bool udp_on = udp_outputs[output].on;
        if (!manager.has_output(output) || server == nullptr || (!udp_on && !batch_due(*server))) return;

        char* batch = output_text[output].data();
        std::int32_t length = batch_capacity;
        manager.set_time(queue_clock::now());
        if (!manager.take_output(output, batch, length, udp_on ? &taken_lines : nullptr)) return;

        if (batches_watched()) emit batch_sent(output, batch);
        // One copy, shared by every client until each has written it: the buffer is reused
        // on the next tick while slow clients may still be sending this batch.
        if (server->client_count() > 0) {
            const int sent = send_to_ready_clients(*server, QByteArray(batch, length));
            output_sent[output].batches += static_cast<std::uint64_t>(sent);
            output_sent[output].bytes +=
                static_cast<std::uint64_t>(sent) * static_cast<std::uint64_t>(length);
        }
        if (udp_on) send_datagrams(output, std::string_view(batch, static_cast<std::size_t>(length)));
    } catch (const std::exception& e) {
        reporter.update_status(error_text(reported_error::batch_service_failed, e), true);
    }
}

// --- UDP datagrams -----------------------------------------------------------------------------

std::string output_service::udp_settings_error(int o, sockaddr_in& destination, udp_format& format) const {
    const std::string number = std::to_string(o + 1);
    if (!parse_udp_destination(config.output_udp[o], destination))
        return error_text(reported_error::bad_udp_destination, {config.output_udp[o], number});
    if (!parse_udp_format(config.output_udp_format[o], format))
        return error_text(reported_error::unknown_udp_format, {config.output_udp_format[o], number});
    if (format == udp_format::iec450 && !is_system_function_id(config.output_sfi[o]))
        return error_text(reported_error::bad_system_function_id, {config.output_sfi[o], number});
    if (config.output_udp_ttl[o] < 1 || config.output_udp_ttl[o] > 255)
        return error_text(reported_error::bad_udp_hop_limit,
                          {std::to_string(config.output_udp_ttl[o]), number});
    return {};
}

std::vector<std::string> output_service::apply_udp_settings() {
    std::vector<std::string> errors;
    for (int o = 0; o < output_count; ++o) {
        udp_output& udp = udp_outputs[o];
        udp.on = false;
        udp.failing = false;
        udp.sender.close();
        if (config.output_udp[o].empty()) continue;
        sockaddr_in destination{};
        udp_format format = udp_format::plain;
        if (std::string error = udp_settings_error(o, destination, format); !error.empty()) {
            errors.push_back(std::move(error));
            continue;
        }
        udp.destination = config.output_udp[o];
        udp.sender.configure(config.output_ip, destination, config.output_udp_ttl[o]);
        udp.packer.set_format(format, config.output_sfi[o]);
        udp.on = true;
    }
    return errors;
}

void output_service::send_datagrams(int output, std::string_view batch) {
    udp_output& udp = udp_outputs[output];
    udp.packer.start(batch, taken_lines);
    std::string_view datagram;
    while (udp.packer.next_datagram(datagram)) {
        if (const int error = udp.sender.send(datagram); error != 0) {
            ++udp.sent.failed;
            if (!udp.failing)
                reporter.update_status(
                    error_text(reported_error::udp_send_failed, {std::to_string(output + 1), udp.destination,
                                                                 std::system_category().message(error)}),
                    true);
            udp.failing = true;
            continue;
        }
        ++udp.sent.datagrams;
        udp.sent.bytes += datagram.size();
        if (udp.failing)
            reporter.update_status(
                format("Output %d UDP datagrams to %s sent again", output + 1, udp.destination.c_str()),
                true);
        udp.failing = false;
    }
}

// --- output servers -------------------------------------------------------------------------------

bool output_service::open_output(int output) {
    TWSocketServer* server = output_server(output);
    if (server == nullptr) {
        reporter.update_status(error_text(reported_error::output_open_unknown, {std::to_string(output)}),
                               true);
        return false;
    }
    try {
        if (server->state() == socket_state::closed) {
            server->set_port(config.output_port[output]);
            server->set_address(QString::fromStdString(config.output_ip));
            server->set_client_class<TTcpSrvClient>();
            server->set_limit(client_limit::connections_per_host, config.max_clients_per_host);
            server->set_limit(client_limit::connections, config.max_clients_per_port);
            server->set_limit(client_limit::bytes_received, client_receive_limit);
            const int port = config.output_port[output];
            if (const int passed = passed_sockets.listener_for(port); passed >= 0) {
                server->listen_on(passed);
            } else {
                // Started through the socket unit, a port it does not hold was changed in the
                // settings only: it works, but another program may take it during a restart.
                if (passed_sockets.any())
                    reporter.update_status(error_text(reported_error::output_port_not_passed,
                                                      {std::to_string(output + 1), std::to_string(port)}),
                                           true);
                server->listen();
            }
        }
        return true;
    } catch (const std::exception& e) {
        reporter.update_status(
            error_text(reported_error::output_listen_failed,
                       {std::to_string(output + 1), exception_name(e), one_line(e.what())}),
            true);
        return false;
    }
}

void output_service::close_output(int output) {
    TWSocketServer* server = output_server(output);
    if (server == nullptr) {
        reporter.update_status(error_text(reported_error::output_close_unknown, {std::to_string(output)}),
                               true);
        return;
    }
    try {
        if (server->state() != socket_state::listening) return;
        server->close();
        for (int i = 0; i < server->client_count(); ++i)
            if (TWSocketClient* client = server->client(i)) client->close();
    } catch (const std::exception& e) {
        reporter.update_status(error_text(reported_error::output_close_failed, e), true);
    }
}

void output_service::close_all() {
    try {
        close_output(0);
        close_output(1);
    } catch (const std::exception& e) {
        reporter.update_status(error_text(reported_error::outputs_close_failed, e), true);
    }
}

void output_service::WSocketServerOutChangeState(TWSocketServer* server, socket_state,
                                                 socket_state new_state) {
    const int o = server->tag();
    if (o < 0 || o >= output_count) return;
    output_open[o] = new_state == socket_state::listening;
    emit listening_changed(o, output_open[o]);
}

// A server keeps listening whatever went wrong inside it.
void output_service::WSocketServerOutBgException(TWSocketServer*, const QString&, bool* can_abort) {
    *can_abort = false;
}

void output_service::WSocketServerOutClientConnect(TWSocketServer* server, TWSocketClient* socket) {
    auto* client = qobject_cast<TTcpSrvClient*>(socket);
    if (client == nullptr) return;
    client->output_index = server->tag();
    client->ready = true;
    // Displays have nothing to say; what they send, up to the receive limit, is read and dropped.
    connect(client, &TWSocketClient::data_available, client, [](TWSocketClient* c) { c->receive(); });
    connect(client, &TWSocketClient::data_sent, client, [client](TWSocketClient*) { client->ready = true; });
    // A client's own background error aborts only that connection (the layer's default answer).
}

// Each dropped client is logged once with its address. Connections that anyone on the network
// can open must not be able to flood the log, so a look that drops many names only the first.
void output_service::WSocketServerOutClientsNotReading(TWSocketServer* server, const QStringList& peers) {
    const int output_number = server->tag() + 1;
    const int seconds = server->not_reading_limit_ms() / 1000;
    const qsizetype named = std::min<qsizetype>(peers.size(), named_drops_per_look);
    for (qsizetype k = 0; k < named; ++k)
        reporter.update_status(format("Output %d client %s dropped: not reading for %d s", output_number,
                                      peers[k].toStdString().c_str(), seconds),
                               true);
    if (peers.size() > named)
        reporter.update_status(format("Output %d: %d more clients dropped: not reading for %d s",
                                      output_number, static_cast<int>(peers.size() - named), seconds),
                               true);
}

// A line a minute at most for each limit, with how many it stopped: a host that opens thousands
// of connections must not flood the log either.
void output_service::WSocketServerOutLimitReached(TWSocketServer* server, client_limit limit, int count,
                                                  const QString& latest) {
    const reported_error error = [limit] {
        switch (limit) {
            case client_limit::connections_per_host:
                return reported_error::output_host_limit;
            case client_limit::connections:
                return reported_error::output_port_limit;
            case client_limit::bytes_received:
                break;
        }
        return reported_error::output_client_talking;
    }();
    reporter.update_status(
        error_text(error, {std::to_string(server->tag() + 1), std::to_string(server->limit(limit)),
                           std::to_string(count), latest.toStdString()}),
        true);
}

}  // namespace vorlane
