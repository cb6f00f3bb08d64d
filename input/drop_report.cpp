#include "input/drop_report.h"

#include <algorithm>

namespace vorlane {

namespace {

constexpr std::size_t reasons_per_line = 5;

std::uint64_t sum(const auto& counts) {
    std::uint64_t total = 0;
    for (const std::uint64_t count : counts) total += count;
    return total;
}

std::uint64_t rejected_lines(const input_tally& tally) {
    std::uint64_t total = 0;
    for (const formatter_tally& formatter : tally.formatters) total += formatter.rejected_total();
    return total;
}

// Datagrams dropped whole and lines dropped before the validator saw them: what arrived but is
// not among the judged lines.
std::uint64_t dropped_unjudged(const input_tally& tally) {
    std::uint64_t total = 0;
    for (std::size_t k = 0; k < stream_drop_count; ++k)
        if (const stream_drop_kind kind = kind_of(static_cast<stream_drop>(k));
            kind == stream_drop_kind::whole_datagram || kind == stream_drop_kind::unjudged_line)
            total += tally.dropped[k];
    return total;
}

}  // namespace

input_drops input_drops::since(const input_drops& baseline) const {
    input_drops delta;
    for (std::size_t k = 0; k < frame_skip_count; ++k) delta.frames[k] = frames[k] - baseline.frames[k];
    delta.stream = stream.since(baseline.stream);
    delta.clients_not_reading = clients_not_reading - baseline.clients_not_reading;
    delta.udp.datagrams = udp.datagrams - baseline.udp.datagrams;
    delta.udp.bytes = udp.bytes - baseline.udp.bytes;
    delta.udp.failed = udp.failed - baseline.udp.failed;
    delta.source_switches = source_switches - baseline.source_switches;
    return delta;
}

std::string served_sources_text(const source_selection& selection) {
    std::string text;
    for (std::uint32_t formatter = 1; formatter <= formatter_count; ++formatter) {
        const char* source = selection.served(formatter);
        if (source == nullptr) continue;
        if (!text.empty()) text += ", ";
        text.append(formatter_row_name(formatter)).append(" ").append(source);
    }
    return text;
}

std::uint64_t input_drops::dropped() const {
    // A noted line was served: it counts among what happened, not among what was dropped.
    std::uint64_t stream_dropped = 0;
    for (std::size_t k = 0; k < stream_drop_count; ++k)
        if (kind_of(static_cast<stream_drop>(k)) != stream_drop_kind::noted)
            stream_dropped += stream.dropped[k];
    return sum(frames) + stream_dropped + rejected_lines(stream);
}

std::uint64_t input_drops::received() const {
    return sum(frames) + dropped_unjudged(stream) + stream.lines;
}

std::vector<drop_reason_count> biggest_reasons(const input_drops& drops, std::size_t limit) {
    std::vector<drop_reason_count> reasons;
    for (std::size_t row = 0; row < formatter_row_count; ++row) {
        const formatter_tally& formatter = drops.stream.formatters[row];
        for (std::size_t k = 0; k < rejection_count; ++k) {
            if (formatter.rejected[k] == 0) continue;
            std::string label = row == 0 ? "" : std::string(formatter_row_name(row)) + " ";
            reasons.push_back({label + label_of(static_cast<rejection>(k)), formatter.rejected[k]});
        }
    }
    for (std::size_t k = 0; k < stream_drop_count; ++k)
        if (drops.stream.dropped[k] != 0)
            reasons.push_back({label_of(static_cast<stream_drop>(k)), drops.stream.dropped[k]});
    for (std::size_t k = 0; k < frame_skip_count; ++k)
        if (drops.frames[k] != 0) reasons.push_back({label_of(static_cast<frame_skip>(k)), drops.frames[k]});
    // Equal counts keep the order above, so that the line reads the same every time.
    std::stable_sort(
        reasons.begin(), reasons.end(),
        [](const drop_reason_count& a, const drop_reason_count& b) { return a.count > b.count; });
    if (reasons.size() > limit) reasons.resize(limit);
    return reasons;
}

std::string drop_line(std::string_view lead, int input_number, const input_drops& drops) {
    std::string line(lead);
    line += " on input " + std::to_string(input_number) + ": " + std::to_string(drops.dropped()) + " of " +
            std::to_string(drops.received());
    const std::vector<drop_reason_count> reasons = biggest_reasons(drops, reasons_per_line);
    if (!reasons.empty()) {
        line += " (";
        for (std::size_t k = 0; k < reasons.size(); ++k) {
            if (k > 0) line += ", ";
            line += reasons[k].label + " " + std::to_string(reasons[k].count);
        }
        line += ")";
    }
    // Served all the same, but in a layout an earlier edition defined: which sensors are old.
    std::string earlier;
    for (std::size_t row = 0; row < formatter_row_count; ++row)
        if (const std::uint64_t count = drops.stream.formatters[row].earlier_layout; count != 0)
            earlier += std::string(earlier.empty() ? "" : ", ") + formatter_row_name(row) + " " +
                       std::to_string(count);
    if (!earlier.empty()) line += "; accepted in an earlier layout: " + earlier;
    // Clients are not sentences: they stay out of the counts above.
    if (drops.clients_not_reading != 0)
        line += "; clients dropped on output " + std::to_string(input_number) + ": " +
                std::to_string(drops.clients_not_reading);
    return line;
}

}  // namespace vorlane
