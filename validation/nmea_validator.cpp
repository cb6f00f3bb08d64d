#include "validation/nmea_validator.h"

#include <array>
#include <cstring>
#include <string_view>

#include "validation/characters.h"
#include "validation/nmea_tables.h"
#include "validation/sentence_rules.h"
#include "validation/str_tok.h"

namespace vorlane {

namespace {

bool reject(rejection reason, int field, nmea_error_counts& counts, nmea_rejection* why) {
    if (stage_of(reason) == rejection_stage::checksum)
        ++counts.nmea_checksum_error;
    else
        ++counts.nmea_syntax_error;
    if (why != nullptr) *why = {reason, field};
    return false;
}

rejection check_framing(const char* s, std::size_t n) {
    if (n < 8 || n > 80) return rejection::length;
    if (s[0] != '$' && s[0] != '!') return rejection::start_character;
    if (s[n - 3] != '*') return rejection::checksum_missing;
    if (!is_hex_digit(s[n - 2]) || !is_hex_digit(s[n - 1])) return rejection::checksum_not_hex;
    // One pass computes the checksum and notes whether any character needs a closer look; the
    // checksum verdict comes first, since a corrupted byte shows up there before anywhere else.
    // Every character of every sentence goes through this loop, and its body is two operations:
    // unrolled, the loop's own counting and jumping no longer cost as much as the work.
    const std::size_t star = n - 3;
    unsigned char sum = 0;
    std::uint8_t seen = plain_character;
#pragma GCC unroll 4
    for (std::size_t i = 1; i < star; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        sum ^= c;
        seen |= character_classes[c];
    }
    if (sum != hex_value(s[n - 2]) * 16 + hex_value(s[n - 1])) return rejection::checksum_mismatch;
    if (seen == plain_character) return rejection::none;
    for (std::size_t i = 1; i < star; ++i) {
        const std::uint8_t cls = character_classes[static_cast<unsigned char>(s[i])];
        if (cls == forbidden_character) return rejection::reserved_character;
        if (cls == caret_character && (i + 2 >= star || !is_hex_digit(s[i + 1]) || !is_hex_digit(s[i + 2])))
            return rejection::bad_escape;
    }
    return rejection::none;
}

// Fills talker, formatter and both indexes from the address field (start character included).
rejection identify(std::string_view address, nmea_sentence_info& info) {
    if (address.size() < 2) return rejection::address_missing;
    if (address[1] == 'P') {
        if (address.size() > 9) return rejection::proprietary_address_too_long;
        info.talker[0] = 'P';
        info.talker[1] = 0;
        address.substr(1).copy(info.formatter, address.size() - 1);
        info.formatter[address.size() - 1] = 0;
        info.formatter_index = FORMATTER_PROPRIETARY;
        info.talker_index = TALKER_PROPRIETARY;
        return rejection::none;
    }
    std::size_t formatter_at = 3;
    if (address.size() == 7 && address.substr(1, 3) == "N2S")
        formatter_at = 4;
    else if (address.size() != 6)
        return rejection::address_length;

    const std::string_view talker = address.substr(1, 2);
    const std::string_view formatter = address.substr(formatter_at, 3);
    talker.copy(info.talker, 2);
    info.talker[2] = 0;
    formatter.copy(info.formatter, 3);
    info.formatter[3] = 0;
    info.talker_index = find_talker(talker);
    info.formatter_index = formatter[2] == 'Q' ? FORMATTER_QUERY : find_formatter(address[0], formatter);
    return rejection::none;
}

}  // namespace

bool nmea_validate_sentence(const char* text, char* buffer, nmea_sentence_info& info,
                            nmea_error_counts& counts, nmea_rejection* why) {
    const std::size_t n = std::strlen(text);
    if (buffer != text) std::memmove(buffer, text, n + 1);

    if (const rejection framing = check_framing(buffer, n); framing != rejection::none)
        return reject(framing, 0, counts, why);

    char* const star = buffer + n - 3;
    *star = 0;
    CStrTok tokens;
    tokens.keep_empty = true;
    tokens.restart(buffer);
    // There is always a first field, if an empty one; a missing address fails on its length.
    std::string_view address;
    tokens.next_field(',', address);
    if (const rejection id = identify(address, info); id != rejection::none) {
        *star = '*';
        return reject(id, 0, counts, why);
    }

    nmea_rejection rule_why;
    const bool passed =
        rules::run_rule(rules::rule_for(info.formatter_index), tokens, info, why ? &rule_why : nullptr);
    tokens.clear();
    *star = '*';
    if (!passed) {
        reject(rule_why.reason, rule_why.field, counts, why);
        if (why != nullptr) *why = rule_why;
        return false;
    }
    return true;
}

}  // namespace vorlane
