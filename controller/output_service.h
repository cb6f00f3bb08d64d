#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_manager.h"
#include "controller/service_sockets.h"
#include "controller/status_reporter.h"
#include "net/socket_server.h"
#include "net/udp_sender.h"
#include "status/status_facts.h"
#include "stream/nmea_manager.h"
#include "stream/output_datagrams.h"

namespace vorlane {

// The two output servers and their clients: opening and closing them on the set address and
// ports (or on the sockets the service manager passed), wiring each display that connects, the
// batches taken from the stream manager every 100 ms and what each output wrote.
class output_service : public QObject {
    Q_OBJECT
  public:
    static constexpr int output_backlog = 128;
    // Clients dropped for not reading that are logged by name in one look of a server.
    static constexpr int named_drops_per_look = 5;
    // Displays have nothing to say; some display software sends a line or two when it connects
    // (its name, a query). 4 KB is some fifty whole sentences, more than any display sends, and
    // reading that much costs one read: a client that sends more is no longer read.
    static constexpr qint64 client_receive_limit = 4096;

    output_service(const config_manager& config, nmea_manager& manager, status_reporter& reporter);

    TWSocketServer* output_server(int output);
    const TWSocketServer* output_server(int output) const;
    bool open_output(int output);
    void close_output(int output);
    void close_all();
    // Judges the UDP settings of each output and starts or stops its datagrams; answers the
    // error of each output whose UDP settings are refused, which then sends none.
    std::vector<std::string> apply_udp_settings();
    bool is_open(int output) const { return output_open.at(output); }

    // One batch to the clients of each output that has one, then outputs_serviced.
    void service();
    void send_output(int output);
    // Someone watches the batches: only then is batch_sent emitted.
    bool batches_watched() const;

    // Where the served text is available: the output address (the first adapter's when the
    // outputs listen on every adapter) and the first output port.
    std::string served_address() const;
    int first_output_port() const { return manager.output_ports[0]; }
    // Clients of `output` closed on for not reading, since start.
    std::uint64_t not_reading_drops(int output) const;
    output_facts facts(int output) const;
    // What `output` sent as UDP since start.
    const udp_traffic& udp_sent(int output) const { return udp_outputs.at(output).sent; }

  signals:
    // The text of a batch just sent to the clients of `output`; while batches_watched only.
    void batch_sent(int output, std::string_view text);
    // Once per 100 ms service, after its batches.
    void outputs_serviced();
    // An output began or stopped listening.
    void listening_changed(int output, bool listening);

  private:
    // One output's datagrams to its UDP destination, as set.
    struct udp_output {
        bool on = false;
        std::string destination;
        udp_sender sender;
        datagram_packer packer;
        udp_traffic sent;
        // A failure was reported and no datagram went out since.
        bool failing = false;
    };

    // The batch just taken, as datagrams; a send that fails is counted and reported once,
    // and the next batch is tried as if nothing happened.
    void send_datagrams(int output, std::string_view batch);
    // The error that keeps an output's UDP off; empty when its settings are good.
    std::string udp_settings_error(int output, sockaddr_in& destination, udp_format& format) const;

    void WSocketServerOutChangeState(TWSocketServer* server, socket_state old_state, socket_state new_state);
    void WSocketServerOutBgException(TWSocketServer* server, const QString& error, bool* can_abort);
    void WSocketServerOutClientConnect(TWSocketServer* server, TWSocketClient* client);
    void WSocketServerOutClientsNotReading(TWSocketServer* server, const QStringList& peers);
    void WSocketServerOutLimitReached(TWSocketServer* server, client_limit limit, int count,
                                      const QString& latest);

    const config_manager& config;
    nmea_manager& manager;
    status_reporter& reporter;
    // Made before the output servers: they may serve on these sockets.
    service_sockets passed_sockets;
    TWSocketServer* WSocketServerOut1;
    TWSocketServer* WSocketServerOut2;
    std::array<bool, output_count> output_open{};
    std::array<std::array<char, batch_capacity + 1>, output_count> output_text{};
    // What each output wrote since start, for the status listener.
    std::array<output_traffic, output_count> output_sent{};
    std::array<udp_output, output_count> udp_outputs{};
    // Where the lines of the batch being sent begin, for the datagrams.
    batch_lines taken_lines;
};

}  // namespace vorlane
