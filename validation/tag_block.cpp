#include "validation/tag_block.h"

#include <cstring>
#include <string_view>

#include "validation/characters.h"

namespace vorlane {

namespace {

// The widest numbers a field holds: a UNIX time in milliseconds has 13 digits.
constexpr std::size_t max_number_digits = 13;
// The group numbers of g: are small counts; its identifier may run up to nine digits.
constexpr std::size_t max_group_count_digits = 2;
constexpr std::size_t max_group_id_digits = 9;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_number(std::string_view value, std::size_t max_digits) {
    if (value.empty() || value.size() > max_digits) return false;
    for (const char c : value)
        if (!is_digit(c)) return false;
    return true;
}

// At most 13 digits, so the value fits.
std::uint64_t number_of(std::string_view digits) {
    std::uint64_t value = 0;
    for (const char c : digits) value = value * 10 + static_cast<std::uint64_t>(c - '0');
    return value;
}

// A line count of 1 to 13 digits, read in the pass that checks it: every tagged line has one.
bool read_count(std::string_view value, std::int64_t& count) {
    if (value.empty() || value.size() > max_number_digits) return false;
    std::int64_t read = 0;
    for (const char c : value) {
        if (!is_digit(c)) return false;
        read = read * 10 + (c - '0');
    }
    count = read;
    return true;
}

// "1-3-4711": the line's number, the group's size (1 to 99, the number not above the size)
// and the group's identifier.
bool read_group(std::string_view value, nmea_tag_block& tag) {
    const std::size_t first = value.find('-');
    const std::size_t second = first == std::string_view::npos ? first : value.find('-', first + 1);
    if (second == std::string_view::npos) return false;
    const std::string_view line = value.substr(0, first);
    const std::string_view size = value.substr(first + 1, second - first - 1);
    const std::string_view id = value.substr(second + 1);
    if (!is_number(line, max_group_count_digits) || !is_number(size, max_group_count_digits) ||
        !is_number(id, max_group_id_digits))
        return false;
    tag.group_line = static_cast<std::int32_t>(number_of(line));
    tag.group_size = static_cast<std::int32_t>(number_of(size));
    tag.group_id = static_cast<std::uint32_t>(number_of(id));
    return tag.group_line >= 1 && tag.group_line <= tag.group_size;
}

constexpr std::string_view field_codes = "scdgnrtx";

rejection read_field(std::string_view field, unsigned& seen, nmea_tag_block& tag) {
    if (field.size() < 2 || field[1] != ':') return rejection::tag_field_malformed;
    const std::size_t code = field_codes.find(field[0]);
    if (code == std::string_view::npos) return rejection::tag_field_unknown;
    if ((seen & (1u << code)) != 0) return rejection::tag_field_repeated;
    seen |= 1u << code;
    const std::string_view value = field.substr(2);
    bool valid = false;
    switch (field[0]) {
        case 's':
            valid = is_tag_identifier(value);
            if (valid) {
                value.copy(tag.source, value.size());
                tag.source[value.size()] = 0;
            }
            break;
        case 'd':
            valid = is_tag_identifier(value);
            break;
        case 'g':
            valid = read_group(value, tag);
            break;
        case 't':
            valid = !value.empty();
            break;
        case 'n':
            valid = read_count(value, tag.line_count);
            break;
        default:  // c, r, x: counters and times
            valid = is_number(value, max_number_digits);
            break;
    }
    return valid ? rejection::none : rejection::tag_field_malformed;
}

// `seen` holds the field codes of the blocks before this one: a code may occur once in all.
rejection check_block(std::string_view block, unsigned& seen, nmea_tag_block& tag) {
    // `block` lies between the two backslashes: "s:GP0001,n:881*5D".
    const std::size_t n = block.size();
    if (n + 2 > max_tag_block_length) return rejection::tag_block_length;
    if (n < 3 || block[n - 3] != '*') return rejection::tag_block_checksum_missing;
    if (!is_hex_digit(block[n - 2]) || !is_hex_digit(block[n - 1]))
        return rejection::tag_block_checksum_not_hex;
    const std::string_view fields = block.substr(0, n - 3);
    unsigned char sum = 0;
    for (const char c : fields) sum ^= static_cast<unsigned char>(c);
    if (sum != hex_value(block[n - 2]) * 16 + hex_value(block[n - 1]))
        return rejection::tag_block_checksum_mismatch;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::uint8_t cls = character_classes[static_cast<unsigned char>(fields[i])];
        if (cls == forbidden_character) return rejection::tag_block_character;
        if (cls == caret_character &&
            (i + 2 >= fields.size() || !is_hex_digit(fields[i + 1]) || !is_hex_digit(fields[i + 2])))
            return rejection::tag_block_character;
    }
    if (fields.empty()) return rejection::tag_block_empty;

