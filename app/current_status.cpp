// What the status listener reads: a copy of the controller's state, made on the main thread when
// a request comes.
#include "app/main_win.h"

namespace vorlane {

status_facts TMainWin::current_status() const {
    status_facts facts;
    facts.status = reporter.status_text();
    for (int k = 0; k < junction_box_count; ++k) {
        input_facts& box = facts.inputs[static_cast<std::size_t>(k)];
        box.adapter = config.input_ip;
        box.source = config.input_src_ip[k];
        box.destination = config.input_dest_ip[k];
        box.port = config.input_port[k];
        box.format = config.input_format[k];
        box.open = link.is_open();
        box.counts = drop_counts(k);
    }
    for (int o = 0; o < output_count; ++o) facts.outputs[static_cast<std::size_t>(o)] = outputs_.facts(o);
    return facts;
}

}  // namespace vorlane
