#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "validation/nmea_sentence.h"
#include "validation/tag_block.h"

namespace vorlane {

// A sentence of at most 80 characters, CR LF and the NUL.
inline constexpr std::size_t sentence_text_size = 84;
// A sentence that has waited longer than this is no longer served: after an outage of the input
// or of the outputs the display would otherwise get old positions and headings as if they were
// new. A newer sentence that replaces a waiting one in place starts the wait afresh.
inline constexpr std::chrono::seconds max_sentence_age{5};

using queue_clock = std::chrono::steady_clock;

// Groups one input holds at once while their lines arrive: an AIS transponder's two-line
// messages and a GPS's satellite views interleave line by line, and a few more senders may do
// the same. A ninth group pushes out the one that began longest ago.
inline constexpr std::size_t max_groups_in_flight = 8;
// The most lines of one group: the largest size a g: field can announce.
inline constexpr std::size_t max_group_lines = 99;

// A line of a group, held until the group is whole.
struct held_line {
    std::uint32_t formatter_index = 0;
    std::int32_t talker_index = 0;
    // The line's n:, -1 without one: remembered for the duplicate check once the group is served.
    std::int64_t line_count = -1;
    // The text's length, CR LF included.
    std::size_t length = 0;
    char text[sentence_text_size] = {};
};

// A group whose lines are arriving; once whole, or dropped, it stays in its slot until another
// group needs the slot, so that a repeated later line still finds whose it was.
struct arriving_group {
    // The s: of its first line, zero-padded; empty when that line had none.
    char source[max_tag_identifier_length + 1] = {};
    std::uint32_t id = 0;
    std::int32_t size = 0;
    std::int32_t lines = 0;
    bool in_flight = false;
    // Its source was established when it began: a stranger's group cannot push it out.
    bool established = false;
    std::int32_t output = 0;
    queue_clock::time_point started{};
    std::array<held_line, max_group_lines> held{};
};

// Assembles the TAG block groups (g:) of one input, each by its source and identifier, several
// at once. A group completes only whole and in order: a missing, repeated or out-of-order line,
// or a rejected one, ends it, and its lines are dropped. A group of an established source is
// pushed out only by another established source's. Lines of no group are not its business.
// Fixed storage; nothing here allocates.
class group_assembly {
  public:
    // The source of the group a later line without s: belongs to: the one its identifier names,
    // preferring a group arriving that expects this very line. nullptr when none is known.
    const char* source_of(const nmea_tag_block& tag) const;

    // True when the group this line belongs to already holds a line at its place with the same
    // count and `sentence`: a copy of the group, arriving over another path while the first
    // is still arriving.
    bool holds_copy(const nmea_tag_block& tag, std::string_view sentence) const;

    // Holds an accepted line of a group; `tag.source` is its group's source and `established`
    // tells whether that source is. Answers the group when this line made it whole (valid
    // until the next call), nullptr otherwise. `dropped` grows by every line that can no longer
    // be served: this one when its group is not arriving, it comes out of place, or only
    // established sources' groups are arriving, and the held lines of a group it ends or
    // pushes out.
    const arriving_group* add(const nmea_tag_block& tag, bool established, std::int32_t output,
                              const nmea_sentence_info& info, const char* text, std::size_t length,
                              queue_clock::time_point now, std::uint64_t& dropped);
    // Ends the group of a line that was rejected; answers the held lines dropped with it.
    std::uint64_t drop(const nmea_tag_block& tag);
    // Ends the groups begun before `limit`; answers the held lines dropped.
    std::uint64_t drop_begun_before(queue_clock::time_point limit);
    // Ends every arriving group; answers the held lines dropped.
    std::uint64_t drop_all();

  private:
    arriving_group* arriving(const char* source, std::uint32_t id);
    const arriving_group* arriving(const char* source, std::uint32_t id) const;
    // A slot for a new group: one not arriving that was used longest ago, else the arriving group
    // begun longest ago that `established` may push out, whose held lines are added to
    // `dropped`; nullptr when there is none.
    arriving_group* free_slot(bool established, std::uint64_t& dropped);
    static std::uint64_t end(arriving_group& group);

    std::array<arriving_group, max_groups_in_flight> groups{};
};

}  // namespace vorlane
