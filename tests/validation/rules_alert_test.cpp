// Sentence rules of the alert, text and equipment status formatters, judged through the
// validator's entry point exactly as the stream processing calls it.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/validation/verdict.h"
#include "validation/nmea_validator.h"
#include "validation/sentence_rules.h"

namespace vorlane {
namespace {

using test::verdict;

// The rows must stay within 80 characters, or they would test the length limit instead of
// their rule.
verdict validate(std::string_view body) {
    verdict v = test::judge(body);
    EXPECT_LE(v.text.size(), 80u) << "the case would test the length limit instead of its rule";
    return v;
}

template <typename Case>
std::string case_name(const testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// Accepted sentences and the fragment fields their rule wrote (-1: left alone).
struct accepted_case {
    const char* name;
    const char* body;
    int fragment_total = -1;
    int fragment_number = -1;
    int sequence_id = -1;
};

void PrintTo(const accepted_case& c, std::ostream* os) { *os << c.name; }

class AlertRuleAccepts : public testing::TestWithParam<accepted_case> {};

TEST_P(AlertRuleAccepts, AndWritesTheFragmentFields) {
    const accepted_case& c = GetParam();
    const verdict o = validate(c.body);
    ASSERT_TRUE(o.accepted) << describe(o.why, o.info);
    EXPECT_EQ(o.counts.nmea_syntax_error, 0);
    EXPECT_EQ(o.counts.nmea_checksum_error, 0);
    EXPECT_EQ(o.info.fragment_total, c.fragment_total);
    EXPECT_EQ(o.info.fragment_number, c.fragment_number);
    EXPECT_EQ(o.info.sequence_id, c.sequence_id);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlertRuleAccepts,
    testing::Values(
        accepted_case{"alf_text_16_chars", "$VDALF,1,1,0,220516,B,W,A,,3015,1,1,0,Bilge pump alarm", 1, 1, 0},
        accepted_case{"alf_first_of_two", "$VDALF,2,1,7,,A,E,V,,3015,,99,9,No time given", 2, 1, 7},
        accepted_case{"alf_second_of_two_long_text",
                      "$VDALF,2,2,7,,,,,,3015,,1,0,Bilge pump in engine room 2 has stopped", 2, 2, 7},
        accepted_case{"alf_identifier_10000_with_code", "$VDALF,1,1,0,,C,C,N,XYZ,10000,1,1,0,Own alert", 1, 1,
                      0},
        accepted_case{"alf_identifier_9999999_instance_999999",
                      "$VDALF,1,1,0,,B,A,O,x1Z,9999999,999999,1,0,Text", 1, 1, 0},
        accepted_case{"alf_identifier_1_state_u", "$VDALF,1,1,0,,B,A,U,,1,,1,0,T", 1, 1, 0},
        accepted_case{"alc_zero_entries_4_fields", "$FBALC,01,01,03,0", 1, 1, 3},
        accepted_case{"alc_two_entries", "$FBALC,01,01,03,02,,3015,1,1,XYZ,10001,,2", 1, 1, 3},
        accepted_case{"alc_later_sentence", "$FBALC,02,02,99,1,,3016,999999,99", 2, 2, 99},
        accepted_case{"alc_announced_count_with_leading_zeros", "$FBALC,01,01,00,001,,1,,1", 1, 1, 0},
        accepted_case{"acn_command_q", "$RAACN,,,3015,,Q,C"},
        accepted_case{"acn_with_code", "$RAACN,220516,TCK,10002,1,S,C"},
        accepted_case{"arc_5_fields", "$RAARC,220516,,3015,1,O"},
        accepted_case{"arc_sixth_field_not_judged", "$RAARC,220516,,3015,1,O,X"},
        accepted_case{"alr_empty_description", "$RAALR,220516,001,A,A,"},
        accepted_case{"alr_only_states", "$AIALR,,,V,V,"},
        accepted_case{"alr_number_with_minus", "$AIALR,,-01,V,V,Text"},
        accepted_case{"alr_field_beyond_rule", "$AIALR,,006,V,V,AIS: general failure,extra"},
        accepted_case{"ack_empty", "$INACK,"}, accepted_case{"hbt_all_empty", "$AIHBT,,,"},
        accepted_case{"hbt_decimal_interval", "$HCHBT,1.5,V,9"},
        accepted_case{"ver_single_without_sequence", "$AIVER,1,1,,,,,,,,", 1, 1, -1},
        accepted_case{"ver_third_of_two", "$AIVER,2,3,AI,,,,,,,1", 2, 3, 1},
        accepted_case{"ver_longest_fields",
                      "$AIVER,2,1,A1,aB9z0,123456789012345,12345678901234567890123456789012,,,,0", 2, 1, 0},
        accepted_case{"gen_index_and_one_empty_word", "$VRGEN,0000,,"},
        accepted_case{"gen_many_words", "$VRGEN,FFFF,011200.00,0123,,89AB,CDEF,0123,4567,89AB,CDEF"},
        accepted_case{"nsr_all_not_available", "$INNSR,N,N,N,N,N,N,N,N,N,N,N,N,N"},
        accepted_case{"nsr_other_letters", "$INNSR,F,V,D,A,P,N,F,V,D,A,E,F,V"},
        accepted_case{"nrm_function_9", "$INNRM,9,9,FFFFFFFF,0FFFFFFF,R"},
        accepted_case{"nrx_first", "$CRNRX,007,001,00,IE69,1,135600,27,06,2001,241,3,A,====", 7, 1, 0},
        accepted_case{"nrx_second_of_three_relaxed", "$CRNRX,003,002,42,,,,,,,,,,SHORE FROM 1700 UTC", 3, 2,
                      42},
        accepted_case{"nrx_later_with_date", "$CRNRX,999,999,99,AB-1,0,000000,31,12,1999,,,V,", 999, 999, 99},
        accepted_case{"txt_single_empty_identifier", "$GPTXT,01,01,,hello", 1, 1, -1},
        accepted_case{"txt_identifier_99", "$GPTXT,02,02,99,", 2, 2, 99},
        accepted_case{"tut_code_u", "$INTUT,SD,01,01,1,U,6D45702C5371967A", 1, 1, 1},
        accepted_case{"tut_code_proprietary", "$SDTUT,SD,01,01,1,PXYZ,02", 1, 1, 1},
        accepted_case{"tut_code_16", "$SDTUT,,01,01,,16,", 1, 1, -1},
        accepted_case{"tut_code_1", "$SDTUT,,01,01,,1,41", 1, 1, -1},
        accepted_case{"tut_later_without_code", "$SDTUT,,FF,1F,3,,4142", 255, 31, 3}),
    case_name<accepted_case>);

// Rejected sentences: the field the rule stopped at (0: after the last field) and why.
struct rejected_case {
    const char* name;
    const char* body;
    int field;
    rejection reason;
};

void PrintTo(const rejected_case& c, std::ostream* os) { *os << c.name; }

class AlertRuleRejects : public testing::TestWithParam<rejected_case> {};

TEST_P(AlertRuleRejects, AsASyntaxErrorAtTheField) {
    const rejected_case& c = GetParam();
    const verdict o = validate(c.body);
    ASSERT_FALSE(o.accepted);
    EXPECT_EQ(o.counts.nmea_syntax_error, 1);
    EXPECT_EQ(o.counts.nmea_checksum_error, 0);
    EXPECT_EQ(o.why.field, c.field) << describe(o.why, o.info);
    EXPECT_EQ(o.why.reason, c.reason) << describe(o.why, o.info);
}

constexpr rejection required = rejection::field_required;
constexpr rejection malformed = rejection::field_malformed;
constexpr rejection must_be_empty = rejection::field_must_be_empty;
constexpr rejection above_total = rejection::fragment_number_above_total;
constexpr rejection too_few = rejection::too_few_fields;
constexpr rejection manufacturer = rejection::alert_identifier_manufacturer;
constexpr rejection entry_count = rejection::entry_count_mismatch;

INSTANTIATE_TEST_SUITE_P(
    Alerts, AlertRuleRejects,
    testing::Values(
        rejected_case{"alf_text_17_chars_fails", "$VDALF,1,1,0,220516,B,W,A,,3015,1,1,0,Bilge pump alarms",
                      13, rejection::text_too_long},
        rejected_case{"alf_first_of_two_text_17_chars", "$VDALF,2,1,0,,B,W,A,,3015,1,1,0,Bilge pump alarms",
                      13, rejection::text_too_long},
        rejected_case{"alf_second_of_two_with_category", "$VDALF,2,2,0,,B,,,,3015,1,1,0,Text", 5,
                      must_be_empty},
        rejected_case{"alf_second_of_two_with_time", "$VDALF,2,2,0,220516,,,,,3015,1,1,0,Text", 4,
                      must_be_empty},
        rejected_case{"alf_second_of_two_with_priority", "$VDALF,2,2,0,,,W,,,3015,1,1,0,Text", 6,
                      must_be_empty},
        rejected_case{"alf_second_of_two_with_state", "$VDALF,2,2,0,,,,A,,3015,1,1,0,Text", 7, must_be_empty},
        rejected_case{"alf_first_without_category", "$VDALF,1,1,0,,,W,A,,3015,1,1,0,Text", 5, required},
        rejected_case{"alf_first_without_priority", "$VDALF,1,1,0,,B,,A,,3015,1,1,0,Text", 6, required},
        rejected_case{"alf_first_without_state", "$VDALF,1,1,0,,B,W,,,3015,1,1,0,Text", 7, required},
        rejected_case{"alf_total_3", "$VDALF,3,1,0,,B,W,A,,3015,1,1,0,Text", 1, malformed},
        rejected_case{"alf_sentence_number_0", "$VDALF,1,0,1,220516,B,A,S,,3015,1,2,0,My alarm", 2,
                      malformed},
        rejected_case{"alf_sentence_2_of_1", "$VDALF,1,2,0,,,,,,3015,1,1,0,Text", 2, above_total},
        rejected_case{"alf_empty_sequence_identifier", "$VDALF,1,1,,,B,W,A,,3015,1,1,0,Text", 3, required},
        rejected_case{"alf_bad_time", "$VDALF,1,1,0,2x0516,B,W,A,,3015,1,1,0,Text", 4, malformed},
        rejected_case{"alf_category_d", "$VDALF,1,1,0,,D,W,A,,3015,1,1,0,Text", 5, malformed},
        rejected_case{"alf_priority_b", "$VDALF,1,1,0,,B,B,A,,3015,1,1,0,Text", 6, malformed},
        rejected_case{"alf_state_lower_a", "$VDALF,1,1,0,,B,W,a,,3015,1,1,0,Text", 7, malformed},
        rejected_case{"alf_code_of_2_chars", "$VDALF,1,1,0,,B,W,A,XY,10000,1,1,0,Text", 8, malformed},
        rejected_case{"alf_code_with_minus", "$VDALF,1,1,0,,B,W,A,X-Z,10000,1,1,0,Text", 8, malformed},
        rejected_case{"alf_identifier_10000_without_code", "$VDALF,1,1,0,,B,W,A,,10000,1,1,0,Text", 9,
                      manufacturer},
        rejected_case{"alf_identifier_3015_with_code", "$VDALF,1,1,0,,B,W,A,XYZ,3015,1,1,0,Text", 9,
                      manufacturer},
        rejected_case{"alf_identifier_9999_with_code", "$VDALF,1,1,0,,B,A,S,SAL,9999,1,2,0,My alarm", 9,
                      manufacturer},
        rejected_case{"alf_identifier_0", "$VDALF,1,1,0,,B,W,A,,0,1,1,0,Text", 9, malformed},
        rejected_case{"alf_identifier_8_digits", "$VDALF,1,1,0,,B,W,A,XYZ,10000000,1,1,0,Text", 9, malformed},
        rejected_case{"alf_identifier_padded_to_8", "$VDALF,1,1,0,,B,W,A,,00003015,1,1,0,Text", 9, malformed},
        rejected_case{"alf_identifier_empty", "$VDALF,1,1,0,,B,W,A,,,1,1,0,Text", 9, required},
        rejected_case{"alf_instance_0", "$VDALF,1,1,0,,B,W,A,,3015,0,1,0,Text", 10, malformed},
        rejected_case{"alf_instance_7_digits", "$VDALF,1,1,0,,B,W,A,,3015,0000001,1,0,Text", 10, malformed},
        rejected_case{"alf_revision_empty", "$VDALF,1,1,0,,B,W,A,,3015,1,,0,Text", 11, required},
        rejected_case{"alf_revision_0", "$VDALF,1,1,0,,B,W,A,,3015,1,0,0,Text", 11, malformed},
        rejected_case{"alf_revision_100", "$VDALF,1,1,0,,B,W,A,,3015,1,100,0,Text", 11, malformed},
        rejected_case{"alf_escalation_10", "$VDALF,1,1,0,,B,W,A,,3015,1,1,10,Text", 12, malformed},
        rejected_case{"alf_escalation_empty", "$VDALF,1,1,0,,B,W,A,,3015,1,1,,Text", 12, required},
        rejected_case{"alf_text_empty", "$VDALF,1,1,0,,B,W,A,,3015,1,1,0,", 13, required},
        rejected_case{"alf_12_fields", "$VDALF,1,1,0,,B,W,A,,3015,1,1,0", 0, too_few},
        rejected_case{"alc_announces_2_carries_1", "$FBALC,01,01,03,2,,3015,1,1", 0, entry_count},
        rejected_case{"alc_announces_0_carries_1", "$FBALC,01,01,03,0,,3015,1,1", 0, entry_count},
        rejected_case{"alc_announces_1_carries_none", "$FBALC,01,01,03,1", 0, entry_count},
        rejected_case{"alc_6_fields", "$FBALC,01,01,03,0,,3015", 0, rejection::field_count_not_in_groups},
        rejected_case{"alc_3_fields", "$FBALC,01,01,03", 0, too_few},
        rejected_case{"alc_total_of_1_digit", "$FBALC,1,01,03,0", 1, malformed},
        rejected_case{"alc_total_00", "$FBALC,00,01,03,0", 1, malformed},
        rejected_case{"alc_number_lower_hex", "$FBALC,02,0a,03,0", 2, malformed},
        rejected_case{"alc_number_above_total", "$FBALC,02,03,03,0", 2, above_total},
        rejected_case{"alc_sequence_of_3_digits", "$FBALC,01,01,100,0", 3, malformed},
        rejected_case{"alc_sequence_empty", "$FBALC,01,01,,0", 3, required},
        rejected_case{"alc_count_negative", "$FBALC,01,01,03,-1", 4, malformed},
        rejected_case{"alc_count_beyond_32_bits", "$FBALC,01,01,03,99999999999", 4, malformed},
        rejected_case{"alc_count_empty", "$FBALC,01,01,03,", 4, required},
        rejected_case{"alc_entry_identifier_empty", "$FBALC,01,01,03,1,,,1,1", 6, required},
        rejected_case{"alc_entry_standard_identifier_with_code", "$FBALC,01,01,03,01,FEB,01,02,03", 6,
                      manufacturer},
        // The manufacturer code of the first entry must not carry over to the second.
        rejected_case{"alc_second_entry_without_its_code", "$FBALC,01,01,03,2,XYZ,10001,,1,,10002,,1", 10,
                      manufacturer},
        rejected_case{"alc_second_entry_code_too_long", "$FBALC,01,01,03,2,,3015,,1,ABCD,10002,,1", 9,
                      malformed},
        rejected_case{"alc_entry_instance_0", "$FBALC,01,01,03,1,,3015,0,1", 7, malformed},
        rejected_case{"alc_entry_revision_empty", "$FBALC,01,01,03,1,,3015,1,", 8, required},
        rejected_case{"alc_entry_revision_100", "$FBALC,01,01,03,1,,3015,1,100", 8, malformed},
        rejected_case{"acn_5_fields", "$RAACN,220516,,3015,1,A", 0, too_few},
        rejected_case{"acn_status_flag_not_c", "$RAACN,220516,,3015,1,A,R", 6, malformed},
        rejected_case{"acn_status_flag_empty", "$RAACN,220516,,3015,1,A,", 6, required},
        rejected_case{"acn_command_x", "$RAACN,220516,,3015,1,x,C", 5, malformed},
        rejected_case{"acn_command_empty", "$RAACN,220516,,3015,1,,C", 5, required},
        rejected_case{"acn_standard_identifier_with_code", "$RAACN,220516,TCK,002,1,A,C", 3, manufacturer},
        rejected_case{"acn_bad_time", "$RAACN,2x0516,,3015,1,A,C", 1, malformed},
        rejected_case{"acn_instance_x", "$RAACN,220516,,3015,x,A,C", 4, malformed},
        rejected_case{"arc_4_fields", "$RAARC,220516,,3015,1", 0, too_few},
        rejected_case{"arc_identifier_10000_without_code", "$RAARC,220516,,10000,1,A", 3, manufacturer},
        rejected_case{"arc_command_empty", "$RAARC,220516,,3015,1,", 5, required},
        rejected_case{"alr_4_fields", "$RAALR,220516,001,A,A", 0, too_few},
        rejected_case{"alr_bad_time", "$RAALR,2x0516,001,A,A,Text", 1, malformed},
        rejected_case{"alr_number_of_2_digits", "$IIALR,000000,12,A,A,Text", 2, malformed},
        rejected_case{"alr_number_of_4_digits", "$IIALR,000000,1234,A,A,Text", 2, malformed},
        rejected_case{"alr_condition_empty", "$AIALR,,,,,", 3, required},
        rejected_case{"alr_condition_x", "$RAALR,220516,001,x,A,Text", 3, malformed},
        rejected_case{"alr_acknowledge_x", "$RAALR,220516,001,A,x,Text", 4, malformed},
        rejected_case{"ack_no_fields", "$INACK", 0, too_few},
        rejected_case{"ack_4_digits", "$INACK,1234", 1, malformed},
        rejected_case{"ack_1_digit", "$INACK,0", 1, malformed},
        rejected_case{"ack_letter", "$VRACK,x", 1, malformed}),
    case_name<rejected_case>);

INSTANTIATE_TEST_SUITE_P(
    EquipmentStatus, AlertRuleRejects,
    testing::Values(rejected_case{"hbt_2_fields", "$AIHBT,30,A", 0, too_few},
                    rejected_case{"hbt_interval_x", "$HCHBT,x.5,A,1", 1, malformed},
                    rejected_case{"hbt_interval_negative", "$HCHBT,-1,A,1", 1, malformed},
                    rejected_case{"hbt_status_x", "$HCHBT,1.5,X,1", 2, malformed},
                    rejected_case{"hbt_sequence_10", "$HCHBT,1.5,A,10", 3, malformed},
                    rejected_case{"ver_device_type_of_3_chars", "$AIVER,1,1,AIS,,,,,,,", 3, malformed},
                    rejected_case{"ver_device_type_lower_case", "$AIVER,1,1,ai,,,,,,,", 3, malformed},
                    rejected_case{"ver_vendor_of_6_chars", "$AIVER,1,1,AI,ABCDEF,,,,,,", 4, malformed},
                    rejected_case{"ver_vendor_with_point", "$AIVER,1,1,AI,AB.C,,,,,,", 4, malformed},
                    rejected_case{"ver_unique_identifier_of_16", "$AIVER,1,1,AI,,1234567890123456,,,,,", 5,
                                  malformed},
                    rejected_case{"ver_serial_number_of_33",
                                  "$AIVER,1,1,AI,,,123456789012345678901234567890123,,,,", 6, malformed},
                    rejected_case{"ver_model_code_of_33",
                                  "$AIVER,1,1,AI,,,,123456789012345678901234567890123,,,", 7, malformed},
                    rejected_case{"ver_software_of_33",
                                  "$AIVER,1,1,AI,,,,,123456789012345678901234567890123,,", 8, malformed},
                    rejected_case{"ver_hardware_of_33",
                                  "$AIVER,1,1,AI,,,,,,123456789012345678901234567890123,", 9, malformed},
                    rejected_case{"ver_multi_without_sequence", "$AIVER,2,1,AI,,,,,,,", 10, required},
                    rejected_case{"ver_sequence_x", "$AIVER,1,1,AI,,,,,,,x", 10, malformed},
                    rejected_case{"ver_total_0", "$AIVER,0,1,AI,,,,,,,", 1, malformed},
                    rejected_case{"ver_number_empty", "$AIVER,1,,AI,,,,,,,", 2, required},
                    rejected_case{"ver_9_fields", "$AIVER,1,1,AI,,,,,,", 0, too_few},
                    rejected_case{"gen_2_fields", "$VRGEN,0000,011200.00", 0, too_few},
                    rejected_case{"gen_index_empty", "$VRGEN,,011200.00,0123", 1, required},
                    rejected_case{"gen_index_of_3_chars", "$VRGEN,000,011200.00,0123", 1, malformed},
                    rejected_case{"gen_index_lower_hex", "$VRGEN,00ab,011200.00,0123", 1, malformed},
                    rejected_case{"gen_bad_time", "$VRGEN,0000,241200.00,0123", 2, malformed},
                    rejected_case{"gen_word_not_hex", "$VRGEN,0000,011200.00,0123,XYZW,89AB", 4, malformed},
                    rejected_case{"gen_first_word_of_1_char", "$VRGEN,0000,,1,0123", 3, malformed},
                    rejected_case{"gen_late_word_of_5_chars", "$VRGEN,0000,,0123,4567,89AB,CDEF,0123,45678",
                                  8, malformed},
                    rejected_case{"nsr_12_fields", "$INNSR,P,A,P,A,F,V,D,N,N,N,W,P", 0, too_few},
                    rejected_case{"nsr_lower_case_first", "$INNSR,p,A,P,A,F,V,D,N,N,N,W,P,A", 1, malformed},
                    rejected_case{"nsr_lower_case_middle", "$INNSR,P,A,P,A,F,V,d,N,N,N,W,P,A", 7, malformed},
                    rejected_case{"nsr_lower_case_last", "$INNSR,P,A,P,A,F,V,D,N,N,N,W,P,a", 13, malformed},
                    rejected_case{"nsr_integrity_letter_as_plausibility", "$INNSR,P,P,P,A,F,V,D,N,N,N,W,P,A",
                                  2, malformed},
                    rejected_case{"nsr_mode_a", "$INNSR,P,A,P,A,F,V,D,N,N,N,A,P,A", 11, malformed},
                    rejected_case{"nsr_two_letters", "$INNSR,P,A,P,A,F,V,D,N,N,N,WE,P,A", 11, malformed},
                    rejected_case{"nsr_empty_field", "$INNSR,P,A,P,A,,V,D,N,N,N,W,P,A", 5, required}),
    case_name<rejected_case>);

INSTANTIATE_TEST_SUITE_P(
    Text, AlertRuleRejects,
    testing::Values(
        rejected_case{"nrm_4_fields", "$INNRM,2,1,00001E1F,00000023", 0, too_few},
        rejected_case{"nrm_function_empty", "$INNRM,,1,00001E1F,00000023,C", 1, required},
        rejected_case{"nrm_index_0", "$INNRM,2,0,00001E1F,00000023,C", 2, malformed},
        rejected_case{"nrm_area_mask_of_7", "$INNRM,2,1,0001E1F,00000023,C", 3, malformed},
        rejected_case{"nrm_type_mask_lower_hex", "$INNRM,2,1,00001E1F,0000002f,C", 4, malformed},
        rejected_case{"nrm_status_a", "$INNRM,2,1,00001E1F,00000023,A", 5, malformed},
        rejected_case{"nrx_12_fields", "$CRNRX,003,002,00,,,,,,,,,", 0, too_few},
        rejected_case{"nrx_total_of_2_digits", "$CRNRX,07,001,00,IE69,1,135600,27,06,2001,,,A,", 1,
                      malformed},
        rejected_case{"nrx_total_000", "$CRNRX,000,001,00,IE69,1,135600,27,06,2001,,,A,", 1, malformed},
        rejected_case{"nrx_number_above_total", "$CRNRX,003,004,00,,,,,,,,,,", 2, above_total},
        rejected_case{"nrx_sequence_of_3_digits", "$CRNRX,003,002,000,,,,,,,,,,", 3, malformed},
        rejected_case{"nrx_first_without_code", "$CRNRX,001,001,00,,1,135600,27,06,2001,26,0,A,HF-MSI BODY",
                      4, required},
        rejected_case{"nrx_code_lower_case", "$CRNRX,001,001,00,ie69,1,135600,27,06,2001,,,A,", 4, malformed},
        rejected_case{"nrx_code_letter_in_number", "$CRNRX,001,001,00,IE6X,1,135600,27,06,2001,,,A,", 4,
                      malformed},
        rejected_case{"nrx_code_digit_in_letters", "$CRNRX,001,001,00,I969,1,135600,27,06,2001,,,A,", 4,
                      malformed},
        rejected_case{"nrx_code_of_5_chars", "$CRNRX,001,001,00,IE690,1,135600,27,06,2001,,,A,", 4,
                      malformed},
        rejected_case{"nrx_code_of_3_chars_later", "$CRNRX,002,002,00,IE6,,,,,,,,,", 4, malformed},
        rejected_case{"nrx_first_without_index", "$CRNRX,001,001,00,IE69,,135600,27,06,2001,,,A,", 5,
                      required},
        rejected_case{"nrx_first_without_time", "$CRNRX,001,001,00,IE69,1,,27,06,2001,,,A,", 6, required},
        rejected_case{"nrx_first_without_day", "$CRNRX,001,001,00,IE69,1,135600,,06,2001,,,A,", 7, required},
        rejected_case{"nrx_day_32", "$CRNRX,001,001,00,IE69,1,135600,32,06,2001,,,A,", 7, malformed},
        rejected_case{"nrx_day_of_1_digit", "$CRNRX,001,001,00,IE69,1,135600,7,06,2001,,,A,", 7, malformed},
        rejected_case{"nrx_month_13", "$CRNRX,001,001,00,IE69,1,135600,27,13,2001,,,A,", 8, malformed},
        rejected_case{"nrx_year_of_2_digits", "$CRNRX,001,001,00,IE69,1,135600,27,06,01,,,A,", 9, malformed},
        rejected_case{"nrx_later_day_and_month_without_year", "$CRNRX,003,002,00,,,,27,06,,,,,body", 9,
                      rejection::fields_not_together},
        rejected_case{"nrx_later_year_alone", "$CRNRX,003,002,00,,,,,,2001,,,,body", 9,
                      rejection::fields_not_together},
        rejected_case{"nrx_bad_character_count", "$CRNRX,001,001,00,IE69,1,135600,27,06,2001,-1,,A,", 10,
                      malformed},
        rejected_case{"nrx_first_without_status", "$CRNRX,001,001,00,IE69,1,135600,27,06,2001,,,,", 12,
                      required},
        rejected_case{"nrx_later_status_x", "$CRNRX,003,002,00,,,,,,,,,X,", 12, malformed},
        rejected_case{"txt_3_fields", "$GPTXT,01,01,01", 0, too_few},
        rejected_case{"txt_02_01_empty_identifier", "$GPTXT,02,01,,text", 3, required},
        rejected_case{"txt_total_of_1_digit", "$AITXT,1,1,007,AIS: UTC clock lost", 1, malformed},
        rejected_case{"txt_total_00", "$GPTXT,00,01,01,text", 1, malformed},
        rejected_case{"txt_number_above_total", "$GPTXT,01,02,01,text", 2, above_total},
        rejected_case{"txt_identifier_00", "$GNTXT,01,01,00,PDTINFO", 3, malformed},
        rejected_case{"txt_identifier_of_3_digits", "$GPTXT,01,01,001,text", 3, malformed},
        rejected_case{"tut_5_fields", "$INTUT,SD,01,01,1,A", 0, too_few},
        rejected_case{"tut_source_lower_case", "$INTUT,sd,01,01,1,A,41", 1, malformed},
        rejected_case{"tut_source_of_3_chars", "$INTUT,SDX,01,01,1,A,41", 1, malformed},
        rejected_case{"tut_total_lower_hex", "$INTUT,SD,0a,01,1,A,41", 2, malformed},
        rejected_case{"tut_total_00", "$INTUT,SD,00,01,1,A,41", 2, malformed},
        rejected_case{"tut_total_of_3_chars", "$INTUT,SD,001,01,1,A,41", 2, malformed},
        rejected_case{"tut_number_above_total", "$INTUT,SD,0A,0B,1,A,41", 3, above_total},
        rejected_case{"tut_multi_without_sequence", "$INTUT,SD,02,01,,A,41", 4, required},
        rejected_case{"tut_sequence_10", "$INTUT,SD,02,01,10,A,41", 4, malformed},
        rejected_case{"tut_first_without_code", "$INTUT,SD,01,01,1,,41", 5, required},
        rejected_case{"tut_code_uk", "$INTUT,SD,01,01,1,UK,41", 5, rejection::translation_code},
        rejected_case{"tut_code_17", "$INTUT,SD,01,01,1,17,41", 5, rejection::translation_code},
        rejected_case{"tut_code_0", "$INTUT,SD,01,01,1,0,41", 5, rejection::translation_code},
        rejected_case{"tut_code_016", "$INTUT,SD,01,01,1,016,41", 5, rejection::translation_code},
        rejected_case{"tut_code_p_and_2", "$INTUT,SD,01,01,1,PXY,41", 5, rejection::translation_code},
        rejected_case{"tut_code_p_lower_case", "$INTUT,SD,01,01,1,Pxyz,41", 5, rejection::translation_code},
        rejected_case{"tut_code_lower_a", "$INTUT,SD,01,01,1,a,41", 5, rejection::translation_code},
        rejected_case{"tut_later_code_bad", "$INTUT,SD,02,02,1,X,41", 5, rejection::translation_code},
        rejected_case{"tut_body_lower_hex", "$INTUT,SD,01,01,1,A,4a", 6, malformed}),
    case_name<rejected_case>);

}  // namespace
}  // namespace vorlane
