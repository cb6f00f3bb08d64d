#include "stream/source_table.h"

#include <cstring>

namespace vorlane {

source_record& source_table::heard(const char (&name)[max_tag_identifier_length + 1],
                                   queue_clock::time_point now) {
    const auto is_named = [&name](const source_record& record) {
        return record.serial != 0 && std::memcmp(record.name, name, sizeof record.name) == 0;
    };
    std::size_t found = last_found;
    if (!is_named(records[found])) {
        found = records.size();
        std::size_t quietest = 0;
        for (std::size_t k = 0; k < records.size(); ++k) {
            if (is_named(records[k])) {
                found = k;
                break;
            }
            if (records[k].serial == 0 ||
                (records[quietest].serial != 0 && records[k].last_heard < records[quietest].last_heard))
                quietest = k;
        }
        if (found == records.size()) {
            found = quietest;
            source_record& fresh = records[found];
            std::memcpy(fresh.name, name, sizeof fresh.name);
            // Serials are not reused while a sentence could still wait under one: 2^32 new
            // senders come long after that.
            if (++last_serial == 0) ++last_serial;
            fresh.serial = last_serial;
            fresh.next = 0;
            fresh.remembered = 0;
            fresh.remembered_with = {};
            fresh.last_count = -1;
        }
        last_found = found;
    }
    records[found].last_heard = now;
    return records[found];
}

bool source_table::repeats(source_record& sender, std::int64_t count, queue_clock::time_point now) {
    const bool tallied = count >= 0 && count <= max_line_count;
    if (!tallied || sender.remembered_with[static_cast<std::size_t>(count)] != 0) {
        for (std::size_t k = 0; k < sender.remembered; ++k)
            if (sender.counts[k] == count && now - sender.received[k] <= duplicate_window_age) return true;
    }
    if (sender.remembered == duplicate_window_lines) {
        const std::int64_t forgotten = sender.counts[sender.next];
        if (forgotten >= 0 && forgotten <= max_line_count)
            --sender.remembered_with[static_cast<std::size_t>(forgotten)];
    } else {
        ++sender.remembered;
    }
    if (tallied) ++sender.remembered_with[static_cast<std::size_t>(count)];
    sender.counts[sender.next] = count;
    sender.received[sender.next] = now;
    sender.next = sender.next + 1 == duplicate_window_lines ? 0 : sender.next + 1;
    return false;
}

std::uint64_t source_table::missing_before(source_record& sender, std::int64_t count) {
    const std::int64_t last = sender.last_count;
    const auto in_round = [](std::int64_t value) { return value >= 1 && value <= max_line_count; };
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
        return 0;
    }
    sender.last_count = count;
    return static_cast<std::uint64_t>(ahead - 1);
}

void source_table::forget_all() {
    // The serials go on counting: a sentence of a forgotten sender may still wait in a queue.
    for (source_record& record : records) record.serial = 0;
}

}  // namespace vorlane
