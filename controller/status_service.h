#pragma once

#include "config/config_manager.h"
#include "controller/drop_reporter.h"
#include "controller/input_link.h"
#include "controller/output_service.h"
#include "controller/status_reporter.h"
#include "status/status_facts.h"
#include "status/status_listener.h"

namespace vorlane {

// The status listener that the ship's monitoring reads, and the facts it serves: a copy of the
// settings, the status text, the input's state, the drops and the outputs, taken from the parts
// that keep them when a request comes.
class status_service : private status_source {
  public:
    // `hour` is the drop reporter's hour, which the answers quote.
    status_service(const config_manager& config, const status_reporter& reporter, const input_link& link,
                   const output_service& outputs, const drop_reporter& drops, const drop_hour& hour);

    // Listens where the settings say, or closes when they say so; called every supervised tick,
    // so a failed listener is tried again and a changed setting is taken.
    void keep_open();
    void close() { listener.close(); }

  private:
    status_facts current_status() const override;

    const config_manager& config;
    const status_reporter& reporter;
    const input_link& link;
    const output_service& outputs;
    const drop_reporter& drops;
    // Made last: it reads the facts through the references above.
    status_listener listener;
};

}  // namespace vorlane
