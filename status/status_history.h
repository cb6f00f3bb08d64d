#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "status/drop_hour.h"
#include "status/status_facts.h"

namespace vorlane {

// Accepted and dropped sentences per minute over the last hour for each input, and the drop line
// of the last whole hour, read from the hour the event log tells too. Filled once a minute from
// the counts since start, so counting a sentence costs nothing here.
class status_history {
  public:
    explicit status_history(const drop_hour& shared) : hour(shared) {}

    static constexpr std::size_t minutes_kept = 60;
    struct minute {
        std::uint64_t accepted = 0;
        std::uint64_t dropped = 0;
    };

    // Closes the minute that has just ended, given each input's counts since start.
    void close_minute(const std::array<input_drops, junction_box_count>& now);
    // The minutes kept so far, at most minutes_kept.
    std::size_t minutes() const { return kept; }
    // Minute k of an input, 0 the oldest kept.
    const minute& at(int input, std::size_t k) const;
    // The drop line of the last whole hour; before the first hour is over, the one since start.
    std::string hour_line(int input, const input_drops& now) const { return hour.line(input, now); }

  private:
    const drop_hour& hour;
    // A ring per input: slot `next` is the oldest once all are kept.
    std::array<std::array<minute, minutes_kept>, junction_box_count> ring{};
    std::array<minute, junction_box_count> totals_before{};
    std::size_t next = 0;
    std::size_t kept = 0;
};

}  // namespace vorlane
