#pragma once

#include <array>
#include <string>

#include "base/junction_boxes.h"
#include "input/drop_report.h"

namespace vorlane {

// The hour that the event log's hourly drop line and the status answers' last-hour line both
// tell: one baseline closed on one clock, so that the log and /status never speak of different
// hours. The clock is the controller's once-a-second tick, which runs whether or not the data
// path is up; the drop reporter closes the hour and logs it, the status listener only reads it.
class drop_hour {
  public:
    static constexpr int ticks_per_hour = 3600;

    // Counts one tick; true when it ends the hour, which the caller then closes.
    bool tick();
    // Ends the hour at each input's counts since start, which become the next hour's baseline.
    void close(const std::array<input_drops, junction_box_count>& now);
    // What was dropped on an input in the last whole hour; nothing before the first is over.
    const input_drops& last(int input) const { return last_hour[static_cast<std::size_t>(input)]; }
    // The drop line of an input's last whole hour; before the first is over, the one since start
    // at `now`.
    std::string line(int input, const input_drops& now) const;

  private:
    int countdown = ticks_per_hour;
    bool hour_closed = false;
    std::array<input_drops, junction_box_count> baseline{};
    std::array<input_drops, junction_box_count> last_hour{};
};

}  // namespace vorlane
