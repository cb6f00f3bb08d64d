#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "stream/group_assembly.h"
#include "validation/tag_block.h"

namespace vorlane {

// Senders (s:) one input keeps apart. Beyond this the one heard least recently is forgotten:
// its next line is taken as a new sender's.
inline constexpr std::size_t max_sources_per_input = 32;
// A line whose source and count (n:) equal one of that source's last duplicate_window_lines
// lines, received at most duplicate_window_age before, is the same line once more: a redundant
// network path delivers each datagram twice, milliseconds to some hundred milliseconds apart.
// The line limit keeps a count that has run round (1 to 999, then 1) at a high rate from being
// taken for a repeat.
inline constexpr std::size_t duplicate_window_lines = 64;
inline constexpr std::chrono::seconds duplicate_window_age{2};

// The largest line count before the count starts again at 1.
inline constexpr std::int64_t max_line_count = 999;

// What an input remembers of one sender.
struct source_record {
    // The s: identifier, zero-padded as the TAG block reader leaves it.
    char name[max_tag_identifier_length + 1] = {};
    // Tells this sender's waiting sentences from another's; 0 while the record is unused.
    std::uint32_t serial = 0;
    queue_clock::time_point last_heard{};
    // The counts of its last lines that carried one, and when each came: a ring whose next
    // entry is `next`; entries beyond `remembered` mean nothing.
    std::array<std::int64_t, duplicate_window_lines> counts{};
    std::array<queue_clock::time_point, duplicate_window_lines> received{};
    std::size_t next = 0;
    std::size_t remembered = 0;
    // How many of the remembered lines carry each count up to max_line_count: most lines are
    // no repeat, and this tells so without a look at the ring.
    std::array<std::uint8_t, max_line_count + 1> remembered_with{};
    // The count of its newest line, rejected or not; -1 before the first.
    std::int64_t last_count = -1;
};

// The senders of one input, each with its recent line counts. Fixed storage; nothing here
// allocates.
class source_table {
  public:
    // The record of the sender named `name` (zero-padded), heard now; a sender not yet known
    // takes the place of the one heard least recently.
    source_record& heard(const char (&name)[max_tag_identifier_length + 1], queue_clock::time_point now);
    // True when `count` repeats one of the sender's recent lines; otherwise it is remembered.
    static bool repeats(source_record& sender, std::int64_t count, queue_clock::time_point now);
    // The lines the sender counted between its newest line and this one, which never came; the
    // count then becomes the newest. A step back, or a jump forward of half the round (1 to 999)
    // or more, is a line that came late or a sender that started counting again: no line is
    // counted, and the newest count stays until the counts pass it.
    static std::uint64_t missing_before(source_record& sender, std::int64_t count);
    void forget_all();

  private:
    std::array<source_record, max_sources_per_input> records{};
    std::uint32_t last_serial = 0;
    // Lines come in runs of one sender: its record is looked at first.
    std::size_t last_found = 0;
};

}  // namespace vorlane
