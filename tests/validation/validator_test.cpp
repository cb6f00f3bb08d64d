// Framing, checksum, address forms, table lookups and the field-count rule, through the one
// entry point the stream processing uses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/nmea_text.h"
#include "validation/nmea_tables.h"
#include "validation/nmea_validator.h"

namespace vorlane {
namespace {

using test::with_checksum;

enum class verdict { accepted, syntax, checksum };

struct framing_case {
    const char* name;
    std::string sentence;
    verdict expected;
    rejection reason = rejection::none;
    std::uint32_t formatter_index = 0;
    std::int32_t talker_index = 0;
};

std::ostream& operator<<(std::ostream& os, const framing_case& c) {
    return os << c.name;
}

std::string of_length(std::size_t total) {
    // A proprietary sentence padded to `total` characters including "*HH".
    std::string body = "$PXYZ,";
    body.append(total - 3 - body.size(), 'A');
    return with_checksum(body);
}

std::string replace_checksum(std::string s, const char* hh) {
    return s.replace(s.size() - 2, 2, hh);
}

class Framing : public testing::TestWithParam<framing_case> {};

TEST_P(Framing, JudgesAndIdentifies) {
    const framing_case& c = GetParam();
    std::string buffer(c.sentence.size() + 1, '\0');
    nmea_sentence_info info;
    nmea_error_counts counts;
    nmea_rejection why;
    const bool ok = nmea_validate_sentence(c.sentence.c_str(), buffer.data(), info, counts, &why);

    EXPECT_EQ(ok, c.expected == verdict::accepted) << describe(why, info);
    EXPECT_EQ(counts.nmea_syntax_error, c.expected == verdict::syntax ? 1 : 0);
    EXPECT_EQ(counts.nmea_checksum_error, c.expected == verdict::checksum ? 1 : 0);
    if (c.reason != rejection::none) {
        EXPECT_EQ(why.reason, c.reason) << describe(why, info);
    }
    if (ok) {
        EXPECT_STREQ(buffer.c_str(), c.sentence.c_str())
            << "an accepted sentence leaves the buffer as the text";
        EXPECT_EQ(info.formatter_index, c.formatter_index);
        EXPECT_EQ(info.talker_index, c.talker_index);
    }
}

const std::uint32_t GGA = formatter_index_of("GGA");
const std::uint32_t HDG = formatter_index_of("HDG");
const std::uint32_t GSV = formatter_index_of("GSV");
const std::uint32_t VDM = formatter_index_of("VDM");
const std::int32_t GP = talker_index_of("GP");
const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";

INSTANTIATE_TEST_SUITE_P(
    Cases, Framing,
    testing::Values(
        framing_case{"gga_accepted", with_checksum(gga), verdict::accepted, rejection::none, GGA, GP},
        framing_case{"length_80_passes", of_length(80), verdict::accepted, rejection::none,
                     FORMATTER_PROPRIETARY, TALKER_PROPRIETARY},
        framing_case{"length_81_syntax", of_length(81), verdict::syntax, rejection::length},
        framing_case{"length_7_syntax", "$A,B*03", verdict::syntax, rejection::length},
        framing_case{"length_8_passes_framing", with_checksum("$PABCD"), verdict::accepted, rejection::none,
                     FORMATTER_PROPRIETARY, TALKER_PROPRIETARY},
        framing_case{"tag_block_start_is_syntax", "\\s:r1*21\\" + with_checksum("$GPHDG,1,,,,"),
                     verdict::syntax, rejection::start_character},
        framing_case{"lower_case_checksum", replace_checksum(with_checksum("$GPHDG,1,,,,"), "7c"),
                     verdict::checksum, rejection::checksum_not_hex},
        framing_case{"no_checksum_is_checksum_error", gga, verdict::checksum, rejection::checksum_missing},
        framing_case{"wrong_checksum", replace_checksum(with_checksum(gga), "00"), verdict::checksum,
                     rejection::checksum_mismatch},
        framing_case{"tilde_with_good_checksum_is_syntax", with_checksum("$GPHDG,~,,,,"), verdict::syntax,
                     rejection::reserved_character},
        framing_case{"high_byte_with_good_checksum_is_syntax", with_checksum("$GPHDG,\xB0,,,,"),
                     verdict::syntax, rejection::reserved_character},
        framing_case{"tilde_with_bad_checksum_is_checksum",
                     replace_checksum(with_checksum("$GPHDG,~,,,,"), "00"), verdict::checksum,
                     rejection::checksum_mismatch},
        framing_case{"control_character_is_syntax", with_checksum("$GPHDG,\t,,,,"), verdict::syntax,
                     rejection::reserved_character},
        framing_case{"second_start_character_is_syntax", with_checksum("$GPHDG,!,,,,"), verdict::syntax,
                     rejection::reserved_character},
        framing_case{"escape_with_two_hex_digits", with_checksum("$GPHDG,^2C,,,,"), verdict::accepted,
                     rejection::none, HDG, GP},
        framing_case{"escape_lower_hex_is_syntax", with_checksum("$GPHDG,^2c,,,,"), verdict::syntax,
                     rejection::bad_escape},
        framing_case{"escape_one_char_before_star", with_checksum("$GPHDG,,,,,^2"), verdict::syntax,
                     rejection::bad_escape},
        framing_case{"escape_two_chars_before_star", with_checksum("$GPHDG,,,,,^2C"), verdict::accepted,
                     rejection::none, HDG, GP},
        framing_case{"unlisted_talker_judged_by_rule", with_checksum("$QQHDG,1,,,,"), verdict::accepted,
                     rejection::none, HDG, 0},
        framing_case{"talker_wi_is_last", with_checksum("$WIHDG,1,,,,"), verdict::accepted, rejection::none,
                     HDG, 65},
        framing_case{"vdm_with_dollar_is_unlisted", with_checksum("$AIVDM,x"), verdict::accepted,
                     rejection::none, 0, talker_index_of("AI")},
        framing_case{"gga_with_bang_is_unlisted", with_checksum("!GPGGA,x"), verdict::accepted,
                     rejection::none, 0, GP},
        framing_case{"vdm_with_bang_is_listed_and_judged", with_checksum("!AIVDM,x"), verdict::syntax},
        framing_case{"query_accepted_on_framing", with_checksum("$CCGPQ,GGA"), verdict::accepted,
                     rejection::none, FORMATTER_QUERY, 0},
        framing_case{"proprietary_9_char_address", with_checksum("$PABCDEFG,1"), verdict::accepted,
                     rejection::none, FORMATTER_PROPRIETARY, TALKER_PROPRIETARY},
        framing_case{"proprietary_10_char_address", with_checksum("$PABCDEFGH,1"), verdict::syntax,
                     rejection::proprietary_address_too_long},
        framing_case{"n2s_form_judged_by_rule", with_checksum("$N2SHDG,1,,,,"), verdict::accepted,
                     rejection::none, HDG, 0},
        framing_case{"n2s_form_rule_fails", with_checksum("$N2SHDG,1,,,"), verdict::syntax,
                     rejection::too_few_fields},
        framing_case{"seven_char_address_not_n2s", with_checksum("$GPXHDG,1,,,,"), verdict::syntax,
                     rejection::address_length},
        framing_case{"five_char_address", with_checksum("$GPHD,1,,,,"), verdict::syntax,
                     rejection::address_length},
        framing_case{"address_of_one_char", with_checksum("$,1,2,3,4"), verdict::syntax,
                     rejection::address_missing},
        framing_case{"gsv_7_fields", with_checksum("$GPGSV,1,1,1,2,3,4,5"), verdict::syntax,
                     rejection::too_few_fields},
        framing_case{"gsv_8_fields", with_checksum("$GPGSV,1,1,1,2,3,4,5,6"), verdict::accepted,
                     rejection::none, GSV, GP},
        framing_case{"gsv_11_fields", with_checksum("$GPGSV,1,1,1,2,3,4,5,6,7,8,9"), verdict::syntax,
                     rejection::field_count_not_in_groups},
        framing_case{"gsv_12_fields", with_checksum("$GPGSV,1,1,1,2,3,4,5,6,7,8,9,0"), verdict::accepted,
                     rejection::none, GSV, GP},
        framing_case{"gsv_16_fields", with_checksum("$GPGSV,1,1,1,2,3,4,5,6,7,8,9,0,1,2,3,4"),
                     verdict::accepted, rejection::none, GSV, GP},
        framing_case{"empty_fields_count", with_checksum("$GPHDG,,,,,"), verdict::accepted, rejection::none,
                     HDG, GP},
        framing_case{"no_comma_fails_rule", with_checksum("$GPGGA"), verdict::syntax,
                     rejection::too_few_fields},
        framing_case{"no_comma_unlisted_passes", with_checksum("$GPXYZ"), verdict::accepted, rejection::none,
                     0, GP}),
    [](const testing::TestParamInfo<framing_case>& row) { return row.param.name; });

// The stream processing validates in place: text and buffer are the same storage.
TEST(Validator, WorksInPlaceAndRestoresAnAcceptedSentence) {
    std::string line = with_checksum(gga);
    const std::string original = line;
    nmea_sentence_info info;
    nmea_error_counts counts;
    ASSERT_TRUE(nmea_validate_sentence(line.data(), line.data(), info, counts));
    EXPECT_EQ(line, original);
    EXPECT_STREQ(info.talker, "GP");
    EXPECT_STREQ(info.formatter, "GGA");
}

TEST(Validator, LeavesFragmentFieldsAloneForOrdinarySentences) {
    const std::string line = with_checksum(gga);
    std::string buffer(line.size() + 1, '\0');
    nmea_sentence_info info;
    nmea_error_counts counts;
    ASSERT_TRUE(nmea_validate_sentence(line.c_str(), buffer.data(), info, counts));
    EXPECT_EQ(info.fragment_total, -1);
    EXPECT_EQ(info.fragment_number, -1);
    EXPECT_EQ(info.sequence_id, -1);
}

TEST(Validator, ProprietaryTalkerAndFormatterFields) {
    const std::string line = with_checksum("$PGRME,15.0,M,45.0,M,25.0,M");
    std::string buffer(line.size() + 1, '\0');
    nmea_sentence_info info;
    nmea_error_counts counts;
    ASSERT_TRUE(nmea_validate_sentence(line.c_str(), buffer.data(), info, counts));
    EXPECT_STREQ(info.talker, "P");
    EXPECT_STREQ(info.formatter, "PGRME");
}

TEST(Tables, IndexesFollowTheFixedOrder) {
    EXPECT_EQ(talker_index_of("AG"), 1);
    EXPECT_EQ(talker_index_of("GA"), 22);
    EXPECT_EQ(talker_index_of("GN"), 25);
    EXPECT_EQ(talker_index_of("HN"), 29);
    EXPECT_EQ(talker_index_of("HD"), 30);
    EXPECT_EQ(talker_index_of("WI"), 65);
    EXPECT_EQ(formatter_index_of("AAM"), 1u);
    EXPECT_EQ(formatter_index_of("DBT"), 20u);
    EXPECT_EQ(formatter_index_of("GGA"), 34u);
    EXPECT_EQ(formatter_index_of("TTM"), 85u);
    EXPECT_EQ(formatter_index_of("VDM"), 90u);
    EXPECT_EQ(formatter_index_of("VDO"), 91u);
    EXPECT_EQ(formatter_index_of("ZDA"), 106u);
    EXPECT_EQ(formatter_index_of("ZTG"), 109u);
    EXPECT_EQ(formatter_index_of("NSR"), 114u);
    EXPECT_EQ(find_formatter('!', "VDM"), VDM);
    EXPECT_EQ(find_formatter('$', "VDM"), 0u);
    EXPECT_EQ(find_talker("??"), 0);
}

// Every entry is found at its own position, and only under its own start character.
TEST(Tables, LookupsFindEveryEntryAndNothingElse) {
    for (std::uint32_t i = 1; i <= formatter_count; ++i) {
        const char start = formatter_table[(i - 1) * formatter_entry_size];
        const char other = start == '$' ? '!' : '$';
        const std::string_view name = formatter_name(i);
        EXPECT_EQ(find_formatter(start, name), i) << name;
        EXPECT_EQ(find_formatter(other, name), 0u) << name;
        EXPECT_EQ(find_formatter(start, std::string(name.substr(0, 2)) + 'q'), 0u) << name;
    }
    for (std::int32_t i = 1; i <= static_cast<std::int32_t>(talker_count); ++i) {
        const std::string_view talker = talker_table.substr((i - 1) * talker_entry_size + 1, 2);
        EXPECT_EQ(find_talker(talker), i) << talker;
        EXPECT_EQ(find_talker(std::string(1, talker[0]) + 'q'), 0) << talker;
    }
    EXPECT_EQ(find_formatter('$', "GG"), 0u);
    EXPECT_EQ(find_talker("GPS"), 0);
}

}  // namespace
}  // namespace vorlane
