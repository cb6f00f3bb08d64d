// AIS encapsulation, acknowledgement and radar target sentences through the whole validator.
#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
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
using test::verdict;

using enum rejection;

const rule_row target_cases[] = {
    // VDM and VDO
    accepts("vdm_single_sentence_empty_sequence", "!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0", {1, 1, -1}),
    accepts("vdm_single_sentence_with_sequence", "!AIVDM,1,1,0,A,13aEOK?P00PD2wVMdLDRhgvL289?,0", {1, 1, 0}),
    accepts("vdm_second_of_two", "!AIVDM,2,2,7,A,EQC`4Sm51A0C@08,2", {2, 2, 7}),
    accepts("vdm_nine_of_nine", "!AIVDM,9,9,9,B,0,0", {9, 9, 9}),
    rejects("vdm_total_2_empty_sequence_fails", "!AIVDM,2,1,,A,53aGulD0000000c7,0", field_required, 3),
    rejects("vdm_number_2_of_1_fails", "!AIVDM,1,2,,B,15MuTpPP00INJMh@vq`00?vJ00S0,0",
            fragment_number_above_total, 2),
    rejects("vdm_total_0_fails", "!AIVDM,0,1,,B,16UK7Fi0?w4tQF0l4Q@>401v1PS;,0", field_malformed, 1),
    rejects("vdm_total_10_fails", "!AIVDM,10,1,1,A,16UK7Fi0,0", field_malformed, 1),
    rejects("vdm_empty_total_fails", "!AIVDM,,1,,B,15MuTpPP00INJMh@vq`00?vJ00S0,0", field_required, 1),
    rejects("vdm_number_0_fails", "!AIVDM,1,0,,A,16UK7Fi0,0", field_malformed, 2),
    rejects("vdm_sequence_letter_fails", "!AIVDM,2,1,A,A,16UK7Fi0,0", field_malformed, 3),
    accepts("vdm_empty_channel", "!AIVDM,1,1,,,16UK7Fi0,0", {1, 1, -1}),
    rejects("vdm_channel_c_fails", "!AIVDM,1,1,,C,16UK7Fi0,0", field_malformed, 4),
    rejects("vdm_channel_1_fails", "!AIVDM,1,1,,1,13aRrVgP01PFJHtMv<@nAgvV2>`<,0", field_malformed, 4),
    rejects("vdm_empty_payload_fails", "!AIVDM,1,1,,A,,0", field_required, 5),
    accepts("vdm_sixbit_boundaries", "!AIVDM,1,1,,A,0W`w,0", {1, 1, -1}),
    rejects("vdm_sixbit_below_0_fails", "!AIVDM,1,1,,A,16/K,0", field_malformed, 5),
    rejects("vdm_sixbit_X_fails", "!AIVDM,1,1,,A,16XK,0", field_malformed, 5),
    rejects("vdm_sixbit_underscore_fails", "!AIVDM,1,1,,A,16_K,0", field_malformed, 5),
    rejects("vdm_sixbit_x_fails", "!AIVDM,1,1,,A,16xK,0", field_malformed, 5),
    rejects("vdm_sixbit_space_fails", "!AIVDM,1,1,,A,16 K,0", field_malformed, 5),
    accepts("vdm_fill_bits_5", "!AIVDM,1,1,,A,16UK7Fi0,5", {1, 1, -1}),
    rejects("vdm_fill_bits_6_fails", "!AIVDM,1,1,,B,15MuTpPP00INJMh@vq`00?vJ00S0,6", field_malformed, 6),
    rejects("vdm_fill_bits_20_fails", "!AIVDM,1,1,,B,15MuTp,20", field_malformed, 6),
    rejects("vdm_empty_fill_bits_fails", "!AIVDM,1,1,,B,15MuTp,", field_required, 6),
    rejects("vdm_five_fields_fails", "!AIVDM,1,1,,A,16UK7Fi0", too_few_fields, 0),
    accepts("vdm_field_beyond_the_rule_unchecked", "!AIVDM,1,1,,A,16UK7Fi0,0,X", {1, 1, -1}),
    accepts("vdo_single_sentence", "!AIVDO,1,1,,A,E@2=Vg@;4a::PV@0b7W@:94PV@3P0qo>>evWP000006f11@,2",
            {1, 1, -1}),
    rejects("vdo_total_2_empty_sequence_fails", "!AIVDO,2,2,,A,vhOL9NIPln:BsP0,2", field_required, 3),

    // TTD: hexadecimal fragment counts
    accepts("ttd_first_of_26", "!RATTD,1A,01,1,H77nSfPh4U=<E`H4U8G;:222220,2", {26, 1, 1}),
    accepts("ttd_number_0A_of_1F", "!RATTD,1F,0A,3,H77n,0", {31, 10, 3}),
    accepts("ttd_total_FF", "!RATTD,FF,FF,9,H77n,0", {255, 255, 9}),
    accepts("ttd_single_sentence_empty_sequence", "!RATTD,01,01,,H77n,0", {1, 1, -1}),
    rejects("ttd_number_0B_of_0A_fails", "!RATTD,0A,0B,1,H77n,0", fragment_number_above_total, 2),
    rejects("ttd_lower_case_hex_fails", "!RATTD,0a,01,1,H77n,0", field_malformed, 1),
    rejects("ttd_lower_case_number_fails", "!RATTD,1F,0a,1,H77n,0", field_malformed, 2),
    rejects("ttd_total_00_fails", "!RATTD,00,01,1,H77n,0", field_malformed, 1),
    rejects("ttd_one_character_total_fails", "!RATTD,1,01,,H77n,0", field_malformed, 1),
    rejects("ttd_three_character_total_fails", "!RATTD,0FF,01,1,H77n,0", field_malformed, 1),
    rejects("ttd_total_02_empty_sequence_fails", "!RATTD,02,01,,H77n,0", field_required, 3),
    accepts("ttd_payload_60_characters",
            "!RATTD,01,01,,H77nSfPh4U=<E`H4U8G;:222220H77nSfPh4U=<E`H4U8G;:222220H77nSf,0", {1, 1, -1}),
    rejects("ttd_payload_61_characters_fails",
            "!RATTD,01,01,,H77nSfPh4U=<E`H4U8G;:222220H77nSfPh4U=<E`H4U8G;:222220H77nSfP,0", field_malformed,
            4),
    rejects("ttd_empty_payload_fails", "!RATTD,1A,01,1,,2", field_required, 4),
    rejects("ttd_payload_X_fails", "!RATTD,01,01,,H77X,0", field_malformed, 4),
    rejects("ttd_fill_bits_6_fails", "!RATTD,01,01,,H77n,6", field_malformed, 5),
    rejects("ttd_four_fields_fails", "!RATTD,01,01,,H77n", too_few_fields, 0),

    // ABM, BBM, MEB: the fragment fields, then only the last field
    accepts("abm_single_sentence_empty_sequence", "!AIABM,1,1,,244123456,1,6,J1@@0IAW,0", {1, 1, -1}),
    accepts("abm_sequence_3", "!AIABM,3,3,3,244123456,1,6,J1@@0IAW,5", {3, 3, 3}),
    rejects("abm_sequence_7_fails", "!AIABM,2,1,7,244123456,1,6,J1@@0IAW,0", field_malformed, 3),
    rejects("abm_two_sentences_empty_sequence_fails", "!AIABM,2,1,,244123456,1,6,J1@@0IAW,0", field_required,
            3),
    rejects("abm_number_3_of_2_fails", "!AIABM,2,3,1,244123456,1,6,J1@@0IAW,0", fragment_number_above_total,
            2),
    rejects("abm_total_26_fails", "!AIABM,26,2,1,338158137,3,8,177KQJ5000G?tO`K>RA1wUbN0TKH,0",
            field_malformed, 1),
    rejects("abm_total_0_fails", "!AIABM,0,1,1,244123456,1,6,J1@@0IAW,0", field_malformed, 1),
    rejects("abm_last_field_6_fails", "!AIABM,1,1,0,244123456,1,6,J1@@0IAW,6", fill_bits, 0),
    rejects("abm_last_field_empty_fails", "!AIABM,1,1,0,244123456,1,6,J1@@0IAW,", fill_bits, 0),
    rejects("abm_last_field_two_digits_fails", "!AIABM,1,1,0,244123456,1,6,J1@@0IAW,00", fill_bits, 0),
    accepts("abm_addressing_and_payload_unchecked", "!AIABM,1,1,0,x,Z,-,X x_,0", {1, 1, 0}),
    accepts("abm_ninth_field_is_the_last", "!AIABM,1,1,0,244123456,1,6,J1@@0IAW,X,1", {1, 1, 0}),
    rejects("abm_ninth_field_not_fill_bits_fails", "!AIABM,1,1,0,244123456,1,6,J1@@0IAW,0,X", fill_bits, 0),
    rejects("abm_seven_fields_fails", "!AIABM,1,1,0,244123456,1,J1@@0IAW,0", too_few_fields, 0),
    accepts("bbm_sequence_7", "!AIBBM,2,2,7,0,8,Fv4:Rb11Jq,4", {2, 2, 7}),
    accepts("bbm_sequence_9", "!AIBBM,9,1,9,0,8,Fv4:Rb11Jq,0", {9, 1, 9}),
    rejects("bbm_sequence_10_fails", "!AIBBM,2,1,10,0,8,Fv4:Rb11Jq,0", field_malformed, 3),
    rejects("bbm_two_sentences_empty_sequence_fails", "!AIBBM,2,1,,0,8,Fv4:Rb11Jq,0", field_required, 3),
    rejects("bbm_last_field_6_fails", "!AIBBM,1,1,0,0,8,Fv4:Rb11Jq,6", fill_bits, 0),
    rejects("bbm_six_fields_fails", "!AIBBM,1,1,0,8,Fv4:Rb11Jq", too_few_fields, 0),
    accepts("meb_second_of_two", "!AIMEB,2,2,3,0,244123456,8,0,0,,1,C,Fv4:Rb11Jq,4", {2, 2, 3}),
    rejects("meb_sequence_4_fails", "!AIMEB,2,2,4,0,244123456,8,0,0,,1,C,Fv4:Rb11Jq,4", field_malformed, 3),
    rejects("meb_last_field_6_fails", "!AIMEB,1,1,0,0,244123456,8,0,0,,1,C,Fv4:Rb11Jq,6", fill_bits, 0),
    rejects("meb_twelve_fields_fails", "!AIMEB,1,1,0,0,244123456,8,0,0,1,C,Fv4:Rb11Jq,4", too_few_fields, 0),

    // ABK: the message ID decides addressing and sequence number
    accepts("abk_message_8_broadcast", "$ANABK,,,8,5,3"),
    accepts("abk_message_14_broadcast", "$ANABK,,,14,9,3"),
    rejects("abk_message_8_without_sequence_fails", "$ANABK,,,8,,3", sequence_number_for_message_id, 4),
    rejects("abk_message_14_without_sequence_fails", "$ANABK,,,14,,3", sequence_number_for_message_id, 4),
    rejects("abk_message_6_without_mmsi_fails", "$ANABK,,A,6,1,0", message_id_needs_mmsi, 3),
    rejects("abk_message_25_without_mmsi_fails", "$ANABK,,A,25,,0", message_id_needs_mmsi, 3),
    rejects("abk_message_7_without_channel_fails", "$ANABK,244123456,,7,1,0", message_id_needs_channel, 3),
    rejects("abk_message_13_without_channel_fails", "$ANABK,244123456,,13,1,0", message_id_needs_channel, 3),
    accepts("abk_message_7_with_channel", "$ANABK,244123456,A,7,3,0"),
    accepts("abk_message_12_sequence_3", "$ANABK,244123456,,12,3,1"),
    rejects("abk_message_12_sequence_4_fails", "$ANABK,244123456,,12,4,1", sequence_number_for_message_id, 4),
    rejects("abk_message_6_without_sequence_fails", "$ANABK,244123456,B,6,,1", sequence_number_for_message_id,
            4),
    accepts("abk_message_15_without_sequence", "$ANABK,244123456,B,15,,2"),
    rejects("abk_message_15_with_sequence_fails", "$ANABK,244123456,B,15,0,2", sequence_number_for_message_id,
            4),
    accepts("abk_message_25_without_sequence", "$ANABK,244123456,,25,,0"),
    accepts("abk_message_25_sequence_9", "$ANABK,244123456,,25,9,0"),
    rejects("abk_sequence_two_characters_fails", "$ANABK,244123456,,25,10,0", field_malformed, 4),
    rejects("abk_mmsi_8_digits_fails", "$ANABK,24412345,A,6,1,0", field_malformed, 1),
    rejects("abk_mmsi_10_digits_fails", "$ANABK,2441234567,A,6,1,0", field_malformed, 1),
    rejects("abk_channel_c_fails", "$ANABK,244123456,C,6,1,0", field_malformed, 2),
    rejects("abk_empty_message_id_fails", "$ANABK,244123456,A,,1,0", field_required, 3),
    rejects("abk_message_id_letter_fails", "$ANABK,244123456,A,B,1,0", field_malformed, 3),
    accepts("abk_acknowledgement_5", "$ANABK,,B,8,0,5"),
    rejects("abk_acknowledgement_6_fails", "$ANABK,,B,8,0,6", field_malformed, 5),
    rejects("abk_four_fields_fails", "$ANABK,,B,8,0", too_few_fields, 0),

    // TTM
    accepts("ttm_neither_distance_nor_bearing", "$RATTM,02,,,,,,,,,,,T,,,"),
    accepts("ttm_negative_time_to_cpa", "$RATTM,02,1.43,170.5,T,0.16,264.4,T,1.42,-36.9,N,,T,,,M"),
    accepts("ttm_bearing_359_9", "$RATTM,999,1.43,359.9,R,,,,,,N,,L,R,235959.99,R"),
    rejects("ttm_distance_without_bearing_fails", "$RATTM,02,1.43,,,,,,,,N,,T,,,", fields_not_together, 3),
    rejects("ttm_bearing_without_distance_fails", "$RATTM,02,,170.5,T,,,,,,,,T,,,", fields_not_together, 3),
    rejects("ttm_bearing_without_reference_fails", "$RATTM,02,1.43,170.5,,,,,,,N,,T,,,", field_required, 4),
    rejects("ttm_bearing_360_fails", "$RATTM,02,1.43,360,T,,,,,,N,,T,,,", field_malformed, 3),
    rejects("ttm_course_without_reference_fails", "$RATTM,02,,,,,264.4,,,,,,T,,,", field_required, 7),
    rejects("ttm_speed_without_units_fails", "$RATTM,02,,,,0.16,,,,,,,T,,,", field_required, 10),
    rejects("ttm_cpa_without_units_fails", "$RATTM,02,,,,,,,1.42,,,,T,,,", field_required, 10),
    rejects("ttm_units_x_fails", "$RATTM,02,,,,0.16,,,,,X,,T,,,", field_malformed, 10),
    rejects("ttm_status_x_fails", "$RATTM,02,,,,,,,,,,,X,,,", field_malformed, 12),
    rejects("ttm_empty_status_fails", "$RATTM,02,,,,,,,,,,,,,,", field_required, 12),
    rejects("ttm_empty_target_number_fails", "$RATTM,,,,,,,,,,,,,,,", field_required, 1),
    rejects("ttm_target_number_four_digits_fails", "$RATTM,1000,,,,,,,,,,,T,,,", field_malformed, 1),
    rejects("ttm_reference_target_s_fails", "$RATTM,02,,,,,,,,,,,T,S,,", field_malformed, 13),
    rejects("ttm_time_of_data_240000_fails", "$RATTM,02,,,,,,,,,,,T,,240000,", field_malformed, 14),
    rejects("ttm_acquisition_x_fails", "$RATTM,02,,,,,,,,,,,T,,,X", field_malformed, 15),
    rejects("ttm_fourteen_fields_fails", "$RATTM,02,,,,,,,,,,,T,,", too_few_fields, 0),

    // TLB: pairs of target number and label
    accepts("tlb_one_pair", "$RATLB,1,SHIPONE"),
    accepts("tlb_empty_labels", "$RATLB,1,,2,"),
    rejects("tlb_three_fields_fails", "$RATLB,3,SHIPTHREE,5", field_count_not_in_groups, 0),
    rejects("tlb_one_field_fails", "$RATLB,1", too_few_fields, 0),
    rejects("tlb_target_1A_fails", "$RATLB,1A,XXX,2,YYY", field_malformed, 1),
    rejects("tlb_decimal_target_fails", "$RATLB,1,XXX,2.0,YYY", field_malformed, 3),
    rejects("tlb_negative_target_fails", "$RATLB,-1,XXX", field_malformed, 1),
    rejects("tlb_empty_second_target_fails", "$RATLB,1,XXX,,YYY", field_required, 3),

    // RSD
    accepts("rsd_units_k_without_distances", "$RARSD,,,,,,,,,,,,K,"),
    accepts("rsd_everything", "$RARSD,12,90,24,45,6,270,12,315,6.5,118,96,N,N"),
    rejects("rsd_cursor_bearing_without_range_fails", "$RARSD,,,,,,,,,,326.9,,N,N", fields_not_together, 10),
    rejects("rsd_cursor_range_without_bearing_fails", "$RARSD,,,,,,,,,0.808,,,N,N", fields_not_together, 10),
    rejects("rsd_origin_1_range_without_bearing_fails", "$RARSD,0.00,,2.50,005.0,,,,,,,3.0,N,H",
            fields_not_together, 2),
    rejects("rsd_origin_2_bearing_without_range_fails", "$RARSD,,,,,,270,,,,,,N,H", fields_not_together, 6),
    rejects("rsd_range_scale_without_units_fails", "$RARSD,,,,,,,,,,,3.0,,N", field_required, 12),
    rejects("rsd_range_marker_without_units_fails", "$RARSD,,,2.50,,,,,,,,,,N", field_required, 12),
    rejects("rsd_units_a_fails", "$RARSD,,,,,,,,,,,3.0,A,A", field_malformed, 12),
    rejects("rsd_bearing_line_360_fails", "$RARSD,,,,360,,,,,,,,,N", field_malformed, 4),
    rejects("rsd_rotation_x_fails", "$RARSD,,,,,,,,,,,,,X", field_malformed, 13),
    rejects("rsd_twelve_fields_fails", "$RARSD,,,,,,,,,,,,K", too_few_fields, 0),
};

