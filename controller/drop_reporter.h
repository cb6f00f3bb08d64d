#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "controller/input_link.h"
#include "controller/output_service.h"
#include "controller/status_reporter.h"
#include "input/drop_report.h"
#include "status/drop_hour.h"
#include "stream/drop_statistics.h"
#include "stream/nmea_manager.h"

namespace vorlane {

// What was dropped and why, gathered from where it was counted: the frames the receive thread
// skipped, what the stream manager dropped and judged, and the displays each output let go. It
// writes the drop lines of the event log (each hour in which something was dropped, and the
// totals since start on request), and its once-a-second tick tells the windows that the counts
// may have changed.
class drop_reporter : public QObject {
    Q_OBJECT
  public:
    // `hour` is the one hour of drops, which this reporter closes and the status listener reads.
    drop_reporter(const nmea_manager& manager, const input_link& link, const output_service& outputs,
                  status_reporter& reporter, drop_hour& hour);

    // What was dropped on an input (0 or 1) and why, since start.
    input_drops drop_counts(int input) const;
    // The source the input's output serves for each formatter, as served_sources_text words it.
    std::string served_sources(int input) const;
    // Frames of neither junction box's source, destination and port, since start.
    std::uint64_t unconfigured_frames() const;
    // The LANs in use, and what junction box `input` brought on one of them.
    int lans_in_use() const { return link.lans_in_use(); }
    input_link::lan_view lan_seen(int lan, int input) const {
        return link.lan_seen(lan, input, queue_clock::now());
    }
    // The stream manager's counts, with the newest rejected lines.
    const stream_statistics& statistics() const { return manager.statistics(); }

    // Called once a second, whether or not the data path is up.
    void tick();
    // Logs, for each input, what was dropped since start, and answers the lines.
    std::vector<std::string> report_since_start();

  signals:
    // Once a second: the drop counts may have changed.
    void statistics_tick();

  private:
    void report_hour();

    const nmea_manager& manager;
    const input_link& link;
    const output_service& outputs;
    status_reporter& reporter;
    drop_hour& hour;
};

}  // namespace vorlane
