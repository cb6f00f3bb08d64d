#include "controller/drop_reporter.h"

namespace vorlane {

drop_reporter::drop_reporter(const nmea_manager& streams, const input_link& input,
                             const output_service& served, status_reporter& status)
    : manager(streams), link(input), outputs(served), reporter(status) {}

input_drops drop_reporter::drop_counts(int input_number) const {
    input_drops drops;
    if (input_number < 0 || input_number >= input_count) return drops;
    const auto row = static_cast<std::size_t>(input_number);
    for (std::size_t k = 0; k < frame_skip_count; ++k)
        drops.frames[k] = link.skipped_frames(row, static_cast<frame_skip>(k));
    drops.stream = manager.statistics().input(input_number);
    // Input k feeds output k only: the output's dropped clients are counted with its input.
    drops.clients_not_reading = outputs.not_reading_drops(input_number);
    return drops;
}

std::uint64_t drop_reporter::unconfigured_frames() const {
    return link.skipped_frames(unknown_source_row, frame_skip::unconfigured_source);
}

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
        const input_drops now = drop_counts(k);
        const input_drops hour = now.since(hour_baseline[k]);
        hour_baseline[k] = now;
        if (hour.dropped() != 0 || hour.clients_not_reading != 0)
            reporter.update_status(drop_line("Dropped in the last hour", k + 1, hour), true);
    }
}

std::vector<std::string> drop_reporter::report_since_start() {
    std::vector<std::string> lines;
    for (int k = 0; k < input_count; ++k) {
        lines.push_back(drop_line("Dropped since start", k + 1, drop_counts(k)));
        reporter.update_status(lines.back(), true);
    }
    return lines;
}

}  // namespace vorlane