    std::size_t from = 0;
    while (from <= fields.size()) {
        std::size_t comma = fields.find(',', from);
        if (comma == std::string_view::npos) comma = fields.size();
        const rejection field = read_field(fields.substr(from, comma - from), seen, tag);
        if (field != rejection::none) return field;
        from = comma + 1;
    }
    return rejection::none;
}

}  // namespace

bool is_tag_identifier(std::string_view text) {
    if (text.empty() || text.size() > max_tag_identifier_length) return false;
    for (const char c : text)
        if (!is_digit(c) && !(c >= 'A' && c <= 'Z') && !(c >= 'a' && c <= 'z')) return false;
    return true;
}

const char* read_tag_block(const char* line, nmea_tag_block& tag, nmea_rejection& why) {
    tag = {};
    why = {};
    unsigned seen = 0;
    const char* block = line;
    do {
        // The search for the closing backslash looks no further than a block may reach, and one
        // character more to tell a long block from an unclosed one.
        const std::size_t reach = strnlen(block + 1, max_tag_block_length);
        const char* close = static_cast<const char*>(std::memchr(block + 1, '\\', reach));
        if (close == nullptr) {
            why.reason =
                reach == max_tag_block_length ? rejection::tag_block_length : rejection::tag_block_unclosed;
            tag = {};
            return nullptr;
        }
        why.reason = check_block({block + 1, static_cast<std::size_t>(close - block - 1)}, seen, tag);
        if (why.reason != rejection::none) {
            tag = {};
            return nullptr;
        }
        block = close + 1;
    } while (*block == '\\');
    return block;
}

namespace {

// Appends to a block being written; once a piece does not fit, every later one is refused too.
class block_text {
  public:
    block_text(char* text, std::size_t capacity) : out(text), room(capacity) {}

    void put(std::string_view text) {
        if (!fits || text.size() > room - length) {
            fits = false;
            return;
        }
        std::memcpy(out + length, text.data(), text.size());
        length += text.size();
    }
    void put_number(std::uint64_t value) {
        char digits[20];
        std::size_t first = sizeof digits;
        do {
            digits[--first] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        put({digits + first, sizeof digits - first});
    }
    // Before every field but the first.
    void separate() {
        if (length > 1) put(",");
    }

    char* out;
    std::size_t room;
    std::size_t length = 0;
    bool fits = true;
};

}  // namespace

std::size_t write_tag_block(char* out, std::size_t room, const tag_fields& fields) {
    block_text block(out, room);
    block.put("\\");
    if (!fields.source.empty()) {
        block.put("s:");
        block.put(fields.source);
    }
    if (fields.line_count >= 0) {
        block.separate();
        block.put("n:");
        block.put_number(static_cast<std::uint64_t>(fields.line_count));
    }
    if (fields.unix_time >= 0) {
        block.separate();
        block.put("c:");
        block.put_number(static_cast<std::uint64_t>(fields.unix_time));
    }
    if (fields.group_line > 0) {
        block.separate();
        block.put("g:");
        block.put_number(static_cast<std::uint64_t>(fields.group_line));
        block.put("-");
        block.put_number(static_cast<std::uint64_t>(fields.group_size));
        block.put("-");
        block.put_number(fields.group_id);
    }
    if (block.length == 1 || !block.fits) return 0;
    unsigned sum = 0;
    for (std::size_t i = 1; i < block.length; ++i) sum ^= static_cast<unsigned char>(out[i]);
    constexpr const char* hex = "0123456789ABCDEF";
    const char end[] = {'*', hex[sum >> 4], hex[sum & 0xF], '\\'};
    block.put({end, sizeof end});
    return block.fits ? block.length : 0;
}

}  // namespace vorlane
