#include "validation/nmea_tables.h"

#include <array>
#include <cstdint>

namespace vorlane {

namespace {

// Every sentence is looked up in both tables, so the lookups use the packed keys of the entries,
// placed once at compile time in an open-addressing hash table at most a quarter full: a lookup
// is one multiplication and nearly always one probe. The result is the position in the table
// string, as a substring search would find it: entries have a fixed width and begin with a
// character ('?', '$' or '!') that cannot occur inside a talker or formatter that passed framing.
constexpr std::uint32_t pack(std::string_view chars) {
    std::uint32_t key = 0;
    for (const char c : chars) key = key << 8 | static_cast<unsigned char>(c);
    return key;
}

struct keyed_index {
    std::uint32_t key = 0;
    std::uint32_t index = 0;  // 0: free slot
};

template <std::size_t Count>
class key_table {
  public:
    // Entries of `width` characters; the key is the first character and those from `skip` on.
    constexpr key_table(std::string_view table, std::size_t width, std::size_t skip) {
        for (std::size_t i = 0; i < Count; ++i) {
            const std::string_view entry = table.substr(i * width, width);
            const std::uint32_t key = pack(entry.substr(0, 1)) << 24 | pack(entry.substr(skip));
            std::size_t s = slot_of(key);
            while (slots_[s].index != 0) {
                if (slots_[s].key == key) throw "duplicate table entry";
                s = (s + 1) % slot_count;
            }
            slots_[s] = {key, static_cast<std::uint32_t>(i + 1)};
        }
    }

    std::uint32_t find(std::uint32_t key) const {
        for (std::size_t s = slot_of(key);; s = (s + 1) % slot_count) {
            if (slots_[s].index == 0) return 0;
            if (slots_[s].key == key) return slots_[s].index;
        }
    }

  private:
    static constexpr int slot_bits = Count <= 64 ? 8 : 9;
    static constexpr std::size_t slot_count = std::size_t{1} << slot_bits;
    static_assert(Count * 4 <= slot_count);

    // Fibonacci hashing: the top bits of the key times 2^32 divided by the golden ratio.
    static constexpr std::size_t slot_of(std::uint32_t key) {
        return (key * 2654435769u) >> (32 - slot_bits);
    }

    std::array<keyed_index, slot_count> slots_{};
};

// Talker keys: '?' and the two characters; formatter keys: the start character and the three.
constexpr key_table<talker_count> talker_keys(talker_table, talker_entry_size, 1);
constexpr key_table<formatter_count> formatter_keys(formatter_table, formatter_entry_size, 3);

}  // namespace

std::int32_t find_talker(std::string_view talker) {
    if (talker.size() != 2) return 0;
    return static_cast<std::int32_t>(talker_keys.find(pack("?") << 24 | pack(talker)));
}

std::uint32_t find_formatter(char start, std::string_view formatter) {
    if (formatter.size() != 3) return 0;
    return formatter_keys.find(static_cast<std::uint32_t>(static_cast<unsigned char>(start)) << 24 |
                               pack(formatter));
}

}  // namespace vorlane
