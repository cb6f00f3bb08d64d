#include "validation/nmea_tables.h"

namespace vorlane {

// Entries have a fixed width and begin with a character ('?', '$' or '!') that cannot occur
// inside a talker or formatter that passed framing, so comparing entry by entry finds exactly
// what a substring search of the table would.
std::int32_t find_talker(std::string_view talker) {
    for (std::size_t i = 0; i < talker_count; ++i)
        if (talker_table.substr(i * talker_entry_size + 1, 2) == talker) return static_cast<std::int32_t>(i + 1);
    return 0;
}

std::uint32_t find_formatter(char start, std::string_view formatter) {
    for (std::size_t i = 0; i < formatter_count; ++i) {
        const std::string_view entry = formatter_table.substr(i * formatter_entry_size, formatter_entry_size);
        if (entry[0] == start && entry.substr(3) == formatter) return static_cast<std::uint32_t>(i + 1);
    }
    return 0;
}

}  // namespace vorlane
