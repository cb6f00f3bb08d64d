#include "controller/status_service.h"

namespace vorlane {

status_service::status_service(const config_manager& settings, const status_reporter& status,
                               const input_link& input, const output_service& served,
                               const drop_reporter& dropped, const drop_hour& hour)
    : config(settings),
      reporter(status),
      link(input),
      outputs(served),
      drops(dropped),
      listener(*this, hour) {}

void status_service::keep_open() {
    listener.keep_open(config.status_ip, config.status_port, std::to_array(config.output_port),
                       config.status_hosts);
}

// A copy made on the main thread when a request comes, so a request never reaches into the data
// path.
status_facts status_service::current_status() const {
    status_facts facts;
    facts.status = reporter.status_text();
    const queue_clock::time_point now = queue_clock::now();
    for (int k = 0; k < junction_box_count; ++k) {
        input_facts& box = facts.inputs[static_cast<std::size_t>(k)];
        box.adapter = config.input_ip;
        box.source = config.input_src_ip[k];
        box.destination = config.input_dest_ip[k];
        box.port = config.input_port[k];
        box.format = config.input_format[k];
        box.open = link.is_open();
        box.counts = drops.drop_counts(k);
        box.lans = link.lans_in_use();
        for (int lan = 0; lan < box.lans; ++lan) {
            const input_link::lan_view seen = link.lan_seen(lan, k, now);
            box.lan_frames[static_cast<std::size_t>(lan)] = seen.frames;
            box.lan_carries[static_cast<std::size_t>(lan)] = seen.carries;
        }
    }
    for (int o = 0; o < output_count; ++o) facts.outputs[static_cast<std::size_t>(o)] = outputs.facts(o);
    return facts;
}

}  // namespace vorlane
