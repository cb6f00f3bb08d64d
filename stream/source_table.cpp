#include "stream/source_table.h"

#include <algorithm>
#include <cstring>

namespace vorlane {

namespace {

bool tallied(std::int64_t count) {
    return count >= 0 && count <= max_line_count;
}

bool in_round(std::int64_t count) {
    return count >= 1 && count <= max_line_count;
}

}  // namespace

std::size_t source_table::place_of(const char (&name)[max_tag_identifier_length + 1]) {
    const auto is_named = [&name](const source_record& record) {
        return record.serial != 0 && std::memcmp(record.name, name, sizeof record.name) == 0;
    };
    if (is_named(records[last_found])) return last_found;
    for (std::size_t k = 0; k < records.size(); ++k)
        if (is_named(records[k])) return last_found = k;
    return records.size();
}

source_record* source_table::find(const char (&name)[max_tag_identifier_length + 1]) {
    const std::size_t found = place_of(name);
    return found < records.size() ? &records[found] : nullptr;
}

source_record* source_table::heard(const char (&name)[max_tag_identifier_length + 1],
                                   queue_clock::time_point now) {
    std::size_t found = place_of(name);
    if (found == records.size()) {
        // A burst of made-up names must not push a real sender out: only a record that is free,
        // or whose sender is not established, is taken.
        for (std::size_t k = 0; k < records.size(); ++k) {
            const source_record& record = records[k];
            if (record.established(now)) continue;
            if (found == records.size() || record.serial == 0 ||
                (records[found].serial != 0 && record.last_heard < records[found].last_heard))
                found = k;
        }
        if (found == records.size()) return nullptr;
        source_record& fresh = records[found];
        std::memcpy(fresh.name, name, sizeof fresh.name);
        // Serials are not reused while a sentence could still wait under one: 2^32 new
        // senders come long after that.
        if (++last_serial == 0) ++last_serial;
        fresh.serial = last_serial;
        fresh.first_heard = now;
        fresh.next = 0;
        fresh.remembered = 0;
        fresh.window_lines = window_lines;
        fresh.remembered_with = {};
        fresh.last_count = -1;
        last_found = found;
    }
    records[found].last_heard = now;
    return &records[found];
}

count_seen source_table::seen(const source_record& sender, std::int64_t count, std::string_view sentence,
                              queue_clock::time_point now, std::uint8_t lan) {
    count_seen found = count_seen::fresh;
    if (tallied(count)) {
        std::size_t k = sender.newest_with[static_cast<std::size_t>(count)];
        for (std::uint16_t left = sender.remembered_with[static_cast<std::size_t>(count)]; left > 0;
             --left, k = sender.older_with_count[k]) {
            if (now - sender.received[k] > duplicate_window_age) continue;
            if (std::string_view(sender.sentences[k].data()) == sentence)
                return sender.lans[k] == lan ? count_seen::repeat : count_seen::copy;
            found = count_seen::conflict;
        }
        return found;
    }
    for (std::size_t k = 0; k < sender.remembered; ++k) {
        if (sender.counts[k] != count || now - sender.received[k] > duplicate_window_age) continue;
        if (std::string_view(sender.sentences[k].data()) == sentence)
            return sender.lans[k] == lan ? count_seen::repeat : count_seen::copy;
        found = count_seen::conflict;
    }
    return found;
}

void source_table::remember(source_record& sender, std::int64_t count, std::string_view sentence,
                            queue_clock::time_point now, std::uint8_t lan) {
    if (sender.remembered == sender.window_lines) {
        const std::int64_t forgotten = sender.counts[sender.next];
        if (tallied(forgotten)) --sender.remembered_with[static_cast<std::size_t>(forgotten)];
    } else {
        ++sender.remembered;
    }
    if (tallied(count)) {
        const auto at = static_cast<std::size_t>(count);
        sender.older_with_count[sender.next] = sender.newest_with[at];
        sender.newest_with[at] = static_cast<std::uint16_t>(sender.next);
        ++sender.remembered_with[at];
    }
    sender.counts[sender.next] = count;
    sender.received[sender.next] = now;
    sender.lans[sender.next] = lan;
    std::array<char, max_sentence_length + 1>& kept = sender.sentences[sender.next];
    const std::size_t length = std::min(sentence.size(), max_sentence_length);
    std::memcpy(kept.data(), sentence.data(), length);
    kept[length] = 0;
    sender.next = sender.next + 1 == sender.window_lines ? 0 : sender.next + 1;
}

count_step source_table::step_to(source_record& sender, std::int64_t count) {
    const std::int64_t last = sender.last_count;
    const bool round = in_round(last) && in_round(count);
    // How far the count moved on from the newest; once round, 999 is followed by 1.
    const std::int64_t ahead = last < 0 ? 1
                               : round  ? (count - last + max_line_count) % max_line_count
                                        : count - last;
    constexpr std::int64_t half_round = (max_line_count + 1) / 2;
    if (ahead <= 0 || ahead >= half_round) {
        // The same count again, a line that came late, or a sender that started counting
        // afresh: nothing is counted, and within the round the newest count stays until the
        // counts pass it.
        if (!round) sender.last_count = count;
        return {};
    }
    sender.last_count = count;
    if (ahead - 1 > max_lost_per_jump) return {0, true};
    return {static_cast<std::uint64_t>(ahead - 1), false};
}

void source_table::came_damaged(source_record& sender, std::int64_t count) {
    const std::int64_t last = sender.last_count;
    const std::int64_t next = in_round(last) ? last % max_line_count + 1 : last + 1;
    if (last >= 0 && count == next) sender.last_count = count;
}

void source_table::forget_all() {
    // The serials go on counting: a sentence of a forgotten sender may still wait in a queue.
    for (source_record& record : records) record.serial = 0;
}

void source_table::set_window_lines(std::size_t lines) {
    window_lines = std::min(lines, duplicate_window_lines);
    forget_all();
}

}  // namespace vorlane
