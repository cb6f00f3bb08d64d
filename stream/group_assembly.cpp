#include "stream/group_assembly.h"

#include <cstring>
#include <utility>

namespace vorlane {

const char* group_assembly::source_of(const nmea_tag_block& tag) const {
    const arriving_group* named = nullptr;
    for (const arriving_group& group : groups) {
        if (group.size == 0 || group.id != tag.group_id) continue;
        if (group.in_flight && group.size == tag.group_size && group.lines + 1 == tag.group_line)
            return group.source;
        if (named == nullptr || (group.in_flight && !named->in_flight) ||
            (group.in_flight == named->in_flight && group.started > named->started))
            named = &group;
    }
    return named != nullptr ? named->source : nullptr;
}

const arriving_group* group_assembly::arriving(const char* source, std::uint32_t id) const {
    for (const arriving_group& group : groups)
        if (group.in_flight && group.id == id && std::memcmp(group.source, source, sizeof group.source) == 0)
            return &group;
    return nullptr;
}

arriving_group* group_assembly::arriving(const char* source, std::uint32_t id) {
    return const_cast<arriving_group*>(std::as_const(*this).arriving(source, id));
}

bool group_assembly::holds_copy(const nmea_tag_block& tag, std::string_view sentence) const {
    const arriving_group* group = arriving(tag.source, tag.group_id);
    if (group == nullptr || group->size != tag.group_size || tag.group_line > group->lines) return false;
    const held_line& held = group->held[static_cast<std::size_t>(tag.group_line - 1)];
    // The held text ends in CR LF.
    return held.line_count == tag.line_count && held.length == sentence.size() + 2 &&
           std::string_view(held.text, sentence.size()) == sentence;
}

std::uint64_t group_assembly::end(arriving_group& group) {
    if (!group.in_flight) return 0;
    group.in_flight = false;
    return static_cast<std::uint64_t>(group.lines);
}

arriving_group* group_assembly::free_slot(bool established, std::uint64_t& dropped) {
    arriving_group* oldest_done = nullptr;
    arriving_group* oldest_arriving = nullptr;
    for (arriving_group& group : groups) {
        if (!group.in_flight) {
            if (oldest_done == nullptr || group.started < oldest_done->started) oldest_done = &group;
        } else if ((established || !group.established) &&
                   (oldest_arriving == nullptr || group.started < oldest_arriving->started)) {
            oldest_arriving = &group;
        }
    }
    if (oldest_done != nullptr) return oldest_done;
    if (oldest_arriving != nullptr) dropped += end(*oldest_arriving);
    return oldest_arriving;
}

const arriving_group* group_assembly::add(const nmea_tag_block& tag, bool established, std::int32_t output,
                                          const nmea_sentence_info& info, const char* text,
                                          std::size_t length, queue_clock::time_point now,
                                          std::uint64_t& dropped) {
    arriving_group* group = arriving(tag.source, tag.group_id);
    if (tag.group_line == 1) {
        // The same source beginning the same identifier again: the earlier group can no longer
        // complete.
        if (group != nullptr) dropped += end(*group);
        group = free_slot(established, dropped);
        if (group == nullptr) {
            ++dropped;
            return nullptr;
        }
        std::memcpy(group->source, tag.source, sizeof group->source);
        group->established = established;
        group->id = tag.group_id;
        group->size = tag.group_size;
        group->lines = 0;
        group->in_flight = true;
        group->output = output;
        group->started = now;
    } else if (group == nullptr || group->size != tag.group_size || group->lines + 1 != tag.group_line) {
        if (group != nullptr) dropped += end(*group);
        ++dropped;
        return nullptr;
    }
    held_line& held = group->held[static_cast<std::size_t>(group->lines)];
    held.formatter_index = info.formatter_index;
    held.talker_index = info.talker_index;
    held.line_count = tag.line_count;
    held.length = length;
    std::memcpy(held.text, text, length + 1);
    if (++group->lines < group->size) return nullptr;
    group->in_flight = false;
    return group;
}

std::uint64_t group_assembly::drop(const nmea_tag_block& tag) {
    arriving_group* group = arriving(tag.source, tag.group_id);
    return group != nullptr ? end(*group) : 0;
}

std::uint64_t group_assembly::drop_begun_before(queue_clock::time_point limit) {
    std::uint64_t dropped = 0;
    for (arriving_group& group : groups)
        if (group.started < limit) dropped += end(group);
    return dropped;
}

std::uint64_t group_assembly::drop_all() {
    std::uint64_t dropped = 0;
    for (arriving_group& group : groups) dropped += end(group);
    return dropped;
}

}  // namespace vorlane
