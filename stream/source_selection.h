#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "stream/group_assembly.h"
#include "stream/input_format.h"
#include "validation/nmea_tables.h"
#include "validation/tag_block.h"

namespace vorlane {

// How long a better source must be heard again, without a silence longer than the failover time,
// before it is served once more. A receiver that restarts, or a cable that makes contact now and
// then, talks for a moment and falls silent again; each switch moves the display's position
// between two antennas or its heading between two gyros. Five seconds is five lines of a 1 Hz
// GPS and fifty of a 10 Hz gyro in a row: long enough to trust the source again, short enough
// that the better sensor is back before an operator would notice the worse one.
inline constexpr std::chrono::seconds return_hold_time{5};

// What an output does with a line, given its source list.
enum class selection_verdict : std::uint8_t {
    serve,
    not_selected,  // its source is not in the output's list, or it has none
    standby,       // a better listed source is served for its formatter
};

// A change of the source served for one formatter.
struct source_switch {
    enum class why : std::uint8_t {
        silent,  // the served source was silent for longer than the failover time
        back,    // a better source was heard again for the hold time
        // A better source was heard for the first time: it has never failed, so there is nothing
        // to hold against it; at start-up the sources speak up in any order.
        preferred,
    };
    std::uint32_t formatter_index = 0;
    char from[max_tag_identifier_length + 1] = {};
    char to[max_tag_identifier_length + 1] = {};
    why reason = why::silent;
    // How long `from` had been silent, whole seconds; 0 for the other reasons.
    std::int64_t silent_seconds = 0;
};

// Which of an output's listed sources it serves, formatter by formatter. Latest-value formatters
// (one sensor's value replaces another's) come from the first listed source that is talking;
// lines of every other formatter are served from every listed source. Fixed storage; nothing here
// allocates.
class source_selection {
  public:
    static constexpr std::size_t max_pending_switches = 32;

    source_selection() { served_position.fill(nobody); }

    // The output's sources in order of preference, and how long the served source of a
    // latest-value formatter may be silent before the next listed one that is talking takes its
    // place; an empty list serves every line. Forgets what was heard and served.
    void configure(const source_filter& sources, std::chrono::seconds failover);
    bool active() const { return !sources.takes_every_line(); }

    // The verdict on an accepted line of `source` (its s:, empty when it has none) arriving `now`;
    // a line of a listed source counts as heard.
    selection_verdict select(const char* source, std::uint32_t formatter_index, bool latest_value,
                             queue_clock::time_point now);

    // True, with the oldest switch not yet taken. When more switches come before they are taken
    // than are kept, the oldest go untold; they are counted all the same.
    bool take_switch(source_switch& change);
    std::uint64_t switch_count() const { return switches; }
    // The source served for the formatter; nullptr while none is.
    const char* served(std::uint32_t formatter_index) const;

  private:
    struct hearing {
        bool ever = false;
        queue_clock::time_point last{};
        // When the source began to talk again after its last silence.
        queue_clock::time_point since{};
    };
    static constexpr std::uint8_t nobody = 0xff;

    bool talking(std::size_t position, std::uint32_t formatter_index, queue_clock::time_point now) const;
    void note_switch(std::uint32_t formatter_index, std::size_t from, std::size_t to,
                     source_switch::why reason, queue_clock::time_point now);

    source_filter sources;
    queue_clock::duration failover{};
    std::array<std::uint8_t, formatter_count + 1> served_position{};
    std::array<std::array<hearing, formatter_count + 1>, source_filter::max_sources> heard{};
    // A ring of the switches not yet taken, the oldest at `pending_first`.
    std::array<source_switch, max_pending_switches> pending{};
    std::size_t pending_first = 0;
    std::size_t pending_count = 0;
    std::uint64_t switches = 0;
};

}  // namespace vorlane
