#include "stream/input_format.h"

#include <cstring>

namespace vorlane {

namespace {

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Hands each comma-separated entry of `list`, trimmed, to `take`, which answers whether it took
// it; an empty or blank list has no entries. False as soon as an entry is not taken.
template <typename Take>
bool for_each_listed(std::string_view list, Take take) {
    if (trimmed(list).empty()) return true;
    std::size_t from = 0;
    while (from <= list.size()) {
        std::size_t comma = list.find(',', from);
        if (comma == std::string_view::npos) comma = list.size();
        if (!take(trimmed(list.substr(from, comma - from)))) return false;
        from = comma + 1;
    }
    return true;
}

}  // namespace

const char* name_of(datagram_format format) {
    switch (format) {
        case datagram_format::header8:
            return "header8";
        case datagram_format::iec450:
            return "iec450";
        case datagram_format::unusable:
            break;
    }
    return "unusable";
}

bool parse_datagram_format(std::string_view text, datagram_format& format) {
    return parse_name(text, {datagram_format::header8, datagram_format::iec450}, format);
}

const char* name_of(nmea_editions editions) {
    return editions == nmea_editions::all ? "all" : "current";
}

bool parse_editions(std::string_view text, nmea_editions& editions) {
    return parse_name(text, {nmea_editions::current, nmea_editions::all}, editions);
}

bool source_filter::parse(std::string_view list) {
    source_filter parsed;
    const bool taken = for_each_listed(list, [&parsed](std::string_view source) {
        if (!is_tag_identifier(source) || parsed.count == max_sources) return false;
        source.copy(parsed.sources[parsed.count].data(), source.size());
        ++parsed.count;
        return true;
    });
    if (taken) *this = parsed;
    return taken;
}

std::int32_t source_filter::position_of(const char* source) const {
    for (std::size_t k = 0; k < count; ++k)
        if (std::strcmp(sources[k].data(), source) == 0) return static_cast<std::int32_t>(k);
    return -1;
}

bool parse_output_tags(std::string_view text, output_tags& tags) {
    output_tags parsed;
    const bool taken = for_each_listed(text, [&parsed](std::string_view field) {
        if (field != "s" && field != "c") return false;
        bool& wanted = field == "s" ? parsed.source : parsed.time;
        if (wanted) return false;
        wanted = true;
        return true;
    });
    if (taken) tags = parsed;
    return taken;
}

}  // namespace vorlane
