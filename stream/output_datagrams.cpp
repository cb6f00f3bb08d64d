#include "stream/output_datagrams.h"

#include <algorithm>
#include <cstring>

namespace vorlane {

namespace {

// The largest n: and g: identifier before both start again at 1.
constexpr std::int64_t max_output_line_count = 999;
constexpr std::uint32_t max_output_group_id = 999;

}  // namespace

const char* name_of(udp_format format) {
    return format == udp_format::iec450 ? "iec450" : "plain";
}

bool parse_udp_format(std::string_view text, udp_format& format) {
    return parse_name(text, {udp_format::plain, udp_format::iec450}, format);
}

bool is_system_function_id(std::string_view text) {
    if (text.size() != system_function_id_length) return false;
    const auto capital = [](char c) { return c >= 'A' && c <= 'Z'; };
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return std::all_of(text.begin(), text.begin() + 2, capital) &&
           std::all_of(text.begin() + 2, text.end(), digit);
}

void datagram_packer::set_format(udp_format chosen, std::string_view id) {
    format = chosen;
    sfi.fill(0);
    std::copy_n(id.begin(), std::min(id.size(), sfi.size()), sfi.begin());
    next_line_count = 1;
    next_group_id = 1;
}

void datagram_packer::start(std::string_view batch, const batch_lines& lines) {
    text = batch;
    marks = &lines;
    next_line = 0;
    split_group_end = 0;
}

std::size_t datagram_packer::header_size() const {
    return format == udp_format::iec450 ? static_cast<std::size_t>(iec450_token_size) : 0;
}

std::string_view datagram_packer::line_at(std::size_t index) const {
    const auto from = static_cast<std::size_t>(marks->start[index]);
    const std::size_t to =
        index + 1 < marks->count ? static_cast<std::size_t>(marks->start[index + 1]) : text.size();
    return text.substr(from, to - from);
}

bool datagram_packer::next_datagram(std::string_view& out) {
    if (marks == nullptr) return false;
    const std::size_t header = header_size();
    std::memcpy(datagram.data(), iec450_sentence_token, header);
    used = header;
    while (next_line < marks->count) {
        const std::size_t span = std::min<std::size_t>(
            std::max<std::size_t>(marks->group_lines[next_line], 1), marks->count - next_line);
        bool placed = false;
        if (next_line < split_group_end) {
            placed =
                append(next_line, 1, split_group_first, split_group_end - split_group_first, split_group_id);
        } else if (span > 1) {
            const std::uint32_t group_id = next_group_id;
            placed = append(next_line, span, next_line, span, group_id);
            if (placed || used == header) next_group_id = next_group_id % max_output_group_id + 1;
            if (!placed && used == header) {
                split_group_first = next_line;
                split_group_end = next_line + span;
                split_group_id = group_id;
                continue;
            }
        } else {
            placed = append(next_line, 1, 0, 0, 0);
        }
        if (placed) {
            next_line += next_line < split_group_end ? 1 : span;
        } else if (used > header) {
            break;
        } else {
            // A line that not even an empty datagram holds; queued sentences are far shorter.
            ++next_line;
        }
    }
    if (used == header) return false;
    out = std::string_view(datagram.data(), used);
    return true;
}

bool datagram_packer::append(std::size_t first, std::size_t count, std::size_t group_first,
                             std::size_t group_size, std::uint32_t group_id) {
    const std::size_t used_before = used;
    const std::int64_t count_before = next_line_count;
    for (std::size_t k = first; k < first + count; ++k) {
        tag_fields fields;
        fields.source = std::string_view(sfi.data(), sfi.size());
        fields.line_count = next_line_count;
        if (group_size > 0) {
            fields.group_line = static_cast<std::int32_t>(k - group_first + 1);
            fields.group_size = static_cast<std::int32_t>(group_size);
            fields.group_id = group_id;
        }
        if (!append_line(line_at(k), fields)) {
            used = used_before;
            next_line_count = count_before;
            return false;
        }
    }
    return true;
}

bool datagram_packer::append_line(std::string_view line, const tag_fields& fields) {
    const std::size_t room = datagram.size() - used;
    if (format == udp_format::plain) {
        if (line.size() > room) return false;
        std::memcpy(datagram.data() + used, line.data(), line.size());
        used += line.size();
        return true;
    }
    std::string_view sentence = line;
    if (line.starts_with('\\')) {
        nmea_tag_block tag;
        nmea_rejection why;
        const char* behind = read_tag_block(line.data(), tag, why);
        // The output path wrote that block; one it cannot read leaves its line out rather
        // than send it with two blocks.
        if (behind == nullptr || behind > line.data() + line.size()) return true;
        sentence = line.substr(static_cast<std::size_t>(behind - line.data()));
    }
    const std::size_t block = write_tag_block(datagram.data() + used, room, fields);
    if (block == 0 || block + sentence.size() > room) return false;
    std::memcpy(datagram.data() + used + block, sentence.data(), sentence.size());
    used += block + sentence.size();
    next_line_count = next_line_count % max_output_line_count + 1;
    return true;
}

}  // namespace vorlane
