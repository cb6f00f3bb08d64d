#include "status/drop_hour.h"

namespace vorlane {

bool drop_hour::tick() {
    if (--countdown != 0) return false;
    countdown = ticks_per_hour;
    return true;
}

void drop_hour::close(const std::array<input_drops, junction_box_count>& now) {
    for (std::size_t input = 0; input < now.size(); ++input) {
        last_hour[input] = now[input].since(baseline[input]);
        baseline[input] = now[input];
    }
    hour_closed = true;
}

std::string drop_hour::line(int input, const input_drops& now) const {
    return hour_closed ? drop_line("Dropped in the last hour", input + 1, last(input))
                       : drop_line("Dropped since start", input + 1, now);
}

}  // namespace vorlane
