#pragma once

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "base/junction_boxes.h"
#include "stream/drop_statistics.h"
#include "stream/group_assembly.h"
#include "stream/input_format.h"
#include "stream/keyed_hash.h"
#include "stream/replacement_index.h"
#include "stream/source_selection.h"
#include "stream/source_table.h"
#include "validation/nmea_sentence.h"
#include "validation/tag_block.h"

namespace vorlane {

// Bytes 0 to 7 of an IEC 61162-450 payload are a header that the gateway skips unread.
inline constexpr std::int32_t datagram_header_size = 8;
// An iec450 datagram of sentence lines begins with this token and its NUL.
inline constexpr char iec450_sentence_token[] = "UdPbC";
inline constexpr std::int32_t iec450_token_size = sizeof iec450_sentence_token;
inline constexpr std::size_t max_queued_text = 82;
// The smallest batch buffer that always has room for the head sentence and the NUL.
inline constexpr std::int32_t min_take_capacity = max_queued_text + 1;
inline constexpr std::size_t queue_slot_count = 1024;
// What the 100 ms service takes from an output's queue at once, the gateway's and the checker's
// alike: at most batch_capacity - 1 characters and the NUL.
inline constexpr std::int32_t batch_capacity = 4800;
// The longest TAG block an output writes in front of a line: "\\s:", 15 characters, ",c:", the 19
// digits of the largest time and "*hh\\". An output that tags its lines needs this much more room
// than min_take_capacity.
inline constexpr std::int32_t max_output_tag_length = 3 + max_tag_identifier_length + 3 + 19 + 4;

// Output numbers an accepted sentence goes to. It keeps each output at most once and nothing
// that is not an output, so room for one entry per output is all it needs; it lives inside the
// message, which keeps the per-sentence path free of allocation.
class destination_list {
  public:
    void add(std::int32_t output) {
        if (output < 0 || output >= output_count || std::find(begin(), end(), output) != end()) return;
        outputs[count++] = output;
    }
    bool empty() const { return count == 0; }
    const std::int32_t* begin() const { return outputs.data(); }
    const std::int32_t* end() const { return outputs.data() + count; }

  private:
    std::array<std::int32_t, output_count> outputs{};
    std::size_t count = 0;
};

// One accepted sentence on its way to the queues; lives only while its line is handled.
struct nmea_message_out {
    char text[sentence_text_size] = {};  // the sentence with CR LF once accepted
    nmea_sentence_info info;
    std::int32_t source = -1;
    destination_list destinations;
};

// Where each line of a batch begins and which lines begin a group, for a sender that frames
// lines itself: a batch holds at most one line per queue slot.
struct batch_lines {
    std::array<std::int32_t, queue_slot_count> start{};
    // The lines of the group that begins at this line, itself included; 0 for a line of no
    // group or one inside a group.
    std::array<std::uint8_t, queue_slot_count> group_lines{};
    std::size_t count = 0;

    void add(std::size_t at, std::size_t group) {
        start[count] = static_cast<std::int32_t>(at);
        group_lines[count] = static_cast<std::uint8_t>(group);
        ++count;
    }
};

// One slot of an output queue.
struct queued_sentence {
    std::uint32_t formatter_index = 0;
    std::int32_t talker_index = 0;
    // The characters of `text` before its NUL, known when it is queued: taking a batch then
    // copies each line without scanning it again.
    std::uint8_t length = 0;
    char text[sentence_text_size] = {};
};

// A source that sent two sentences under one line count (n:) within the duplicate window.
struct line_count_conflict {
    char source[max_tag_identifier_length + 1] = {};
    std::int64_t line_count = -1;
};

// Told of every line the validator judged, for tools that report line by line; the gateway
// sets none. `line` is the text as it arrived, without CR LF.
class sentence_observer {
  public:
    virtual ~sentence_observer() = default;
    virtual void judged(std::int32_t input, const char* line, const nmea_sentence_info& info,
                        const nmea_rejection& why) = 0;
};

// Turns IEC 61162-450 datagrams into validated sentence lines and keeps one fixed queue per
// output for the 100 ms sender. Input k feeds only output k. Latest-value sentences replace a
// waiting sentence of the same kind (and, on an iec450 input, of the same sender) in place, so a
// backed-up queue sends the newest value at the place of the old one instead of a stale value
// first. On an iec450 input a line that arrives twice is served once.
//
// Main thread only; nothing here locks or allocates. The program holds one instance; at about
// about 5 MB it belongs in static storage or on the heap, not on a stack.
class nmea_manager {
  public:
    // The replacement index is keyed afresh for each manager, so for each process.
    nmea_manager();
    nmea_manager(const nmea_manager&) = delete;
    nmea_manager& operator=(const nmea_manager&) = delete;

    // `payload` holds `length` bytes followed by a NUL and may be altered in place. Datagrams
    // of another input, with a bad UDP checksum or shorter than the header or token of the
    // input's format are dropped whole; every accepted line goes to the output numbered `source`.
    void process_datagram(std::int32_t input, std::int32_t source, std::uint8_t* payload, std::int32_t length,
                          bool udp_checksum_bad);

