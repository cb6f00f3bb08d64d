#include "validation/nmea_validator.h"

#include <cstring>
#include <string_view>

#include "validation/characters.h"
#include "validation/line_scan.h"
#include "validation/nmea_tables.h"
#include "validation/sentence_rules.h"

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

rejection check_framing(const char* s, const line_scan& scan) {
    const std::size_t n = scan.length;
    if (n < 8 || n > max_sentence_length) return rejection::length;
    // The scan summed the "*hh" as well. In a sound line the "*" in front of the checksum is the
    // one forbidden character.
    const unsigned high = hex_digit_values[static_cast<unsigned char>(s[n - 2])];
    const unsigned low = hex_digit_values[static_cast<unsigned char>(s[n - 1])];
    const unsigned sum = scan.checksum ^ static_cast<unsigned char>('*' ^ s[n - 2] ^ s[n - 1]);
    // A sound line passes one test of everything at once, the tests in order below say what
    // fails first: the start character and the kind of each checksum digit change from line to
    // line, so a branch on each would be mispredicted time and again.
    if (((s[0] == '$') | (s[0] == '!')) & (s[n - 3] == '*') & ((high | low) < 16) & (sum == high * 16 + low) &
        (scan.forbidden == 1) & (scan.carets == 0))
        return rejection::none;
    if (s[0] != '$' && s[0] != '!') return rejection::start_character;
    if (s[n - 3] != '*') return rejection::checksum_missing;
    if ((high | low) >= 16) return rejection::checksum_not_hex;
    // The checksum verdict comes first, since a corrupted byte shows up there before anywhere else.
    if (sum != high * 16 + low) return rejection::checksum_mismatch;
    // Something forbidden or an escape: a second look says which character fails first.
    const std::size_t star = n - 3;
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
                            nmea_error_counts& counts, nmea_rejection* why, nmea_editions editions) {
    info.earlier_layout = false;
    line_scan scan;
    scan_line(text, scan);
    // Judged before the copy, which then runs beside the judgement instead of ahead of it.
    const rejection framing = check_framing(text, scan);
    if (buffer != text) std::memmove(buffer, text, scan.length + 1);
    if (framing != rejection::none) return reject(framing, 0, counts, why);

    // The "*" closes the last field as a comma closes each before it.
    const std::size_t star = scan.length - 3;
    scan.commas[scan.comma_count] = static_cast<std::uint8_t>(star);
    const std::string_view address(buffer, scan.commas[0]);
    if (const rejection id = identify(address, info); id != rejection::none)
        return reject(id, 0, counts, why);

    nmea_rejection rule_why;
    const rules::sentence_fields fields(buffer, scan.commas, scan.comma_count);
    if (!rules::run_rule(info.formatter_index, fields, info, why ? &rule_why : nullptr, editions)) {
        reject(rule_why.reason, rule_why.field, counts, why);
        if (why != nullptr) *why = rule_why;
        return false;
    }
    return true;
}

}  // namespace vorlane
