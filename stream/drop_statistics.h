#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/junction_boxes.h"
#include "validation/nmea_sentence.h"
#include "validation/nmea_tables.h"
#include "validation/rejection.h"

namespace vorlane {

// Where the stream manager drops what passed the capture, besides rejected sentences; each has
// one row in the catalogue in drop_statistics.cpp.
enum class stream_drop : std::uint8_t {
    bad_udp_checksum,   // a whole datagram
    too_short,          // a whole datagram, shorter than its header
    queue_full,         // an accepted sentence with no free slot in its output queue
    aged_out,           // an accepted sentence that waited too long to be served
    unusable_format,    // a whole datagram of an input whose settings name no usable format
    binary_transfer,    // a whole datagram of an IEC 61162-450 binary file transfer
    unknown_token,      // a whole datagram that begins with no token the gateway knows
    source_not_listed,  // a line whose TAG block source the input does not take
    group_incomplete,   // an accepted line of a group that did not arrive whole
    group_too_large,    // the accepted lines of a group larger than a batch holds
    other_sender,       // a whole datagram from a junction box's IP address but not its Ethernet address
    duplicate,          // an accepted line that arrived before from the same source with the same n:
    lost_upstream,      // a line its source counted (n:) that never arrived
    source_table_full,  // an accepted line of a new source while established sources fill the table
    count_conflict,     // a served line whose source sent another sentence under the same n: just before
    count_jumped,       // a served line whose n: jumped further than lost lines are counted for
    // An accepted line whose source is not in its output's source list.
    source_not_selected,
    // An accepted line of a listed source while a better one is served for its formatter.
    standby_source,
    other_lan_copy,  // a whole datagram, or an accepted line, that the other LAN brought first
};
inline constexpr std::size_t stream_drop_count = static_cast<std::size_t>(stream_drop::other_lan_copy) + 1;
// What a drop takes away, which decides whether it is among what arrived: a datagram or a line
// that the validator never judged, an accepted line that was never served, a line that never
// arrived at all, or nothing: a served line that is counted for what it showed, or the second
// copy of a datagram that the other LAN brought, which is neither a fault nor news.
enum class stream_drop_kind : std::uint8_t {
    whole_datagram,
    unjudged_line,
    accepted_line,
    never_arrived,
    noted
};
// "bad UDP checksum", as counts and summaries name the drop.
const char* label_of(stream_drop drop);
stream_drop_kind kind_of(stream_drop drop);

// The row a sentence is counted in: 0 for one that was never identified or whose formatter is
// not listed, 1 to formatter_count the listed formatters by index, then queries and
// proprietary sentences.
inline constexpr std::size_t query_row = formatter_count + 1;
inline constexpr std::size_t proprietary_row = formatter_count + 2;
inline constexpr std::size_t formatter_row_count = formatter_count + 3;
// Inline: every judged sentence is counted in its row.
inline std::size_t formatter_row(std::uint32_t formatter_index) {
    if (formatter_index >= 1 && formatter_index <= formatter_count) return formatter_index;
    if (formatter_index == FORMATTER_QUERY) return query_row;
    if (formatter_index == FORMATTER_PROPRIETARY) return proprietary_row;
    return 0;
}
// "GGA", "query", "proprietary", or "other" for row 0.
const char* formatter_row_name(std::size_t row);

// A rejected line as it is kept for the operator: at most the first 80 characters.
inline constexpr std::size_t quoted_line_size = 81;

struct formatter_tally {
    std::uint64_t accepted = 0;
    // Of those, the sentences accepted in an earlier edition's layout: the mark of an old sensor.
    std::uint64_t earlier_layout = 0;
    std::array<std::uint64_t, rejection_count> rejected{};
    // The most frequent reason and the line that made it so.
    rejection top_reason = rejection::none;
    char example[quoted_line_size] = {};

    std::uint64_t rejected_total() const;
};

struct input_tally {
    std::uint64_t datagrams = 0;  // handed to the stream manager
    std::uint64_t lines = 0;      // judged by the validator
    std::array<std::uint64_t, stream_drop_count> dropped{};
    std::array<formatter_tally, formatter_row_count> formatters{};

    // The counts since `baseline`, an earlier copy; examples are the newer ones.
    input_tally since(const input_tally& baseline) const;
};

struct rejected_line {
    std::int32_t input = 0;
    nmea_sentence_info info;
    nmea_rejection why;
    char text[quoted_line_size] = {};
};

// What the stream manager dropped and why, per input, in fixed tables: counting does not
// allocate, and the main thread that runs the stream manager is the only one that touches it.
class stream_statistics {
  public:
    static constexpr std::size_t recent_capacity = 200;

    void count_datagram(std::int32_t input) { ++inputs[input].datagrams; }
    // `lines` sentences dropped at once: a group goes whole.
    void count_drop(std::int32_t input, stream_drop drop, std::uint64_t lines = 1) {
        inputs[input].dropped[static_cast<std::size_t>(drop)] += lines;
    }
    void count_accepted(std::int32_t input, const nmea_sentence_info& info) {
        ++inputs[input].lines;
        formatter_tally& formatter = inputs[input].formatters[formatter_row(info.formatter_index)];
        ++formatter.accepted;
        formatter.earlier_layout += info.earlier_layout ? 1 : 0;
    }
    // `line` is the rejected text, quoted as far as it fits.
    [[gnu::cold]] void count_rejected(std::int32_t input, const nmea_sentence_info& info,
                                      const nmea_rejection& why, const char* line);

    const input_tally& input(std::int32_t input) const { return inputs[input]; }
    // The newest rejected lines of both inputs, at most recent_capacity; 0 is the oldest.
    std::size_t recent_count() const {
        return recent_total < recent_capacity ? recent_total : recent_capacity;
    }
    const rejected_line& recent(std::size_t k) const;
    // Every line rejected since start, also those no longer kept.
    std::size_t rejected_seen() const { return recent_total; }

  private:
    std::array<input_tally, junction_box_count> inputs{};
    std::array<rejected_line, recent_capacity> recent_lines{};
    std::size_t recent_total = 0;
    // The slot the next rejected line goes to; kept apart from the total so that counting
    // needs no division.
    std::size_t recent_next = 0;
};

}  // namespace vorlane
