#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "stream/group_assembly.h"
#include "validation/line_scan.h"
#include "validation/tag_block.h"

namespace vorlane {

// Senders (s:) one input keeps apart. While the table is full, a new sender takes the place of
// the quietest one that is not established, or has its lines dropped when every one is.
inline constexpr std::size_t max_sources_per_input = 32;
// A line whose source and count (n:) equal one of that source's last duplicate_window_lines
// served lines, received at most duplicate_window_age before, is the same line once more: a
// redundant network path delivers each datagram twice, milliseconds to some hundred milliseconds
// apart. The line limit keeps a count that has run round (1 to 999, then 1) at a high rate from
// being taken for a repeat, so it stays well below 999. On one LAN a copy follows within
// milliseconds and 64 lines do; on two LANs the window holds the copies that arrive 500 ms apart
// from a source at 1,000 lines a second.
inline constexpr std::size_t duplicate_window_lines = 640;
inline constexpr std::size_t duplicate_window_lines_one_lan = 64;
inline constexpr std::chrono::seconds duplicate_window_age{2};
// A sender heard for this long, and heard within the duplicate window, is established: a burst
// of new names cannot push it out of the table. A real sender talks for minutes; a name used for
// a burst does not live this long.
inline constexpr std::chrono::seconds established_after = duplicate_window_age;

// The largest line count before the count starts again at 1.
inline constexpr std::int64_t max_line_count = 999;
// The most lines one jump of a sender's count is taken to have lost. A link that fails for a few
// seconds loses some tens of lines per sender; a larger jump is more likely a sender that counted
// afresh, or a line made up to make the count look broken, and is noted as a jump instead.
inline constexpr std::int64_t max_lost_per_jump = 100;

// What the duplicate check finds of a line's count among its sender's recent served lines.
enum class count_seen : std::uint8_t {
    fresh,     // no recent line has it
    repeat,    // a recent line has it, with the same sentence
    copy,      // a recent line that came on the other LAN has it, with the same sentence
    conflict,  // recent lines have it, each with another sentence
};

// What a line's count says about the lines between it and its sender's newest.
struct count_step {
    std::uint64_t lost = 0;  // counted lines that never came
    bool jumped = false;     // a jump too large to be taken for lost lines
};

// What an input remembers of one sender.
struct source_record {
    // The s: identifier, zero-padded as the TAG block reader leaves it.
    char name[max_tag_identifier_length + 1] = {};
    // Tells this sender's waiting sentences from another's; 0 while the record is unused.
    std::uint32_t serial = 0;
    queue_clock::time_point first_heard{};
    queue_clock::time_point last_heard{};
    // The counts and sentences of its last served lines that carried a count, and when each
    // came: a ring whose next entry is `next`; entries beyond `remembered` mean nothing. The
    // sentence is kept to tell a copy from another line under the same count.
    std::array<std::int64_t, duplicate_window_lines> counts{};
    std::array<queue_clock::time_point, duplicate_window_lines> received{};
    std::array<std::array<char, max_sentence_length + 1>, duplicate_window_lines> sentences{};
    // The LAN each came on.
    std::array<std::uint8_t, duplicate_window_lines> lans{};
    std::size_t next = 0;
    std::size_t remembered = 0;
    // How many of the entries the window uses: duplicate_window_lines_one_lan or
    // duplicate_window_lines.
    std::size_t window_lines = duplicate_window_lines_one_lan;
    // How many of the remembered lines carry each count up to max_line_count: most lines are
    // no repeat, and this tells so without a look at the ring.
    std::array<std::uint16_t, max_line_count + 1> remembered_with{};
    // The remembered lines of one count, newest first: the entry of its newest, and each entry's
    // next older one of the same count. The oldest entry, which the next line takes the place of,
    // is always the last of its count's chain, so the first remembered_with[count] entries of a
    // chain are exactly the lines remembered with the count; a copy is found without a walk of
    // the whole ring.
    std::array<std::uint16_t, max_line_count + 1> newest_with{};
    std::array<std::uint16_t, duplicate_window_lines> older_with_count{};
    // The count of its newest accepted line; -1 before the first.
    std::int64_t last_count = -1;

    bool established(queue_clock::time_point now) const {
        return serial != 0 && now - first_heard >= established_after &&
               now - last_heard <= duplicate_window_age;
    }
};

// The senders of one input, each with its recent line counts. Fixed storage; nothing here
// allocates.
class source_table {
  public:
    // The record of the sender named `name` (zero-padded), heard now. A sender not yet known
    // takes the place of the quietest one that is not established; nullptr, and nothing
    // changed, when every place is held by an established sender.
    source_record* heard(const char (&name)[max_tag_identifier_length + 1], queue_clock::time_point now);
    // The record of a known sender; nullptr for one not in the table.
    source_record* find(const char (&name)[max_tag_identifier_length + 1]);
    // Whether `count` with `sentence`, arriving on `lan`, was among the sender's recent served
    // lines.
    static count_seen seen(const source_record& sender, std::int64_t count, std::string_view sentence,
                           queue_clock::time_point now, std::uint8_t lan);
    // A line with `count` and `sentence` (at most max_sentence_length characters) that came on
    // `lan` was served.
    static void remember(source_record& sender, std::int64_t count, std::string_view sentence,
                         queue_clock::time_point now, std::uint8_t lan);
    // The lines the sender counted between its newest accepted line and this one, which never
    // came; the count then becomes the newest. A step back, or a jump forward of half the round
    // (1 to 999) or more, is a line that came late or a sender that started counting again:
    // no line is counted, and the newest count stays until the counts pass it. A jump beyond
    // max_lost_per_jump is noted as such.
    static count_step step_to(source_record& sender, std::int64_t count);
    // A damaged line with `count` came: when it is the next count, the line is not lost. Any
    // other count is not believed: nothing but the checksum vouches for it.
    static void came_damaged(source_record& sender, std::int64_t count);
    void forget_all();
    // The senders heard from now on keep `lines` served lines (at most duplicate_window_lines)
    // for the duplicate check; everything known is forgotten.
    void set_window_lines(std::size_t lines);

  private:
    std::size_t place_of(const char (&name)[max_tag_identifier_length + 1]);

    std::array<source_record, max_sources_per_input> records{};
    std::uint32_t last_serial = 0;
    std::size_t window_lines = duplicate_window_lines_one_lan;
    // Lines come in runs of one sender: its record is looked at first.
    std::size_t last_found = 0;
};

}  // namespace vorlane
