#include "validation/nmea_tables.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace vorlane {

namespace {

// Every sentence is looked up in both tables, so the lookups use keys sorted once at compile
// time instead of walking the tables. The result is the position in the table string, as a
// substring search would find it: entries have a fixed width and begin with a character ('?',
// '$' or '!') that cannot occur inside a talker or formatter that passed framing.
constexpr std::uint32_t pack(std::string_view chars) {
    std::uint32_t key = 0;
    for (const char c : chars) key = key << 8 | static_cast<unsigned char>(c);
    return key;
}

struct keyed_index {
    std::uint32_t key;
    std::uint32_t index;
    constexpr bool operator<(const keyed_index& other) const { return key < other.key; }
};

template <std::size_t Count>
constexpr std::array<keyed_index, Count> sorted_keys(std::string_view table, std::size_t width, std::size_t skip) {
    std::array<keyed_index, Count> keys{};
    for (std::size_t i = 0; i < Count; ++i) {
        const std::string_view entry = table.substr(i * width, width);
        keys[i] = {pack(entry.substr(0, 1)) << 24 | pack(entry.substr(skip)), static_cast<std::uint32_t>(i + 1)};
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

// Talker keys: '?' and the two characters; formatter keys: the start character and the three.
constexpr auto talker_keys = sorted_keys<talker_count>(talker_table, talker_entry_size, 1);
constexpr auto formatter_keys = sorted_keys<formatter_count>(formatter_table, formatter_entry_size, 3);

template <std::size_t Count>
std::uint32_t find(const std::array<keyed_index, Count>& keys, std::uint32_t key) {
    const auto it = std::lower_bound(keys.begin(), keys.end(), keyed_index{key, 0});
    return it != keys.end() && it->key == key ? it->index : 0;
}

}  // namespace

std::int32_t find_talker(std::string_view talker) {
    if (talker.size() != 2) return 0;
    return static_cast<std::int32_t>(find(talker_keys, pack("?") << 24 | pack(talker)));
}

std::uint32_t find_formatter(char start, std::string_view formatter) {
    if (formatter.size() != 3) return 0;
    return find(formatter_keys, static_cast<std::uint32_t>(static_cast<unsigned char>(start)) << 24 | pack(formatter));
}

}  // namespace vorlane