    // Counts a datagram of `input` that the input path refused before it reached the decoder, as
    // one received and dropped whole for `why`.
    void drop_datagram(std::int32_t input, stream_drop why);

    // Queues the message on every output in its destinations; a full queue drops it there.
    void queue_sentence(const nmea_message_out& message);

    bool has_output(std::int32_t output) const;
    // How the datagrams of `input` are laid out; unusable for an input that is not one.
    datagram_format input_format(std::int32_t input) const {
        return input >= 0 && input < junction_box_count ? formats[static_cast<std::size_t>(input)]
                                                        : datagram_format::unusable;
    }

    // How the datagrams of `input` are laid out and, for iec450, whose lines it takes; until it
    // is set an input reads header8. A group still arriving on the input is dropped.
    void set_input_format(std::int32_t input, datagram_format format, const source_filter& sources = {});
    // Whose layouts the sentences of `input` may follow; until it is set, the current edition's only.
    void set_input_editions(std::int32_t input, nmea_editions accepted);

    // The time that queued sentences are stamped with and their age is measured against. The
    // caller sets it once per datagram or batch rather than have the clock read per sentence;
    // a steady clock, so that setting the computer's clock ages nothing.
    void set_time(queue_clock::time_point now) { current_time = now; }
    // The receive time an output's TAG blocks give (c:), in seconds since 1970 UTC: the wall
    // clock, read by the caller as it reads the steady one, or a capture's timestamps.
    void set_wall_time(std::int64_t unix_seconds) { current_wall_time = unix_seconds; }

    // Which sources of its iec450 input `output` serves, in order of preference, and how long the
    // served source of a latest-value formatter may be silent before the next takes over; an
    // empty list serves every line. Forgets which sources were served.
    void set_output_sources(std::int32_t output, const source_filter& sources, std::chrono::seconds failover);
    // The TAG block fields written in front of each line the output serves from now on.
    void set_output_tags(std::int32_t output, output_tags tags);
    const source_selection& selection(std::int32_t output) const { return selections[output]; }
    // True, with the oldest change of a served source on `output` not yet taken.
    bool take_source_switch(std::int32_t output, source_switch& change);
    // The LAN the next datagrams come on, 0 or 1: an iec450 line that the other LAN brought
    // first is counted as its copy, not as a fault.
    void set_lan(std::int32_t lan) { current_lan = lan == 1 ? 1 : 0; }
    // How many LANs the datagrams come on, 1 or 2: with two the duplicate check remembers enough
    // lines to hold a copy that comes 500 ms after the first. What each input's sources sent
    // before is forgotten.
    void set_lans(std::int32_t lans);

    // Moves whole sentences from the head of the queue into `buffer`, dropping those older than
    // max_sentence_age on the way. The lines of a group go together or wait for the next call. `capacity` is
    // the size of the buffer on entry and the number of characters placed on return; the buffer stays
    // NUL-terminated. Answers false, leaving buffer and capacity alone, for a capacity below
    // min_take_capacity (plus max_output_tag_length on an output that tags its lines) or an empty queue, and
    // false with the capacity alone when every waiting sentence was dropped on the way. `lines`, when given,
    // is told where each line begins.
    bool take_output(std::int32_t output, char* buffer, std::int32_t& capacity, batch_lines* lines = nullptr);

    static bool is_replaceable_formatter(std::uint32_t formatter_index);

    // True when both texts are longer than `to` characters, from < to, and the characters
    // [from, to) agree.
    static bool key_chars_equal(const char* a, const char* b, std::int32_t from, std::int32_t to);

    // Copies of the two listening ports, written by the controller for the Data Monitor.
    std::array<std::int32_t, output_count> output_ports{};

    // What was dropped and why, per input; an output's queue drops count for its input.
    const stream_statistics& statistics() const { return counts; }
    // True, with the newest one, when a source of `input` sent two sentences under one line
    // count since the last call.
    bool take_count_conflict(std::int32_t input, line_count_conflict& conflict);
    void set_observer(sentence_observer* observer) { line_observer = observer; }

