// What the status listener reads: a copy of the controller's state, made on the main thread when
// a request comes.
#include "app/main_win.h"
#include "net/tcp_srv_client.h"

namespace vorlane {

status_facts TMainWin::current_status() const {
    status_facts facts;
    facts.status = status_text;
    for (int k = 0; k < status_input_count; ++k) {
        input_facts& box = facts.inputs[static_cast<std::size_t>(k)];
        box.adapter = config.input_ip;
        box.source = config.input_src_ip[k];
        box.destination = config.input_dest_ip[k];
        box.port = config.input_port[k];
        box.format = config.input_format[k];
        box.open = input_open;
        box.counts = drop_counts(k);
    }
    for (int o = 0; o < output_count; ++o) {
        output_facts& output = facts.outputs[static_cast<std::size_t>(o)];
        output.address = config.output_ip;
        output.port = config.output_port[o];
        output.listening = output_open[o];
        output.sent = output_sent[o];
        const TWSocketServer* server = o == 0 ? WSocketServerOut1 : WSocketServerOut2;
        output.clients_dropped = server->not_reading_drops();
        for (int i = 0; i < server->client_count(); ++i)
            if (const TWSocketClient* client = server->client(i);
                client != nullptr && client->state() == socket_state::connected)
                ++output.clients;
    }
    return facts;
}

}  // namespace vorlane
