#include "status/status_history.h"

namespace vorlane {

void status_history::close_minute(const std::array<input_drops, status_input_count>& now) {
    for (std::size_t input = 0; input < now.size(); ++input) {
        const minute totals{accepted_sentences(now[input]), now[input].dropped()};
        ring[input][next] = {totals.accepted - totals_before[input].accepted,
                             totals.dropped - totals_before[input].dropped};
        totals_before[input] = totals;
    }
    next = next + 1 == minutes_kept ? 0 : next + 1;
    if (kept < minutes_kept) ++kept;

    if (++minutes_this_hour < minutes_kept) return;
    minutes_this_hour = 0;
    for (std::size_t input = 0; input < now.size(); ++input) {
        last_hour[input] = drop_line("Dropped in the last hour", static_cast<int>(input) + 1,
                                     now[input].since(hour_start[input]));
        hour_start[input] = now[input];
    }
}

const status_history::minute& status_history::at(int input, std::size_t k) const {
    const std::size_t oldest = kept < minutes_kept ? 0 : next;
    return ring[static_cast<std::size_t>(input)][(oldest + k) % minutes_kept];
}

std::string status_history::hour_line(int input, const input_drops& now) const {
    const std::string& line = last_hour[static_cast<std::size_t>(input)];
    return line.empty() ? drop_line("Dropped since start", input + 1, now) : line;
}

}  // namespace vorlane
