#include "stream/drop_statistics.h"

#include <cstring>

#include "base/catalogue.h"

namespace vorlane {

namespace {

struct stream_drop_row {
    stream_drop drop;
    const char* label;
    stream_drop_kind kind;
};

using enum stream_drop;
using enum stream_drop_kind;

constexpr std::array stream_drop_catalogue{
    stream_drop_row{bad_udp_checksum, "bad UDP checksum", whole_datagram},
    stream_drop_row{too_short, "datagram too short", whole_datagram},
    stream_drop_row{queue_full, "queue full", accepted_line},
    stream_drop_row{aged_out, "aged out", accepted_line},
    stream_drop_row{unusable_format, "format unusable", whole_datagram},
    stream_drop_row{binary_transfer, "binary file transfer", whole_datagram},
    stream_drop_row{unknown_token, "unknown datagram token", whole_datagram},
    stream_drop_row{source_not_listed, "source not listed", unjudged_line},
    stream_drop_row{group_incomplete, "group incomplete", accepted_line},
    stream_drop_row{group_too_large, "group too large", accepted_line},
    stream_drop_row{other_sender, "other sender", whole_datagram},
    stream_drop_row{duplicate, "duplicate", accepted_line},
    stream_drop_row{lost_upstream, "lost upstream", never_arrived},
    stream_drop_row{source_table_full, "too many sources", accepted_line},
    stream_drop_row{count_conflict, "count conflict", noted},
    stream_drop_row{count_jumped, "count jumped", noted},
    stream_drop_row{source_not_selected, "source not selected", accepted_line},
    stream_drop_row{standby_source, "standby source", accepted_line},
    stream_drop_row{other_lan_copy, "duplicate (other LAN)", noted},
};

static_assert(rows_follow_enum<&stream_drop_row::drop>(stream_drop_catalogue),
              "catalogue rows must follow the enum order");
static_assert(stream_drop_catalogue.size() == stream_drop_count);

void quote(char (&to)[quoted_line_size], const char* line) {
    const std::size_t length = strnlen(line, quoted_line_size - 1);
    std::memcpy(to, line, length);
    to[length] = 0;
}

}  // namespace

const char* label_of(stream_drop drop) {
    return stream_drop_catalogue[static_cast<std::size_t>(drop)].label;
}

stream_drop_kind kind_of(stream_drop drop) {
    return stream_drop_catalogue[static_cast<std::size_t>(drop)].kind;
}

const char* formatter_row_name(std::size_t row) {
    // The table's entries are not terminated, so the names are kept once as texts.
    static const auto names = [] {
        std::array<std::array<char, 4>, formatter_count + 1> table{};
        for (std::uint32_t index = 1; index <= formatter_count; ++index)
            formatter_name(index).copy(table[index].data(), 3);
        return table;
    }();
    if (row >= 1 && row <= formatter_count) return names[row].data();
    if (row == query_row) return "query";
    if (row == proprietary_row) return "proprietary";
    return "other";
}

std::uint64_t formatter_tally::rejected_total() const {
    std::uint64_t total = 0;
    for (const std::uint64_t count : rejected) total += count;
    return total;
}

input_tally input_tally::since(const input_tally& baseline) const {
    input_tally delta = *this;
    delta.datagrams -= baseline.datagrams;
    delta.lines -= baseline.lines;
    for (std::size_t k = 0; k < stream_drop_count; ++k) delta.dropped[k] -= baseline.dropped[k];
    for (std::size_t row = 0; row < formatter_row_count; ++row) {
        formatter_tally& now = delta.formatters[row];
        const formatter_tally& then = baseline.formatters[row];
        now.accepted -= then.accepted;
        now.earlier_layout -= then.earlier_layout;
        for (std::size_t k = 0; k < rejection_count; ++k) now.rejected[k] -= then.rejected[k];
        if (now.rejected_total() == 0) {
            now.top_reason = rejection::none;
            now.example[0] = 0;
        }
    }
    return delta;
}

void stream_statistics::count_rejected(std::int32_t input, const nmea_sentence_info& info,
                                       const nmea_rejection& why, const char* line) {
    input_tally& tally = inputs[input];
    ++tally.lines;
    const std::size_t row = formatter_row(info.formatter_index);
    formatter_tally& formatter = tally.formatters[row];
    const auto reason = static_cast<std::size_t>(why.reason);
    const std::uint64_t count = ++formatter.rejected[reason];
    // The example is copied only when the top reason changes hands, not for every rejection.
    if (why.reason != formatter.top_reason &&
        count >= formatter.rejected[static_cast<std::size_t>(formatter.top_reason)]) {
        formatter.top_reason = why.reason;
        quote(formatter.example, line);
    } else if (formatter.example[0] == 0) {
        quote(formatter.example, line);
    }

    rejected_line& kept = recent_lines[recent_next];
    recent_next = recent_next + 1 == recent_capacity ? 0 : recent_next + 1;
    ++recent_total;
    kept.input = input;
    kept.info = info;
    kept.why = why;
    quote(kept.text, line);
}

const rejected_line& stream_statistics::recent(std::size_t k) const {
    const std::size_t oldest = recent_total < recent_capacity ? 0 : recent_next;
    return recent_lines[(oldest + k) % recent_capacity];
}

}  // namespace vorlane
