// Sentence rules of the alert, text and equipment status formatters, judged through the
// validator's entry point exactly as the stream processing calls it.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/validation/rule_row.h"
#include "validation/nmea_validator.h"

namespace vorlane {
namespace {

using test::accepts;
using test::rejects;
using test::rule_row;

class AlertRuleAccepts : public testing::TestWithParam<rule_row> {};

TEST_P(AlertRuleAccepts, AndWritesTheFragmentFields) {
    test::expect_verdict(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlertRuleAccepts,
    testing::Values(
        accepts("alf_text_16_chars", "$VDALF,1,1,0,220516,B,W,A,,3015,1,1,0,Bilge pump alarm", {1, 1, 0}),
        accepts("alf_first_of_two", "$VDALF,2,1,7,,A,E,V,,3015,,99,9,No time given", {2, 1, 7}),
        accepts("alf_second_of_two_long_text",
                "$VDALF,2,2,7,,,,,,3015,,1,0,Bilge pump in engine room 2 has stopped", {2, 2, 7}),
        accepts("alf_identifier_10000_with_code", "$VDALF,1,1,0,,C,C,N,XYZ,10000,1,1,0,Own alert", {1, 1, 0}),
        accepts("alf_identifier_9999999_instance_999999", "$VDALF,1,1,0,,B,A,O,x1Z,9999999,999999,1,0,Text",
                {1, 1, 0}),
        accepts("alf_identifier_1_state_u", "$VDALF,1,1,0,,B,A,U,,1,,1,0,T", {1, 1, 0}),
        accepts("alc_zero_entries_4_fields", "$FBALC,01,01,03,0", {1, 1, 3}),
        accepts("alc_two_entries", "$FBALC,01,01,03,02,,3015,1,1,XYZ,10001,,2", {1, 1, 3}),
        accepts("alc_later_sentence", "$FBALC,02,02,99,1,,3016,999999,99", {2, 2, 99}),
        accepts("alc_announced_count_with_leading_zeros", "$FBALC,01,01,00,001,,1,,1", {1, 1, 0}),
        accepts("acn_command_q", "$RAACN,,,3015,,Q,C"),
        accepts("acn_with_code", "$RAACN,220516,TCK,10002,1,S,C"),
        accepts("arc_5_fields", "$RAARC,220516,,3015,1,O"),
        accepts("arc_sixth_field_not_judged", "$RAARC,220516,,3015,1,O,X"),
        accepts("alr_empty_description", "$RAALR,220516,001,A,A,"),
        accepts("alr_only_states", "$AIALR,,,V,V,"), accepts("alr_number_with_minus", "$AIALR,,-01,V,V,Text"),
        accepts("alr_field_beyond_rule", "$AIALR,,006,V,V,AIS: general failure,extra"),
        accepts("ack_empty", "$INACK,"), accepts("hbt_all_empty", "$AIHBT,,,"),
        accepts("hbt_decimal_interval", "$HCHBT,1.5,V,9"),
        accepts("ver_single_without_sequence", "$AIVER,1,1,,,,,,,,", {1, 1, -1}),
        accepts("ver_third_of_two", "$AIVER,2,3,AI,,,,,,,1", {2, 3, 1}),
        accepts("ver_longest_fields",
                "$AIVER,2,1,A1,aB9z0,123456789012345,12345678901234567890123456789012,,,,0", {2, 1, 0}),
        accepts("gen_index_and_one_empty_word", "$VRGEN,0000,,"),
        accepts("gen_many_words", "$VRGEN,FFFF,011200.00,0123,,89AB,CDEF,0123,4567,89AB,CDEF"),
        accepts("nsr_all_not_available", "$INNSR,N,N,N,N,N,N,N,N,N,N,N,N,N"),
        accepts("nsr_other_letters", "$INNSR,F,V,D,A,P,N,F,V,D,A,E,F,V"),
        accepts("nrm_function_9", "$INNRM,9,9,FFFFFFFF,0FFFFFFF,R"),
        accepts("nrx_first", "$CRNRX,007,001,00,IE69,1,135600,27,06,2001,241,3,A,====", {7, 1, 0}),
        accepts("nrx_second_of_three_relaxed", "$CRNRX,003,002,42,,,,,,,,,,SHORE FROM 1700 UTC", {3, 2, 42}),
        accepts("nrx_later_with_date", "$CRNRX,999,999,99,AB-1,0,000000,31,12,1999,,,V,", {999, 999, 99}),
        accepts("txt_single_empty_identifier", "$GPTXT,01,01,,hello", {1, 1, -1}),
        accepts("txt_identifier_99", "$GPTXT,02,02,99,", {2, 2, 99}),
        accepts("tut_code_u", "$INTUT,SD,01,01,1,U,6D45702C5371967A", {1, 1, 1}),
        accepts("tut_code_proprietary", "$SDTUT,SD,01,01,1,PXYZ,02", {1, 1, 1}),
        accepts("tut_code_16", "$SDTUT,,01,01,,16,", {1, 1, -1}),
        accepts("tut_code_1", "$SDTUT,,01,01,,1,41", {1, 1, -1}),
        accepts("tut_later_without_code", "$SDTUT,,FF,1F,3,,4142", {255, 31, 3})),
    test::row_name);

class AlertRuleRejects : public testing::TestWithParam<rule_row> {};

TEST_P(AlertRuleRejects, AsASyntaxErrorAtTheField) {
    test::expect_verdict(GetParam());
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
        rejects("alf_text_17_chars_fails", "$VDALF,1,1,0,220516,B,W,A,,3015,1,1,0,Bilge pump alarms",
                rejection::text_too_long, 13),
        rejects("alf_first_of_two_text_17_chars", "$VDALF,2,1,0,,B,W,A,,3015,1,1,0,Bilge pump alarms",
                rejection::text_too_long, 13),
        rejects("alf_second_of_two_with_category", "$VDALF,2,2,0,,B,,,,3015,1,1,0,Text", must_be_empty, 5),
        rejects("alf_second_of_two_with_time", "$VDALF,2,2,0,220516,,,,,3015,1,1,0,Text", must_be_empty, 4),
        rejects("alf_second_of_two_with_priority", "$VDALF,2,2,0,,,W,,,3015,1,1,0,Text", must_be_empty, 6),
        rejects("alf_second_of_two_with_state", "$VDALF,2,2,0,,,,A,,3015,1,1,0,Text", must_be_empty, 7),
        rejects("alf_first_without_category", "$VDALF,1,1,0,,,W,A,,3015,1,1,0,Text", required, 5),
        rejects("alf_first_without_priority", "$VDALF,1,1,0,,B,,A,,3015,1,1,0,Text", required, 6),
        rejects("alf_first_without_state", "$VDALF,1,1,0,,B,W,,,3015,1,1,0,Text", required, 7),
        rejects("alf_total_3", "$VDALF,3,1,0,,B,W,A,,3015,1,1,0,Text", malformed, 1),
        rejects("alf_sentence_number_0", "$VDALF,1,0,1,220516,B,A,S,,3015,1,2,0,My alarm", malformed, 2),
        rejects("alf_sentence_2_of_1", "$VDALF,1,2,0,,,,,,3015,1,1,0,Text", above_total, 2),
        rejects("alf_empty_sequence_identifier", "$VDALF,1,1,,,B,W,A,,3015,1,1,0,Text", required, 3),
        rejects("alf_bad_time", "$VDALF,1,1,0,2x0516,B,W,A,,3015,1,1,0,Text", malformed, 4),
        rejects("alf_category_d", "$VDALF,1,1,0,,D,W,A,,3015,1,1,0,Text", malformed, 5),
        rejects("alf_priority_b", "$VDALF,1,1,0,,B,B,A,,3015,1,1,0,Text", malformed, 6),
        rejects("alf_state_lower_a", "$VDALF,1,1,0,,B,W,a,,3015,1,1,0,Text", malformed, 7),
        rejects("alf_code_of_2_chars", "$VDALF,1,1,0,,B,W,A,XY,10000,1,1,0,Text", malformed, 8),
        rejects("alf_code_with_minus", "$VDALF,1,1,0,,B,W,A,X-Z,10000,1,1,0,Text", malformed, 8),
        rejects("alf_identifier_10000_without_code", "$VDALF,1,1,0,,B,W,A,,10000,1,1,0,Text", manufacturer,
                9),
        rejects("alf_identifier_3015_with_code", "$VDALF,1,1,0,,B,W,A,XYZ,3015,1,1,0,Text", manufacturer, 9),
        rejects("alf_identifier_9999_with_code", "$VDALF,1,1,0,,B,A,S,SAL,9999,1,2,0,My alarm", manufacturer,
                9),
        rejects("alf_identifier_0", "$VDALF,1,1,0,,B,W,A,,0,1,1,0,Text", malformed, 9),
        rejects("alf_identifier_8_digits", "$VDALF,1,1,0,,B,W,A,XYZ,10000000,1,1,0,Text", malformed, 9),
        rejects("alf_identifier_padded_to_8", "$VDALF,1,1,0,,B,W,A,,00003015,1,1,0,Text", malformed, 9),
        rejects("alf_identifier_empty", "$VDALF,1,1,0,,B,W,A,,,1,1,0,Text", required, 9),
        rejects("alf_instance_0", "$VDALF,1,1,0,,B,W,A,,3015,0,1,0,Text", malformed, 10),
        rejects("alf_instance_7_digits", "$VDALF,1,1,0,,B,W,A,,3015,0000001,1,0,Text", malformed, 10),
        rejects("alf_revision_empty", "$VDALF,1,1,0,,B,W,A,,3015,1,,0,Text", required, 11),
        rejects("alf_revision_0", "$VDALF,1,1,0,,B,W,A,,3015,1,0,0,Text", malformed, 11),
        rejects("alf_revision_100", "$VDALF,1,1,0,,B,W,A,,3015,1,100,0,Text", malformed, 11),
        rejects("alf_escalation_10", "$VDALF,1,1,0,,B,W,A,,3015,1,1,10,Text", malformed, 12),
        rejects("alf_escalation_empty", "$VDALF,1,1,0,,B,W,A,,3015,1,1,,Text", required, 12),
        rejects("alf_text_empty", "$VDALF,1,1,0,,B,W,A,,3015,1,1,0,", required, 13),
        rejects("alf_12_fields", "$VDALF,1,1,0,,B,W,A,,3015,1,1,0", too_few, 0),
        rejects("alc_announces_2_carries_1", "$FBALC,01,01,03,2,,3015,1,1", entry_count, 0),
        rejects("alc_announces_0_carries_1", "$FBALC,01,01,03,0,,3015,1,1", entry_count, 0),
        rejects("alc_announces_1_carries_none", "$FBALC,01,01,03,1", entry_count, 0),
        rejects("alc_6_fields", "$FBALC,01,01,03,0,,3015", rejection::field_count_not_in_groups, 0),
        rejects("alc_3_fields", "$FBALC,01,01,03", too_few, 0),
        rejects("alc_total_of_1_digit", "$FBALC,1,01,03,0", malformed, 1),
        rejects("alc_total_00", "$FBALC,00,01,03,0", malformed, 1),
        rejects("alc_number_lower_hex", "$FBALC,02,0a,03,0", malformed, 2),
        rejects("alc_number_above_total", "$FBALC,02,03,03,0", above_total, 2),
        rejects("alc_sequence_of_3_digits", "$FBALC,01,01,100,0", malformed, 3),
        rejects("alc_sequence_empty", "$FBALC,01,01,,0", required, 3),
        rejects("alc_count_negative", "$FBALC,01,01,03,-1", malformed, 4),
        rejects("alc_count_beyond_32_bits", "$FBALC,01,01,03,99999999999", malformed, 4),
        rejects("alc_count_empty", "$FBALC,01,01,03,", required, 4),
        rejects("alc_entry_identifier_empty", "$FBALC,01,01,03,1,,,1,1", required, 6),
        rejects("alc_entry_standard_identifier_with_code", "$FBALC,01,01,03,01,FEB,01,02,03", manufacturer,
                6),
        // The manufacturer code of the first entry must not carry over to the second.
        rejects("alc_second_entry_without_its_code", "$FBALC,01,01,03,2,XYZ,10001,,1,,10002,,1", manufacturer,
                10),
        rejects("alc_second_entry_code_too_long", "$FBALC,01,01,03,2,,3015,,1,ABCD,10002,,1", malformed, 9),
        rejects("alc_entry_instance_0", "$FBALC,01,01,03,1,,3015,0,1", malformed, 7),
        rejects("alc_entry_revision_empty", "$FBALC,01,01,03,1,,3015,1,", required, 8),
        rejects("alc_entry_revision_100", "$FBALC,01,01,03,1,,3015,1,100", malformed, 8),
        rejects("acn_5_fields", "$RAACN,220516,,3015,1,A", too_few, 0),
        rejects("acn_status_flag_not_c", "$RAACN,220516,,3015,1,A,R", malformed, 6),
        rejects("acn_status_flag_empty", "$RAACN,220516,,3015,1,A,", required, 6),
        rejects("acn_command_x", "$RAACN,220516,,3015,1,x,C", malformed, 5),
        rejects("acn_command_empty", "$RAACN,220516,,3015,1,,C", required, 5),
        rejects("acn_standard_identifier_with_code", "$RAACN,220516,TCK,002,1,A,C", manufacturer, 3),
        rejects("acn_bad_time", "$RAACN,2x0516,,3015,1,A,C", malformed, 1),
        rejects("acn_instance_x", "$RAACN,220516,,3015,x,A,C", malformed, 4),
        rejects("arc_4_fields", "$RAARC,220516,,3015,1", too_few, 0),
        rejects("arc_identifier_10000_without_code", "$RAARC,220516,,10000,1,A", manufacturer, 3),
        rejects("arc_command_empty", "$RAARC,220516,,3015,1,", required, 5),
        rejects("alr_4_fields", "$RAALR,220516,001,A,A", too_few, 0),
        rejects("alr_bad_time", "$RAALR,2x0516,001,A,A,Text", malformed, 1),
        rejects("alr_number_of_2_digits", "$IIALR,000000,12,A,A,Text", malformed, 2),
        rejects("alr_number_of_4_digits", "$IIALR,000000,1234,A,A,Text", malformed, 2),
        rejects("alr_condition_empty", "$AIALR,,,,,", required, 3),
        rejects("alr_condition_x", "$RAALR,220516,001,x,A,Text", malformed, 3),
        rejects("alr_acknowledge_x", "$RAALR,220516,001,A,x,Text", malformed, 4),
        rejects("ack_no_fields", "$INACK", too_few, 0), rejects("ack_4_digits", "$INACK,1234", malformed, 1),
        rejects("ack_1_digit", "$INACK,0", malformed, 1), rejects("ack_letter", "$VRACK,x", malformed, 1)),
    test::row_name);

INSTANTIATE_TEST_SUITE_P(
    EquipmentStatus, AlertRuleRejects,
    testing::Values(
        rejects("hbt_2_fields", "$AIHBT,30,A", too_few, 0),
        rejects("hbt_interval_x", "$HCHBT,x.5,A,1", malformed, 1),
        rejects("hbt_interval_negative", "$HCHBT,-1,A,1", malformed, 1),
        rejects("hbt_status_x", "$HCHBT,1.5,X,1", malformed, 2),
        rejects("hbt_sequence_10", "$HCHBT,1.5,A,10", malformed, 3),
        rejects("ver_device_type_of_3_chars", "$AIVER,1,1,AIS,,,,,,,", malformed, 3),
        rejects("ver_device_type_lower_case", "$AIVER,1,1,ai,,,,,,,", malformed, 3),
        rejects("ver_vendor_of_6_chars", "$AIVER,1,1,AI,ABCDEF,,,,,,", malformed, 4),
        rejects("ver_vendor_with_point", "$AIVER,1,1,AI,AB.C,,,,,,", malformed, 4),
        rejects("ver_unique_identifier_of_16", "$AIVER,1,1,AI,,1234567890123456,,,,,", malformed, 5),
        rejects("ver_serial_number_of_33", "$AIVER,1,1,AI,,,123456789012345678901234567890123,,,,", malformed,
                6),
        rejects("ver_model_code_of_33", "$AIVER,1,1,AI,,,,123456789012345678901234567890123,,,", malformed,
                7),
        rejects("ver_software_of_33", "$AIVER,1,1,AI,,,,,123456789012345678901234567890123,,", malformed, 8),
        rejects("ver_hardware_of_33", "$AIVER,1,1,AI,,,,,,123456789012345678901234567890123,", malformed, 9),
        rejects("ver_multi_without_sequence", "$AIVER,2,1,AI,,,,,,,", required, 10),
        rejects("ver_sequence_x", "$AIVER,1,1,AI,,,,,,,x", malformed, 10),
        rejects("ver_total_0", "$AIVER,0,1,AI,,,,,,,", malformed, 1),
        rejects("ver_number_empty", "$AIVER,1,,AI,,,,,,,", required, 2),
        rejects("ver_9_fields", "$AIVER,1,1,AI,,,,,,", too_few, 0),
        rejects("gen_2_fields", "$VRGEN,0000,011200.00", too_few, 0),
        rejects("gen_index_empty", "$VRGEN,,011200.00,0123", required, 1),
        rejects("gen_index_of_3_chars", "$VRGEN,000,011200.00,0123", malformed, 1),
        rejects("gen_index_lower_hex", "$VRGEN,00ab,011200.00,0123", malformed, 1),
        rejects("gen_bad_time", "$VRGEN,0000,241200.00,0123", malformed, 2),
        rejects("gen_word_not_hex", "$VRGEN,0000,011200.00,0123,XYZW,89AB", malformed, 4),
        rejects("gen_first_word_of_1_char", "$VRGEN,0000,,1,0123", malformed, 3),
        rejects("gen_late_word_of_5_chars", "$VRGEN,0000,,0123,4567,89AB,CDEF,0123,45678", malformed, 8),
        rejects("nsr_12_fields", "$INNSR,P,A,P,A,F,V,D,N,N,N,W,P", too_few, 0),
        rejects("nsr_lower_case_first", "$INNSR,p,A,P,A,F,V,D,N,N,N,W,P,A", malformed, 1),
        rejects("nsr_lower_case_middle", "$INNSR,P,A,P,A,F,V,d,N,N,N,W,P,A", malformed, 7),
        rejects("nsr_lower_case_last", "$INNSR,P,A,P,A,F,V,D,N,N,N,W,P,a", malformed, 13),
        rejects("nsr_integrity_letter_as_plausibility", "$INNSR,P,P,P,A,F,V,D,N,N,N,W,P,A", malformed, 2),
        rejects("nsr_mode_a", "$INNSR,P,A,P,A,F,V,D,N,N,N,A,P,A", malformed, 11),
        rejects("nsr_two_letters", "$INNSR,P,A,P,A,F,V,D,N,N,N,WE,P,A", malformed, 11),
        rejects("nsr_empty_field", "$INNSR,P,A,P,A,,V,D,N,N,N,W,P,A", required, 5)),
    test::row_name);

INSTANTIATE_TEST_SUITE_P(
    Text, AlertRuleRejects,
    testing::Values(
        rejects("nrm_4_fields", "$INNRM,2,1,00001E1F,00000023", too_few, 0),
        rejects("nrm_function_empty", "$INNRM,,1,00001E1F,00000023,C", required, 1),
        rejects("nrm_index_0", "$INNRM,2,0,00001E1F,00000023,C", malformed, 2),
        rejects("nrm_area_mask_of_7", "$INNRM,2,1,0001E1F,00000023,C", malformed, 3),
        rejects("nrm_type_mask_lower_hex", "$INNRM,2,1,00001E1F,0000002f,C", malformed, 4),
        rejects("nrm_status_a", "$INNRM,2,1,00001E1F,00000023,A", malformed, 5),
        rejects("nrx_12_fields", "$CRNRX,003,002,00,,,,,,,,,", too_few, 0),
        rejects("nrx_total_of_2_digits", "$CRNRX,07,001,00,IE69,1,135600,27,06,2001,,,A,", malformed, 1),
        rejects("nrx_total_000", "$CRNRX,000,001,00,IE69,1,135600,27,06,2001,,,A,", malformed, 1),
        rejects("nrx_number_above_total", "$CRNRX,003,004,00,,,,,,,,,,", above_total, 2),
        rejects("nrx_sequence_of_3_digits", "$CRNRX,003,002,000,,,,,,,,,,", malformed, 3),
        rejects("nrx_first_without_code", "$CRNRX,001,001,00,,1,135600,27,06,2001,26,0,A,HF-MSI BODY",
                required, 4),
        rejects("nrx_code_lower_case", "$CRNRX,001,001,00,ie69,1,135600,27,06,2001,,,A,", malformed, 4),
        rejects("nrx_code_letter_in_number", "$CRNRX,001,001,00,IE6X,1,135600,27,06,2001,,,A,", malformed, 4),
        rejects("nrx_code_digit_in_letters", "$CRNRX,001,001,00,I969,1,135600,27,06,2001,,,A,", malformed, 4),
        rejects("nrx_code_of_5_chars", "$CRNRX,001,001,00,IE690,1,135600,27,06,2001,,,A,", malformed, 4),
        rejects("nrx_code_of_3_chars_later", "$CRNRX,002,002,00,IE6,,,,,,,,,", malformed, 4),
        rejects("nrx_first_without_index", "$CRNRX,001,001,00,IE69,,135600,27,06,2001,,,A,", required, 5),
        rejects("nrx_first_without_time", "$CRNRX,001,001,00,IE69,1,,27,06,2001,,,A,", required, 6),
        rejects("nrx_first_without_day", "$CRNRX,001,001,00,IE69,1,135600,,06,2001,,,A,", required, 7),
        rejects("nrx_day_32", "$CRNRX,001,001,00,IE69,1,135600,32,06,2001,,,A,", malformed, 7),
        rejects("nrx_day_of_1_digit", "$CRNRX,001,001,00,IE69,1,135600,7,06,2001,,,A,", malformed, 7),
        rejects("nrx_month_13", "$CRNRX,001,001,00,IE69,1,135600,27,13,2001,,,A,", malformed, 8),
        rejects("nrx_year_of_2_digits", "$CRNRX,001,001,00,IE69,1,135600,27,06,01,,,A,", malformed, 9),
        rejects("nrx_later_day_and_month_without_year", "$CRNRX,003,002,00,,,,27,06,,,,,body",
                rejection::fields_not_together, 9),
        rejects("nrx_later_year_alone", "$CRNRX,003,002,00,,,,,,2001,,,,body", rejection::fields_not_together,
                9),
        rejects("nrx_bad_character_count", "$CRNRX,001,001,00,IE69,1,135600,27,06,2001,-1,,A,", malformed,
                10),
        rejects("nrx_first_without_status", "$CRNRX,001,001,00,IE69,1,135600,27,06,2001,,,,", required, 12),
        rejects("nrx_later_status_x", "$CRNRX,003,002,00,,,,,,,,,X,", malformed, 12),
        rejects("txt_3_fields", "$GPTXT,01,01,01", too_few, 0),
        rejects("txt_02_01_empty_identifier", "$GPTXT,02,01,,text", required, 3),
        rejects("txt_total_of_1_digit", "$AITXT,1,1,007,AIS: UTC clock lost", malformed, 1),
        rejects("txt_total_00", "$GPTXT,00,01,01,text", malformed, 1),
        rejects("txt_number_above_total", "$GPTXT,01,02,01,text", above_total, 2),
        rejects("txt_identifier_00", "$GNTXT,01,01,00,PDTINFO", malformed, 3),
        rejects("txt_identifier_of_3_digits", "$GPTXT,01,01,001,text", malformed, 3),
        rejects("tut_5_fields", "$INTUT,SD,01,01,1,A", too_few, 0),
        rejects("tut_source_lower_case", "$INTUT,sd,01,01,1,A,41", malformed, 1),
        rejects("tut_source_of_3_chars", "$INTUT,SDX,01,01,1,A,41", malformed, 1),
        rejects("tut_total_lower_hex", "$INTUT,SD,0a,01,1,A,41", malformed, 2),
        rejects("tut_total_00", "$INTUT,SD,00,01,1,A,41", malformed, 2),
        rejects("tut_total_of_3_chars", "$INTUT,SD,001,01,1,A,41", malformed, 2),
        rejects("tut_number_above_total", "$INTUT,SD,0A,0B,1,A,41", above_total, 3),
        rejects("tut_multi_without_sequence", "$INTUT,SD,02,01,,A,41", required, 4),
        rejects("tut_sequence_10", "$INTUT,SD,02,01,10,A,41", malformed, 4),
        rejects("tut_first_without_code", "$INTUT,SD,01,01,1,,41", required, 5),
        rejects("tut_code_uk", "$INTUT,SD,01,01,1,UK,41", rejection::translation_code, 5),
        rejects("tut_code_17", "$INTUT,SD,01,01,1,17,41", rejection::translation_code, 5),
        rejects("tut_code_0", "$INTUT,SD,01,01,1,0,41", rejection::translation_code, 5),
        rejects("tut_code_016", "$INTUT,SD,01,01,1,016,41", rejection::translation_code, 5),
        rejects("tut_code_p_and_2", "$INTUT,SD,01,01,1,PXY,41", rejection::translation_code, 5),
        rejects("tut_code_p_lower_case", "$INTUT,SD,01,01,1,Pxyz,41", rejection::translation_code, 5),
        rejects("tut_code_lower_a", "$INTUT,SD,01,01,1,a,41", rejection::translation_code, 5),
        rejects("tut_later_code_bad", "$INTUT,SD,02,02,1,X,41", rejection::translation_code, 5),
        rejects("tut_body_lower_hex", "$INTUT,SD,01,01,1,A,4a", malformed, 6)),
    test::row_name);

}  // namespace
}  // namespace vorlane