  private:
    void decode_payload(std::int32_t input, std::int32_t source, char* text, datagram_format format);
    void decode_iec450(std::int32_t input, std::int32_t source, std::uint8_t* payload);
    // Strips and checks the line's TAG block and applies the input's source filter.
    void handle_tagged_line(std::int32_t input, std::int32_t source, char* line);
    // Validates `sentence`, which lies at the end of `line`, and queues it when it is accepted.
    void handle_line(std::int32_t input, std::int32_t source, const char* line, char* sentence,
                     const nmea_tag_block* tag);
    // Holds an accepted line of a group; once the group is whole and queued, or dropped by its
    // output's source list, its counts are remembered for the duplicate check.
    void hold_group_line(std::int32_t input, const nmea_tag_block& tag, bool established,
                         const nmea_message_out& message, std::size_t length);
    // False, and nothing queued, when the queue has no room for the whole group.
    bool queue_group(const arriving_group& group);
    void note_conflict(std::int32_t input, const nmea_tag_block& tag);
    // On an output with a source list: whether the list serves an accepted line of `source`
    // (empty for none); a line it does not serve is counted as dropped.
    bool selected(std::int32_t output, const char* source, std::uint32_t formatter_index);
    // A group is served or dropped whole: it is served when every line is.
    bool group_selected(const arriving_group& group);
    // Writes the slot's TAG block, when its output tags its lines, and its sentence at `total`
    // when both fit in `room` with the NUL behind them; false, `total` unchanged, when not.
    bool put_line(std::int32_t output, std::size_t slot, char* buffer, std::size_t& total, std::size_t room);
    // Writes the TAG block of the sentence in `slot` at `out`, which has room for `room`, and
    // sets `length` to its size (left alone for a line without any of the fields); false when it
    // does not fit.
    bool put_tag_block(std::int32_t output, std::size_t slot, char* out, std::size_t room,
                       std::size_t& length) const;
    // What the output's TAG block gives for the sentence in `slot`.
    void note_tag_fields(std::int32_t output, std::size_t slot, const char* source);
    // Moves the group at the head of the queue into the batch of `total` characters when it fits
    // in `room`; false, leaving it queued, when it must wait for the next batch.
    bool take_group(std::int32_t output, char* buffer, std::size_t& total, std::size_t room,
                    batch_lines* lines);
    // queue_sentence once the text is known to be `length` characters, 1 to max_queued_text: the
    // decoder has just measured the line and need not scan the copy again.
    // `sender` is the serial of the line's TAG block source within its input, 0 without one:
    // latest-value sentences of two senders do not replace each other.
    // True when the message was queued on at least one output.
    // `tag_source` is the line's s:, empty for none.
    bool queue_checked(const nmea_message_out& message, std::size_t length, std::uint32_t sender,
                       const char* tag_source);
    bool queue_on(std::int32_t output, const nmea_message_out& message, std::size_t length,
                  std::uint32_t sender, const char* tag_source);
    queued_sentence* find_replaceable(std::int32_t output, const nmea_message_out& message,
                                      std::size_t length, std::uint32_t sender, std::uint64_t key_hash);
    // Moves the head of the queue on by one slot.
    void leave_head(std::int32_t output);
    // The keyed hash of what a latest-value sentence is replaced under; false for a sentence
    // that has no key.
    bool replacement_key_hash(const nmea_message_out& message, std::size_t length, std::uint32_t sender,
                              std::uint64_t& hash) const;

    // Per output a ring: the waiting sentences are the slots from the head up to, not
    // including, the tail. One slot always stays free so that head == tail means empty, which
    // leaves room for queue_slot_count - 1 sentences.
    std::array<std::array<queued_sentence, queue_slot_count>, output_count> output_slots{};
    // When the sentence in each slot was queued. Kept beside the slots rather than in them, as
    // the spans and senders are: taking a batch reads only the stamps and spans of the slots.
    std::array<std::array<queue_clock::time_point, queue_slot_count>, output_count> queued_at{};
    // Per slot, how many lines of a group start there (the slot's own included); 0 for a
    // sentence of no group.
    std::array<std::array<std::uint8_t, queue_slot_count>, output_count> group_span{};
    // Per slot, the sender serial of its sentence.
    std::array<std::array<std::uint32_t, queue_slot_count>, output_count> queued_sender{};
    // The waiting latest-value sentences by key, so that a full queue is not walked for each
    // arriving sentence.
    std::array<replacement_index<queue_slot_count>, output_count> replaceable{};
    std::array<std::size_t, output_count> queue_head{};
    std::array<std::size_t, output_count> queue_tail{};
    queue_clock::time_point current_time{};
    // -1 until it is set: no c: rather than 1970.
    std::int64_t current_wall_time = -1;
    std::uint8_t current_lan = 0;
    std::array<datagram_format, junction_box_count> formats{};
    std::array<source_filter, junction_box_count> filters{};
    std::array<nmea_editions, junction_box_count> editions{};
    std::array<group_assembly, junction_box_count> groups{};
    std::array<source_table, junction_box_count> senders{};
    keyed_hash key_hash_of;
    std::array<line_count_conflict, junction_box_count> conflicts{};
    std::array<bool, junction_box_count> conflict_unreported{};
    stream_statistics counts;
    sentence_observer* line_observer = nullptr;
    // Kept behind everything an untagged output without a source list touches per sentence.
    std::array<output_tags, output_count> tags_of{};
    std::array<source_selection, output_count> selections{};
    // Per slot, for the TAG block of an output that tags its lines: the sentence's source (s:),
    // empty for none, and when it was received. Written only on such an output.
    std::array<std::array<std::array<char, max_tag_identifier_length + 1>, queue_slot_count>, output_count>
        queued_source{};
    std::array<std::array<std::int64_t, queue_slot_count>, output_count> received_at{};
};

}  // namespace vorlane
