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

// One slot of an output queue.
struct queued_sentence {
    std::uint32_t formatter_index = 0;
    std::int32_t talker_index = 0;
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
// 4.7 MB it belongs in static storage or on the heap, not on a stack.
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

    // The time that queued sentences are stamped with and their age is measured against. The
    // caller sets it once per datagram or batch rather than have the clock read per sentence;
    // a steady clock, so that setting the computer's clock ages nothing.
    void set_time(queue_clock::time_point now) { current_time = now; }
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
    // min_take_capacity or an empty queue, and false with the capacity alone when every waiting
    // sentence was dropped on the way.
    bool take_output(std::int32_t output, char* buffer, std::int32_t& capacity);

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
    // Holds an accepted line of a group; once the group is whole and queued, its counts are
    // remembered for the duplicate check.
    void hold_group_line(std::int32_t input, const nmea_tag_block& tag, bool established,
                         const nmea_message_out& message, std::size_t length);
    // False, and nothing queued, when the queue has no room for the whole group.
    bool queue_group(const arriving_group& group);
    void note_conflict(std::int32_t input, const nmea_tag_block& tag);
    // Moves the group at the head of the queue into the batch of `total` characters when it fits
    // in `room`; false, leaving it queued, when it must wait for the next batch.
    bool take_group(std::int32_t output, char* buffer, std::size_t& total, std::size_t room);
    // queue_sentence once the text is known to be `length` characters, 1 to max_queued_text: the
    // decoder has just measured the line and need not scan the copy again.
    // `sender` is the serial of the line's TAG block source within its input, 0 without one:
    // latest-value sentences of two senders do not replace each other.
    // True when the message was queued on at least one output.
    bool queue_checked(const nmea_message_out& message, std::size_t length, std::uint32_t sender);
    bool queue_on(std::int32_t output, const nmea_message_out& message, std::size_t length,
                  std::uint32_t sender);
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
    std::uint8_t current_lan = 0;
    std::array<datagram_format, junction_box_count> formats{};
    std::array<source_filter, junction_box_count> filters{};
    std::array<group_assembly, junction_box_count> groups{};
    std::array<source_table, junction_box_count> senders{};
    keyed_hash key_hash_of;
    std::array<line_count_conflict, junction_box_count> conflicts{};
    std::array<bool, junction_box_count> conflict_unreported{};
    stream_statistics counts;
    sentence_observer* line_observer = nullptr;
};

}  // namespace vorlane