class TargetRules : public testing::TestWithParam<rule_row> {};

TEST_P(TargetRules, Judged) {
    test::expect_verdict(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Cases, TargetRules, testing::ValuesIn(target_cases), test::row_name);

std::vector<std::string_view> data_fields(std::string_view sentence) {
    std::vector<std::string_view> out;
    sentence = sentence.substr(0, sentence.find('*'));
    for (std::size_t at = sentence.find(','); at != std::string_view::npos;) {
        const std::size_t next = sentence.find(',', at + 1);
        out.push_back(sentence.substr(at + 1, next == std::string_view::npos ? next : next - at - 1));
        at = next;
    }
    return out;
}

// The output queues pair AIS sentences by the fragment fields: on real traffic every
// accepted VDM and VDO must carry exactly the numbers written in its first three fields.
TEST(TargetCorpus, AcceptedEncapsulationCarriesItsFragmentFields) {
    std::ifstream corpus(VORLANE_SHARED_CORPUS);
    if (!corpus) GTEST_SKIP() << "no sentence corpus at " << VORLANE_SHARED_CORPUS;
    int accepted = 0;
    for (std::string line; std::getline(corpus, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 7 || line[0] != '!' ||
            (line.compare(3, 3, "VDM") != 0 && line.compare(3, 3, "VDO") != 0))
            continue;
        const verdict j = test::judge_sentence(line);
        if (!j.accepted) continue;
        ++accepted;
        const std::vector<std::string_view> f = data_fields(line);
        ASSERT_GE(f.size(), 6u) << line;
        EXPECT_EQ(j.info.fragment_total, f[0][0] - '0') << line;
        EXPECT_EQ(j.info.fragment_number, f[1][0] - '0') << line;
        EXPECT_EQ(j.info.sequence_id, f[2].empty() ? -1 : f[2][0] - '0') << line;
        EXPECT_LE(j.info.fragment_number, j.info.fragment_total) << line;
    }
    EXPECT_GT(accepted, 0) << "the corpus holds no acceptable VDM or VDO";
}

}  // namespace
}  // namespace vorlane
