#include "stream/source_selection.h"

#include <cstring>

namespace vorlane {

void source_selection::configure(const source_filter& list, std::chrono::seconds failover_time) {
    sources = list;
    failover = failover_time;
    served_position.fill(nobody);
    heard = {};
    pending_first = 0;
    pending_count = 0;
    switches = 0;
}

bool source_selection::talking(std::size_t position, std::uint32_t formatter_index,
                               queue_clock::time_point now) const {
    const hearing& source = heard[position][formatter_index];
    return source.ever && now - source.last <= failover;
}

selection_verdict source_selection::select(const char* source, std::uint32_t formatter_index,
                                           bool latest_value, queue_clock::time_point now) {
    const std::int32_t listed = sources.position_of(source);
    if (listed < 0) return selection_verdict::not_selected;
    if (!latest_value || formatter_index >= served_position.size()) return selection_verdict::serve;
    const auto position = static_cast<std::size_t>(listed);
    hearing& line = heard[position][formatter_index];
    const bool first_heard = !line.ever;
    if (!talking(position, formatter_index, now)) line.since = now;
    line.ever = true;
    line.last = now;

    std::uint8_t& served = served_position[formatter_index];
    if (served == nobody) {
        served = static_cast<std::uint8_t>(position);
        return selection_verdict::serve;
    }
    if (position == served) return selection_verdict::serve;
    if (position < served && (first_heard || now - line.since >= return_hold_time)) {
        note_switch(formatter_index, served, position,
                    first_heard ? source_switch::why::preferred : source_switch::why::back, now);
        served = static_cast<std::uint8_t>(position);
        return selection_verdict::serve;
    }
    if (talking(served, formatter_index, now)) return selection_verdict::standby;
    // The served source fell silent: the first listed one still talking takes over at once, one
    // still within its hold included, since anything is better than no value. This line's source
    // is talking, so one is found.
    std::size_t first = 0;
    while (!talking(first, formatter_index, now)) ++first;
    note_switch(formatter_index, served, first, source_switch::why::silent, now);
    served = static_cast<std::uint8_t>(first);
    return first == position ? selection_verdict::serve : selection_verdict::standby;
}

void source_selection::note_switch(std::uint32_t formatter_index, std::size_t from, std::size_t to,
                                   source_switch::why reason, queue_clock::time_point now) {
    ++switches;
    if (pending_count == pending.size()) {
        pending_first = (pending_first + 1) % pending.size();
        --pending_count;
    }
    source_switch& change = pending[(pending_first + pending_count) % pending.size()];
    ++pending_count;
    change.formatter_index = formatter_index;
    std::memcpy(change.from, sources.at(from), sizeof change.from);
    std::memcpy(change.to, sources.at(to), sizeof change.to);
    change.reason = reason;
    change.silent_seconds =
        reason == source_switch::why::silent
            ? std::chrono::duration_cast<std::chrono::seconds>(now - heard[from][formatter_index].last)
                  .count()
            : 0;
}

bool source_selection::take_switch(source_switch& change) {
    if (pending_count == 0) return false;
    change = pending[pending_first];
    pending_first = (pending_first + 1) % pending.size();
    --pending_count;
    return true;
}

const char* source_selection::served(std::uint32_t formatter_index) const {
    if (formatter_index >= served_position.size() || served_position[formatter_index] == nobody)
        return nullptr;
    return sources.at(served_position[formatter_index]);
}

}  // namespace vorlane
