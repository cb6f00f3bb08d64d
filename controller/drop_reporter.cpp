#include "controller/drop_reporter.h"

namespace vorlane {

drop_reporter::drop_reporter(const nmea_manager& streams, const input_link& input,
                             const output_service& served, status_reporter& status, drop_hour& shared_hour)
    : manager(streams), link(input), outputs(served), reporter(status), hour(shared_hour) {}

input_drops drop_reporter::drop_counts(int input_number) const {
    input_drops drops;
    if (input_number < 0 || input_number >= junction_box_count) return drops;
    const auto row = static_cast<std::size_t>(input_number);
    for (std::size_t k = 0; k < frame_skip_count; ++k)
        drops.frames[k] = link.skipped_frames(row, static_cast<frame_skip>(k));
    drops.stream = manager.statistics().input(input_number);
    // Input k feeds output k only: the output's dropped clients are counted with its input.
    drops.clients_not_reading = outputs.not_reading_drops(input_number);
    drops.udp = outputs.udp_sent(input_number);
    drops.source_switches = manager.selection(input_number).switch_count();
    return drops;
}

std::string drop_reporter::served_sources(int input_number) const {
    if (input_number < 0 || input_number >= output_count) return {};
    return served_sources_text(manager.selection(input_number));
}

std::uint64_t drop_reporter::unconfigured_frames() const {
    return link.skipped_frames(unknown_source_row, frame_skip::unconfigured_source);
}

void drop_reporter::tick() {
    if (hour.tick()) report_hour();
    emit statistics_tick();
}

// Silent hours stay out of the log: only an hour in which something was dropped is reported.
void drop_reporter::report_hour() {
    std::array<input_drops, junction_box_count> now;
    for (int k = 0; k < junction_box_count; ++k) now[static_cast<std::size_t>(k)] = drop_counts(k);
    hour.close(now);
    for (int k = 0; k < junction_box_count; ++k)
        if (hour.last(k).dropped() != 0 || hour.last(k).clients_not_reading != 0)
            reporter.update_status(hour.line(k, now[static_cast<std::size_t>(k)]), true);
}

std::vector<std::string> drop_reporter::report_since_start() {
    std::vector<std::string> lines;
    for (int k = 0; k < junction_box_count; ++k) {
        lines.push_back(drop_line("Dropped since start", k + 1, drop_counts(k)));
        reporter.update_status(lines.back(), true);
    }
    return lines;
}

}  // namespace vorlane
