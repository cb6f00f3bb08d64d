#include "status/status_history.h"

namespace vorlane {

void status_history::close_minute(const std::array<input_drops, junction_box_count>& now) {
    for (std::size_t input = 0; input < now.size(); ++input) {
        const minute totals{accepted_sentences(now[input]), now[input].dropped()};
        ring[input][next] = {totals.accepted - totals_before[input].accepted,
                             totals.dropped - totals_before[input].dropped};
        totals_before[input] = totals;
    }
    next = next + 1 == minutes_kept ? 0 : next + 1;
    if (kept < minutes_kept) ++kept;
}

const status_history::minute& status_history::at(int input, std::size_t k) const {
    const std::size_t oldest = kept < minutes_kept ? 0 : next;
    return ring[static_cast<std::size_t>(input)][(oldest + k) % minutes_kept];
}

}  // namespace vorlane
