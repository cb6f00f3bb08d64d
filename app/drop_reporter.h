#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/drop_report.h"
#include "app/status_reporter.h"
#include "status/drop_hour.h"
#include "stream/drop_statistics.h"

namespace vorlane {

// What was dropped, as the reports and the Statistics window read it.
class drop_counts_view {
  public:
    // What was dropped on an input (0 or 1) and why, since start.
    virtual input_drops drop_counts(int input) const = 0;
    // Frames of neither junction box's source, destination and port, since start.
    virtual std::uint64_t unconfigured_frames() const = 0;
    // The stream manager's counts, with the newest rejected lines.
    virtual const stream_statistics& statistics() const = 0;

  protected:
    ~drop_counts_view() = default;
};

// The drop lines of the event log: each hour in which something was dropped, and the totals
// since start on request. Its once-a-second tick also tells the windows that the counts may have
// changed.
class drop_reporter : public QObject {
    Q_OBJECT
  public:
    // `hour` is the one hour of drops, which this reporter closes and the status listener reads.
    drop_reporter(const drop_counts_view& counts, status_reporter& reporter, drop_hour& hour);

    const drop_counts_view& counts() const { return counts_; }
    // Called once a second, whether or not the data path is up.
    void tick();
    // Logs, for each input, what was dropped since start, and answers the lines.
    std::vector<std::string> report_since_start();

  signals:
    // Once a second: the drop counts may have changed.
    void statistics_tick();

  private:
    void report_hour();

    const drop_counts_view& counts_;
    status_reporter& reporter;
    drop_hour& hour;
};

}  // namespace vorlane
