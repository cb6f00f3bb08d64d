#include "controller/drop_reporter.h"

namespace vorlane {

drop_reporter::drop_reporter(const drop_counts_view& counts, status_reporter& status)
    : counts_(counts), reporter(status) {}

void drop_reporter::tick() {
    if (--countdown == 0) {
        countdown = ticks_per_hour;
        report_hour();
    }
    emit statistics_tick();
}

// Silent hours stay out of the log: only an hour in which something was dropped is reported.
void drop_reporter::report_hour() {
    for (int k = 0; k < input_count; ++k) {
        const input_drops now = counts_.drop_counts(k);
        const input_drops hour = now.since(hour_baseline[k]);
        hour_baseline[k] = now;
        if (hour.dropped() != 0 || hour.clients_not_reading != 0)
            reporter.update_status(drop_line("Dropped in the last hour", k + 1, hour), true);
    }
}

std::vector<std::string> drop_reporter::report_since_start() {
    std::vector<std::string> lines;
    for (int k = 0; k < input_count; ++k) {
        lines.push_back(drop_line("Dropped since start", k + 1, counts_.drop_counts(k)));
        reporter.update_status(lines.back(), true);
    }
    return lines;
}

}  // namespace vorlane
