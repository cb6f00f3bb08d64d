#include "app/drop_reporter.h"

namespace vorlane {

drop_reporter::drop_reporter(const drop_counts_view& counts, status_reporter& status, drop_hour& shared_hour)
    : counts_(counts), reporter(status), hour(shared_hour) {}

void drop_reporter::tick() {
    if (hour.tick()) report_hour();
    emit statistics_tick();
}

// Silent hours stay out of the log: only an hour in which something was dropped is reported.
void drop_reporter::report_hour() {
    std::array<input_drops, junction_box_count> now;
    for (int k = 0; k < junction_box_count; ++k) now[static_cast<std::size_t>(k)] = counts_.drop_counts(k);
    hour.close(now);
    for (int k = 0; k < junction_box_count; ++k)
        if (hour.last(k).dropped() != 0 || hour.last(k).clients_not_reading != 0)
            reporter.update_status(hour.line(k, now[static_cast<std::size_t>(k)]), true);
}

std::vector<std::string> drop_reporter::report_since_start() {
    std::vector<std::string> lines;
    for (int k = 0; k < junction_box_count; ++k) {
        lines.push_back(drop_line("Dropped since start", k + 1, counts_.drop_counts(k)));
        reporter.update_status(lines.back(), true);
    }
    return lines;
}

}  // namespace vorlane
