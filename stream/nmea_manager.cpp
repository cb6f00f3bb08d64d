#include "stream/nmea_manager.h"

#include <algorithm>
#include <cstring>

#include "validation/nmea_tables.h"
#include "validation/nmea_validator.h"
#include "validation/str_tok.h"

namespace vorlane {

namespace {

// Latest-value sentences: a newer one from the same talker replaces the waiting one.
constexpr std::array replaceable_formatters{
    formatter_index_of("DBT"), formatter_index_of("DPT"), formatter_index_of("DTM"),
    formatter_index_of("GBS"), formatter_index_of("GFA"), formatter_index_of("GGA"),
    formatter_index_of("GLL"), formatter_index_of("GNS"), formatter_index_of("GRS"),
    formatter_index_of("GSA"), formatter_index_of("GST"), formatter_index_of("HBT"),
    formatter_index_of("HDG"), formatter_index_of("HDT"), formatter_index_of("MTW"),
    formatter_index_of("MWD"), formatter_index_of("MWV"), formatter_index_of("OSD"),
    formatter_index_of("RMA"), formatter_index_of("RMB"), formatter_index_of("RMC"),
    formatter_index_of("ROR"), formatter_index_of("ROT"), formatter_index_of("RSA"),
    formatter_index_of("RSD"), formatter_index_of("THS"), formatter_index_of("VBW"),
    formatter_index_of("VDR"), formatter_index_of("VHW"), formatter_index_of("VLW"),
    formatter_index_of("VTG"), formatter_index_of("WAT"), formatter_index_of("ZDA"),
};
// The indexes that peers and logs know these formatters by.
static_assert(replaceable_formatters == std::array<std::uint32_t, 33>{20, 23, 26, 31, 33, 34, 35, 36, 37,
                                                                      38, 39, 41, 42, 43, 58, 59, 60, 64,
                                                                      67, 68, 69, 70, 71, 73, 74, 79, 89,
                                                                      92, 94, 95, 98, 99, 106});

constexpr auto replaceable_by_index = [] {
    std::array<bool, formatter_count + 1> table{};
    for (const std::uint32_t index : replaceable_formatters) table[index] = true;
    return table;
}();

// Sentences replaced under a key cut from their text.
constexpr std::uint32_t formatter_ttm = formatter_index_of("TTM");
constexpr std::uint32_t formatter_vdm = formatter_index_of("VDM");
constexpr std::uint32_t formatter_vdo = formatter_index_of("VDO");
static_assert(formatter_ttm == 85 && formatter_vdm == 90 && formatter_vdo == 91);

// "$RATTM,01,...": the target number and the comma behind it.
constexpr std::int32_t ttm_key_from = 7;
constexpr std::int32_t ttm_key_to = 10;
// "!AIVDM,1,1,,A,13aG...": fragment count, fragment number, sequential message identifier,
// channel and the first seven armoured characters (message type and sender). A non-empty
// identifier shifts everything behind it by one.
constexpr std::int32_t ais_key_from = 7;
constexpr std::int32_t ais_key_to_without_sequence = 21;
constexpr std::int32_t ais_key_to_with_sequence = 22;

constexpr const char* line_delimiters = "\r\n";

bool is_output(std::int32_t output) {
    return output >= 0 && output < output_count;
}

// What a line that its output's source list does not serve is counted as.
stream_drop drop_of(selection_verdict verdict) {
    return verdict == selection_verdict::standby ? stream_drop::standby_source
                                                 : stream_drop::source_not_selected;
}

bool is_input(std::int32_t input) {
    return input >= 0 && input < junction_box_count;
}

std::size_t next_slot(std::size_t slot) {
    return (slot + 1) % queue_slot_count;
}

bool same_kind(const queued_sentence& slot, const nmea_message_out& message) {
    return slot.formatter_index == message.info.formatter_index &&
           slot.talker_index == message.info.talker_index;
}

// The characters of a latest-value sentence's text that its key covers beyond kind and sender:
// [from, to), the part that every key of its formatter shares (both layouts of an AIS key share
// their first 14 characters, so one chain holds them), empty for most. False for a sentence that
// is never replaced, or whose text ends before the shared part: no key of it could match.
bool replacement_key_span(const nmea_message_out& message, std::size_t length, std::int32_t& from,
                          std::int32_t& to) {
    static_assert(ais_key_to_without_sequence - ais_key_from <= keyed_hash::max_length);
    const std::uint32_t formatter = message.info.formatter_index;
    from = 0;
    to = 0;
    if (formatter == formatter_ttm) {
        from = ttm_key_from;
        to = ttm_key_to;
    } else if (formatter == formatter_vdm || formatter == formatter_vdo) {
        from = ais_key_from;
        to = ais_key_to_without_sequence;
    } else if (!nmea_manager::is_replaceable_formatter(formatter)) {
        return false;
    }
    return to == 0 || length > static_cast<std::size_t>(to);
}

}  // namespace

nmea_manager::nmea_manager() : key_hash_of(keyed_hash::with_random_key()) {}

bool nmea_manager::replacement_key_hash(const nmea_message_out& message, std::size_t length,
                                        std::uint32_t sender, std::uint64_t& hash) const {
    std::int32_t from = 0;
    std::int32_t to = 0;
    if (!replacement_key_span(message, length, from, to)) return false;
    // Kind and sender fill one word; the key characters follow.
    static_assert(formatter_count < 0x10000 && talker_count < 0x10000);
    const std::uint64_t kind = std::uint64_t{message.info.formatter_index} |
                               std::uint64_t{static_cast<std::uint16_t>(message.info.talker_index)} << 16 |
                               std::uint64_t{sender} << 32;
    hash = key_hash_of(kind, reinterpret_cast<const unsigned char*>(message.text + from),
                       static_cast<std::size_t>(to - from));
    return true;
}

void nmea_manager::drop_datagram(std::int32_t input, stream_drop why) {
    if (!is_input(input)) return;
    counts.count_datagram(input);
    counts.count_drop(input, why);
}

void nmea_manager::process_datagram(std::int32_t input, std::int32_t source, std::uint8_t* payload,
                                    std::int32_t length, bool udp_checksum_bad) {
    if (payload == nullptr || !is_input(input)) return;
    counts.count_datagram(input);
    if (udp_checksum_bad) {
        counts.count_drop(input, stream_drop::bad_udp_checksum);
        return;
    }
    const datagram_format format = formats[input];
    if (format == datagram_format::unusable) {
        counts.count_drop(input, stream_drop::unusable_format);
        return;
    }
    const std::int32_t header = format == datagram_format::iec450 ? iec450_token_size : datagram_header_size;
    if (length < header) {
        counts.count_drop(input, stream_drop::too_short);
        return;
    }
    // The caller keeps a NUL behind the payload; setting it here bounds the text by `length`
    // even if that byte was ever overwritten.
    payload[length] = 0;
    // A rule that throws ends this datagram only: the queues are consistent between lines, and
    // the next datagram must be handled normally.
    try {
        if (format == datagram_format::iec450)
            decode_iec450(input, source, payload);
        else
            decode_payload(input, source, reinterpret_cast<char*>(payload + datagram_header_size), format);
    } catch (...) {
    }
}

void nmea_manager::decode_iec450(std::int32_t input, std::int32_t source, std::uint8_t* payload) {
    // Tokens of binary file transfers: their bytes are no text and must never reach the lines.
    constexpr std::array<const char*, 3> binary_tokens{"RaUdP", "RrUdP", "RpUdP"};
    constexpr std::size_t binary_token_letters = 5;
    if (std::memcmp(payload, iec450_sentence_token, iec450_token_size) != 0) {
        // The length has passed the check against the longer sentence token.
        const bool binary = std::any_of(binary_tokens.begin(), binary_tokens.end(), [&](const char* token) {
            return std::memcmp(payload, token, binary_token_letters) == 0;
        });
        counts.count_drop(input, binary ? stream_drop::binary_transfer : stream_drop::unknown_token);
        return;
    }
    // A group whose last line never came goes when it would have aged out in the queue.
    counts.count_drop(input, stream_drop::group_incomplete,
                      groups[input].drop_begun_before(current_time - max_sentence_age));
    decode_payload(input, source, reinterpret_cast<char*>(payload + iec450_token_size),
                   datagram_format::iec450);
}

void nmea_manager::decode_payload(std::int32_t input, std::int32_t source, char* text,
                                  datagram_format format) {
    CStrTok lines;
    for (char* line = lines.first_token(text, line_delimiters); line != nullptr;
         line = lines.next_token(line_delimiters)) {
        if (format == datagram_format::iec450)
            handle_tagged_line(input, source, line);
        else
            handle_line(input, source, line, line, nullptr);
    }
}

void nmea_manager::handle_tagged_line(std::int32_t input, std::int32_t source, char* line) {
    nmea_tag_block tag;
    char* sentence = line;
    if (line[0] == '\\') {
        nmea_rejection why;
        const char* behind = read_tag_block(line, tag, why);
        if (behind == nullptr) {
            const nmea_sentence_info unidentified;
            if (line_observer != nullptr) line_observer->judged(input, line, unidentified, why);
            counts.count_rejected(input, unidentified, why, line);
            return;
        }
        sentence = line + (behind - line);
    }
    // Senders commonly name the source on a group's first line only: the later lines are the
    // group's, for the source list as for telling groups and senders apart.
    if (tag.source[0] == 0 && tag.group_line > 1)
        if (const char* owner = groups[input].source_of(tag); owner != nullptr)
            std::memcpy(tag.source, owner, sizeof tag.source);
    if (!filters[input].takes(tag.source)) {
        counts.count_drop(input, stream_drop::source_not_listed);
        return;
    }
    handle_line(input, source, line, sentence, &tag);
}

void nmea_manager::handle_line(std::int32_t input, std::int32_t source, const char* line, char* sentence,
                               const nmea_tag_block* tag) {
    nmea_message_out message;
    nmea_error_counts errors;
    nmea_rejection why;
    // The sentence is its own work buffer: it is cut out of the payload in place and the
    // validator hands it back unchanged, so a rejected sentence can be quoted from it.
    const bool accepted =
        nmea_validate_sentence(sentence, sentence, message.info, errors, &why, editions[input]);
    if (line_observer != nullptr) [[unlikely]]
        line_observer->judged(input, line, message.info, why);
    const bool grouped = tag != nullptr && tag->group_line > 0;
    const bool counted = tag != nullptr && tag->source[0] != 0 && tag->line_count >= 0;
    if (!accepted) {
        counts.count_rejected(input, message.info, why, sentence);
        // The line came, damaged: it is no line lost on the way. Only a known sender's next
        // count is taken from it, so that made-up counts neither fill the table nor the losses.
        if (counted)
            if (source_record* sender = senders[input].find(tag->source); sender != nullptr)
                source_table::came_damaged(*sender, tag->line_count);
        // The group can no longer arrive whole.
        if (grouped) counts.count_drop(input, stream_drop::group_incomplete, groups[input].drop(*tag));
        return;
    }
    counts.count_accepted(input, message.info);
    message.source = source;
    message.destinations.add(source);
    if (message.destinations.empty()) return;
    // The validator passes at most 80 characters; the check keeps the copy inside the text
    // field whatever a rule may let through.
    const std::size_t length = std::strlen(sentence);
    if (length + 2 > max_queued_text) return;
    const std::string_view bare(sentence, length);

    source_record* sender = nullptr;
    if (tag != nullptr && tag->source[0] != 0) {
        sender = senders[input].heard(tag->source, current_time);
        if (sender == nullptr) {
            counts.count_drop(input, stream_drop::source_table_full);
            return;
        }
    }
    if (counted) {
        const count_seen seen = source_table::seen(*sender, tag->line_count, bare, current_time, current_lan);
        if (seen == count_seen::copy) {
            counts.count_drop(input, stream_drop::other_lan_copy);
            return;
        }
        if (seen == count_seen::repeat || (grouped && groups[input].holds_copy(*tag, bare))) {
            counts.count_drop(input, stream_drop::duplicate);
            return;
        }
        // Another sentence under a count just served is no copy: both are served, since which
        // one is true cannot be told here, and the operator hears of it.
        if (seen == count_seen::conflict) {
            counts.count_drop(input, stream_drop::count_conflict);
            note_conflict(input, *tag);
        }
        const count_step step = source_table::step_to(*sender, tag->line_count);
        if (step.lost != 0) counts.count_drop(input, stream_drop::lost_upstream, step.lost);
        if (step.jumped) counts.count_drop(input, stream_drop::count_jumped);
    }

    std::memcpy(message.text, sentence, length);
    std::memcpy(message.text + length, "\r\n", 3);
    if (grouped) {
        hold_group_line(input, *tag, sender != nullptr && sender->established(current_time), message,
                        length + 2);
        return;
    }
    const char* tag_source = tag != nullptr ? tag->source : "";
    // A count is remembered only for a line that is served, or that its output's source list
    // dropped (its copy over the other path is then a duplicate, not a second standby line): a
    // line that never leaves, such as one of a group that never completes, must not make the true
    // line behind it a repeat.
    const bool handled =
        (selections[source].active() && !selected(source, tag_source, message.info.formatter_index)) ||
        queue_checked(message, length + 2, sender != nullptr ? sender->serial : 0, tag_source);
    if (handled && counted) source_table::remember(*sender, tag->line_count, bare, current_time, current_lan);
}

bool nmea_manager::selected(std::int32_t output, const char* source, std::uint32_t formatter_index) {
    source_selection& selection = selections[output];
    const selection_verdict verdict =
        selection.select(source, formatter_index, is_replaceable_formatter(formatter_index), current_time);
    if (verdict == selection_verdict::serve) return true;
    counts.count_drop(output, drop_of(verdict));
    return false;
}

// Every line of a group counts as heard, and the group goes whole or not at all: a group that
// binds one fix's sentences together is not torn apart when its source is served for some of
// them and on standby for others.
bool nmea_manager::group_selected(const arriving_group& group) {
    source_selection& selection = selections[group.output];
    if (!selection.active()) return true;
    selection_verdict worst = selection_verdict::serve;
    for (std::int32_t k = 0; k < group.lines; ++k) {
        const std::uint32_t formatter = group.held[static_cast<std::size_t>(k)].formatter_index;
        const selection_verdict verdict =
            selection.select(group.source, formatter, is_replaceable_formatter(formatter), current_time);
        if (verdict != selection_verdict::serve && worst != selection_verdict::not_selected) worst = verdict;
    }
    if (worst == selection_verdict::serve) return true;
    counts.count_drop(group.output, drop_of(worst), static_cast<std::uint64_t>(group.lines));
    return false;
}

void nmea_manager::note_conflict(std::int32_t input, const nmea_tag_block& tag) {
    line_count_conflict& noted = conflicts[input];
    std::memcpy(noted.source, tag.source, sizeof noted.source);
    noted.line_count = tag.line_count;
    conflict_unreported[input] = true;
}

bool nmea_manager::take_count_conflict(std::int32_t input, line_count_conflict& conflict) {
    if (!is_input(input) || !conflict_unreported[input]) return false;
    conflict_unreported[input] = false;
    conflict = conflicts[input];
    return true;
}

void nmea_manager::hold_group_line(std::int32_t input, const nmea_tag_block& tag, bool established,
                                   const nmea_message_out& message, std::size_t length) {
    std::uint64_t dropped = 0;
    const arriving_group* whole =
        groups[input].add(tag, established, *message.destinations.begin(), message.info, message.text, length,
                          current_time, dropped);
    if (dropped != 0) counts.count_drop(input, stream_drop::group_incomplete, dropped);
    if (whole == nullptr || (group_selected(*whole) && !queue_group(*whole))) return;
    source_record* sender = whole->source[0] != 0 ? senders[input].find(whole->source) : nullptr;
    if (sender == nullptr) return;
    for (std::int32_t k = 0; k < whole->lines; ++k) {
        const held_line& held = whole->held[static_cast<std::size_t>(k)];
        // The held text ends in CR LF.
        if (held.line_count >= 0)
            source_table::remember(*sender, held.line_count, std::string_view(held.text, held.length - 2),
                                   current_time, current_lan);
    }
}

void nmea_manager::set_lans(std::int32_t lans) {
    for (source_table& table : senders)
        table.set_window_lines(lans == 2 ? duplicate_window_lines : duplicate_window_lines_one_lan);
}

void nmea_manager::set_input_format(std::int32_t input, datagram_format format,
                                    const source_filter& sources) {
    if (!is_input(input)) return;
    counts.count_drop(input, stream_drop::group_incomplete, groups[input].drop_all());
    senders[input].forget_all();
    formats[input] = format;
    filters[input] = sources;
}

void nmea_manager::set_input_editions(std::int32_t input, nmea_editions accepted) {
    if (is_input(input)) editions[input] = accepted;
}

void nmea_manager::set_output_sources(std::int32_t output, const source_filter& sources,
                                      std::chrono::seconds failover) {
    if (is_output(output)) selections[output].configure(sources, failover);
}

void nmea_manager::set_output_tags(std::int32_t output, output_tags tags) {
    if (!is_output(output)) return;
    // Sentences already waiting were queued without their fields: they go without them rather
    // than with another line's.
    if (!tags_of[output].any() && tags.any()) {
        for (auto& name : queued_source[output]) name[0] = 0;
        received_at[output].fill(-1);
    }
    tags_of[output] = tags;
}

bool nmea_manager::take_source_switch(std::int32_t output, source_switch& change) {
    return is_output(output) && selections[output].take_switch(change);
}

void nmea_manager::queue_sentence(const nmea_message_out& message) {
    // A text without its terminator inside the field, or longer than a sentence can be, could
    // never leave through a buffer of min_take_capacity; it is not queued at all.
    const std::size_t length = strnlen(message.text, sentence_text_size);
    if (length == 0 || length > max_queued_text) return;
    queue_checked(message, length, 0, "");
}

bool nmea_manager::queue_checked(const nmea_message_out& message, std::size_t length, std::uint32_t sender,
                                 const char* tag_source) {
    bool queued = false;
    for (const std::int32_t output : message.destinations)
        queued = queue_on(output, message, length, sender, tag_source) || queued;
    return queued;
}

bool nmea_manager::queue_on(std::int32_t output, const nmea_message_out& message, std::size_t length,
                            std::uint32_t sender, const char* tag_source) {
    std::uint64_t key_hash = 0;
    const bool keyed = replacement_key_hash(message, length, sender, key_hash);
    queued_sentence* target = keyed ? find_replaceable(output, message, length, sender, key_hash) : nullptr;
    if (target == nullptr) {
        const std::size_t tail = queue_tail[output];
        if (next_slot(tail) == queue_head[output]) {
            counts.count_drop(output, stream_drop::queue_full);
            return false;
        }
        target = &output_slots[output][tail];
        group_span[output][tail] = 0;
        if (keyed) replaceable[output].add(tail, key_hash);
        queue_tail[output] = next_slot(tail);
    }
    target->formatter_index = message.info.formatter_index;
    target->talker_index = message.info.talker_index;
    const auto slot = static_cast<std::size_t>(target - output_slots[output].data());
    queued_at[output][slot] = current_time;
    queued_sender[output][slot] = sender;
    if (tags_of[output].any()) note_tag_fields(output, slot, tag_source);
    std::memcpy(target->text, message.text, length);
    target->text[length] = 0;
    target->length = static_cast<std::uint8_t>(length);
    return true;
}

void nmea_manager::note_tag_fields(std::int32_t output, std::size_t slot, const char* source) {
    std::array<char, max_tag_identifier_length + 1>& name = queued_source[output][slot];
    const std::size_t length = strnlen(source, max_tag_identifier_length);
    std::memcpy(name.data(), source, length);
    name[length] = 0;
    received_at[output][slot] = current_wall_time;
}

// A group is queued whole or not at all, never replaces and is never replaced: a newer position
// report in place of one fragment would tear the message apart.
bool nmea_manager::queue_group(const arriving_group& group) {
    const std::int32_t output = group.output;
    const auto lines = static_cast<std::size_t>(group.lines);
    const std::size_t used = (queue_tail[output] + queue_slot_count - queue_head[output]) % queue_slot_count;
    if (used + lines > queue_slot_count - 1) {
        counts.count_drop(output, stream_drop::queue_full, lines);
        return false;
    }
    for (std::size_t k = 0; k < lines; ++k) {
        const held_line& held = group.held[k];
        const std::size_t tail = queue_tail[output];
        queued_sentence& slot = output_slots[output][tail];
        slot.formatter_index = held.formatter_index;
        slot.talker_index = held.talker_index;
        std::memcpy(slot.text, held.text, held.length + 1);
        slot.length = static_cast<std::uint8_t>(held.length);
        queued_at[output][tail] = current_time;
        group_span[output][tail] = static_cast<std::uint8_t>(lines - k);
        if (tags_of[output].any()) note_tag_fields(output, tail, group.source);
        queue_tail[output] = next_slot(tail);
    }
    return true;
}

queued_sentence* nmea_manager::find_replaceable(std::int32_t output, const nmea_message_out& message,
                                                std::size_t length, std::uint32_t sender,
                                                std::uint64_t key_hash) {
    const std::uint32_t formatter = message.info.formatter_index;
    std::int32_t key_to = 0;
    if (formatter == formatter_ttm)
        key_to = ttm_key_to;
    else if (formatter == formatter_vdm || formatter == formatter_vdo)
        key_to = message.info.sequence_id == -1 ? ais_key_to_without_sequence : ais_key_to_with_sequence;
    // A key cut from the text needs the text to reach beyond it.
    if (key_to != 0 && length <= static_cast<std::size_t>(key_to)) return nullptr;
    const std::int32_t key_from = formatter == formatter_ttm ? ttm_key_from : ais_key_from;

    const auto& slots = output_slots[output];
    const std::size_t found = replaceable[output].find(key_hash, [&](std::size_t slot) {
        const queued_sentence& waiting = slots[slot];
        return same_kind(waiting, message) && group_span[output][slot] == 0 &&
               queued_sender[output][slot] == sender &&
               (key_to == 0 || key_chars_equal(message.text, waiting.text, key_from, key_to));
    });
    return found == replacement_index<queue_slot_count>::no_slot ? nullptr : &output_slots[output][found];
}

void nmea_manager::leave_head(std::int32_t output) {
    std::size_t& head = queue_head[output];
    replaceable[output].leave(head);
    head = next_slot(head);
}

bool nmea_manager::has_output(std::int32_t output) const {
    return is_output(output) && queue_head[output] != queue_tail[output];
}

bool nmea_manager::put_tag_block(std::int32_t output, std::size_t slot, char* out, std::size_t room,
                                 std::size_t& length) const {
    const output_tags tags = tags_of[output];
    tag_fields fields;
    if (tags.source) fields.source = queued_source[output][slot].data();
    if (tags.time) fields.unix_time = received_at[output][slot];
    // A line whose fields are all missing (no s: asked for only) goes without a block.
    if (fields.source.empty() && fields.unix_time < 0) return true;
    length = write_tag_block(out, room, fields);
    return length != 0;
}

// Defined before its callers, and inline, so that the copy of each line stays in their loops.
inline bool nmea_manager::put_line(std::int32_t output, std::size_t slot, char* buffer, std::size_t& total,
                                   std::size_t room) {
    std::size_t tag_length = 0;
    if (tags_of[output].any() && !put_tag_block(output, slot, buffer + total, room - 1 - total, tag_length))
        [[unlikely]]
        return false;
    const queued_sentence& queued = output_slots[output][slot];
    const std::size_t length = queued.length;
    if (total + tag_length + length >= room) return false;
    std::memcpy(buffer + total + tag_length, queued.text, length);
    total += tag_length + length;
    return true;
}

bool nmea_manager::take_output(std::int32_t output, char* buffer, std::int32_t& capacity,
                               batch_lines* lines) {
    if (!is_output(output)) return false;
    const std::int32_t least = min_take_capacity + (tags_of[output].any() ? max_output_tag_length : 0);
    if (buffer == nullptr || capacity < least || !has_output(output)) return false;

    // Only whole sentences, and always one byte short of the capacity, so the batch stays
    // NUL-terminated; a sentence that does not fit waits at the head for the next call.
    std::size_t total = 0;
    const std::size_t room = static_cast<std::size_t>(capacity);
    if (lines != nullptr) lines->count = 0;
    std::size_t& head = queue_head[output];
    while (head != queue_tail[output]) {
        // The lines of a group were stamped together, so they age out together.
        if (current_time - queued_at[output][head] > max_sentence_age) {
            counts.count_drop(output, stream_drop::aged_out);
            leave_head(output);
            continue;
        }
        if (group_span[output][head] > 1) {
            if (!take_group(output, buffer, total, room, lines)) break;
            continue;
        }
        const std::size_t line_start = total;
        if (!put_line(output, head, buffer, total, room)) break;
        if (lines != nullptr) lines->add(line_start, 0);
        leave_head(output);
    }
    // Callers read the batch as one C string, so its NUL is all it needs: clearing the whole
    // buffer on every take would cost more than the copying.
    buffer[total] = 0;
    // Everything waiting may have been dropped on the way: aged out, or a group that this
    // buffer could never hold. That is no batch, and the capacity stays as it came.
    if (total == 0) return false;
    capacity = static_cast<std::int32_t>(total);
    return true;
}

bool nmea_manager::take_group(std::int32_t output, char* buffer, std::size_t& total, std::size_t room,
                              batch_lines* lines_taken) {
    std::size_t& head = queue_head[output];
    const std::size_t lines = group_span[output][head];
    const std::size_t start = total;
    const std::size_t lines_before = lines_taken != nullptr ? lines_taken->count : 0;
    bool fits = true;
    for (std::size_t k = 0, slot = head; k < lines && fits; ++k, slot = next_slot(slot)) {
        const std::size_t line_start = total;
        fits = put_line(output, slot, buffer, total, room);
        if (fits && lines_taken != nullptr) lines_taken->add(line_start, k == 0 ? lines : 0);
    }
    if (!fits) {
        total = start;
        if (lines_taken != nullptr) lines_taken->count = lines_before;
        if (start > 0) return false;
        // Not even an empty batch of this size holds the group: it could never leave.
        counts.count_drop(output, stream_drop::group_too_large, lines);
        head = (head + lines) % queue_slot_count;
        return true;
    }
    for (std::size_t k = 0; k < lines; ++k) leave_head(output);
    return true;
}

bool nmea_manager::is_replaceable_formatter(std::uint32_t formatter_index) {
    return formatter_index < replaceable_by_index.size() && replaceable_by_index[formatter_index];
}

bool nmea_manager::key_chars_equal(const char* a, const char* b, std::int32_t from, std::int32_t to) {
    if (a == nullptr || b == nullptr || from < 0 || from >= to) return false;
    const auto longer_than_to = [to](const char* text) {
        return strnlen(text, static_cast<std::size_t>(to) + 1) > static_cast<std::size_t>(to);
    };
    if (!longer_than_to(a) || !longer_than_to(b)) return false;
    return std::equal(a + from, a + to, b + from);
}

}  // namespace vorlane
