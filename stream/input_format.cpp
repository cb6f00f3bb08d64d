#include "stream/input_format.h"

#include <cstring>
#include <initializer_list>

namespace vorlane {

namespace {

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The one of `known` that the settings file spells `text`; false, leaving `value` alone, for any
// other text.
template <typename Value>
bool parse_name(std::string_view text, std::initializer_list<Value> known, Value& value) {
    for (const Value candidate : known) {
        if (text == name_of(candidate)) {
            value = candidate;
            return true;
        }
    }
    return false;
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
    if (!trimmed(list).empty()) {
        std::size_t from = 0;
        while (from <= list.size()) {
            std::size_t comma = list.find(',', from);
            if (comma == std::string_view::npos) comma = list.size();
            const std::string_view source = trimmed(list.substr(from, comma - from));
            if (!is_tag_identifier(source) || parsed.count == max_sources) return false;
            source.copy(parsed.sources[parsed.count].data(), source.size());
            ++parsed.count;
            from = comma + 1;
        }
    }
    *this = parsed;
    return true;
}

bool source_filter::takes(const char* source) const {
    if (count == 0) return true;
    for (std::size_t k = 0; k < count; ++k)
        if (std::strcmp(sources[k].data(), source) == 0) return true;
    return false;
}

}  // namespace vorlane
