#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "validation/nmea_sentence.h"
#include "validation/tag_block.h"

namespace vorlane {

// How the datagrams of one junction box are laid out.
enum class datagram_format : std::uint8_t {
    // An 8-byte header the gateway skips unread, then bare sentence lines.
    header8,
    // IEC 61162-450 as published: the token "UdPbC" and a NUL, then lines that may carry a TAG
    // block in front of the sentence.
    iec450,
    // The settings name no format the gateway knows: nothing of this input is served.
    unusable,
};

// The one of `known` that the settings file spells `text` (as `name_of` names it); false, leaving
// `value` alone, for any other text.
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

// "header8" and "iec450", as the settings file spells them.
const char* name_of(datagram_format format);
// False, leaving `format` alone, for any other text.
bool parse_datagram_format(std::string_view text, datagram_format& format);

// "current" and "all", as the settings file spells them.
const char* name_of(nmea_editions editions);
// False, leaving `editions` alone, for any other text.
bool parse_editions(std::string_view text, nmea_editions& editions);

// The source identifiers (s: of the TAG block) whose lines an iec450 input takes. Empty, it
// takes every line, also those without a TAG block; with entries, only lines whose s: is one of
// them.
class source_filter {
  public:
    static constexpr std::size_t max_sources = 16;

    // "GP0001,HE0001": identifiers of 1 to 15 letters and digits separated by commas, blanks
    // around them allowed; an empty text takes every line. False, leaving the filter alone, for
    // anything else or more than max_sources identifiers.
    bool parse(std::string_view list);

    bool takes_every_line() const { return count == 0; }
    // `source` is the s: of the line's TAG block, empty when it has none.
    bool takes(const char* source) const { return count == 0 || position_of(source) >= 0; }
    // Where `source` stands in the list, 0 first; -1 when it is not listed.
    std::int32_t position_of(const char* source) const;
    std::size_t size() const { return count; }
    // The identifier at `position`, 0 to size() - 1.
    const char* at(std::size_t position) const { return sources[position].data(); }

  private:
    std::array<std::array<char, max_tag_identifier_length + 1>, max_sources> sources{};
    std::size_t count = 0;
};

// The TAG block fields an output writes in front of each line it serves.
struct output_tags {
    bool source = false;  // s:
    bool time = false;    // c:, the receive time in seconds since 1970
    bool any() const { return source || time; }
};
// "s", "c", "s,c" or "c,s", blanks around each allowed; an empty text writes no TAG blocks.
// False, leaving `tags` alone, for anything else.
bool parse_output_tags(std::string_view text, output_tags& tags);

}  // namespace vorlane
