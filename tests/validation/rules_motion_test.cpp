// Heading, motion, environment and propulsion rules, judged through the validator's entry point.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/validation/rule_row.h"
#include "validation/nmea_validator.h"

namespace vorlane {
namespace {

using enum rejection;
using test::accepts;
using test::rejects;
using test::rule_row;

class MotionRules : public testing::TestWithParam<rule_row> {};

TEST_P(MotionRules, JudgeTheSentence) {
    test::expect_verdict(GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Heading, MotionRules,
    testing::Values(accepts("hdt_heading_0_passes", "$HEHDT,0.0,T"),
                    accepts("hdt_heading_359_9_passes", "$HEHDT,359.9,T"),
                    rejects("hdt_heading_360_fails", "$HEHDT,360.0,T", field_malformed, 1),
                    rejects("hdt_negative_heading_fails", "$HEHDT,-0.1,T", field_malformed, 1),
                    accepts("hdt_empty_heading_and_reference_passes", "$HEHDT,,"),
                    accepts("hdt_empty_heading_with_reference_passes", "$HEHDT,,T"),
                    rejects("hdt_heading_without_reference_fails", "$HEHDT,123.4,", field_required, 2),
                    rejects("hdt_magnetic_reference_fails", "$HEHDT,123.4,M", field_malformed, 2),
                    rejects("hdt_one_field_fails", "$HEHDT,123.4", too_few_fields, 0),
                    accepts("hdt_unknown_further_field_passes", "$HEHDT,123.4,T,whatever"),
                    accepts("ths_empty_heading_mode_v_passes", "$INTHS,,V"),
                    rejects("ths_empty_heading_mode_a_fails", "$INTHS,,A", field_needs_fields, 2),
                    rejects("ths_empty_heading_mode_s_fails", "$INTHS,,S", field_needs_fields, 2),
                    rejects("ths_heading_empty_mode_fails", "$INTHS,123.4,", field_required, 2),
                    accepts("ths_heading_mode_e_passes", "$INTHS,123.4,E"),
                    accepts("ths_heading_mode_v_passes", "$INTHS,123.4,V"),
                    rejects("ths_mode_b_fails", "$INTHS,123.4,B", field_malformed, 2),
                    rejects("ths_heading_360_fails", "$INTHS,360,A", field_malformed, 1),
                    rejects("ths_one_field_fails", "$INTHS,123.4", too_few_fields, 0),
                    accepts("rot_negative_rate_passes", "$HEROT,-11.23,A"),
                    accepts("rot_empty_rate_status_v_passes", "$HEROT,,V"),
                    rejects("rot_empty_rate_status_a_fails", "$HEROT,,A", field_needs_fields, 2),
                    rejects("rot_empty_status_fails", "$HEROT,1.0,", field_required, 2),
                    rejects("rot_minus_inside_rate_fails", "$HEROT,1-2,A", field_malformed, 1),
                    rejects("rot_status_x_fails", "$HEROT,-11.23,X", field_malformed, 2),
                    rejects("rot_one_field_fails", "$HEROT,1.0", too_few_fields, 0),
                    accepts("rsa_two_rudders_passes", "$IIRSA,10.5,A,-0.4,A"),
                    accepts("rsa_single_rudder_passes", "$IIRSA,-35.0,A,,V"),
                    accepts("rsa_no_rudder_passes", "$IIRSA,,V,,V"),
                    rejects("rsa_starboard_valid_without_angle_fails", "$IIRSA,,A,2.0,A", field_needs_fields,
                            2),
                    rejects("rsa_port_valid_without_angle_fails", "$IIRSA,10.5,A,,A", field_needs_fields, 4),
                    rejects("rsa_empty_port_status_fails", "$IIRSA,1.0,A,,", field_required, 4),
                    rejects("rsa_port_status_x_fails", "$IIRSA,10.5,A,,x", field_malformed, 4),
                    rejects("rsa_three_fields_fails", "$IIRSA,10.5,A,", too_few_fields, 0)),
    test::row_name);

INSTANTIATE_TEST_SUITE_P(
    Speed, MotionRules,
    testing::Values(
        accepts("vbw_signed_speeds_pass", "$VMVBW,-0.5,0.1,A,12.1,-0.2,A,-0.3,A,0.4,V"),
        accepts("vbw_no_speeds_all_invalid_passes", "$VMVBW,,,V,,,V,,V,,V"),
        rejects("vbw_malformed_water_speed_fails", "$VMVBW,1.2.3,0.1,A,,,V,,V,,V", field_malformed, 1),
        rejects("vbw_empty_water_status_fails", "$VMVBW,,,,1.0,2.0,A,,V,,V", field_required, 3),
        rejects("vbw_empty_ground_status_fails", "$VMVBW,1.0,2.0,A,,,,,V,,V", field_required, 6),
        rejects("vbw_stern_water_status_x_fails", "$VMVBW,,,V,,,V,0.5,X,,V", field_malformed, 8),
        rejects("vbw_empty_stern_ground_status_fails", "$VMVBW,,,V,,,V,,V,0.6,", field_required, 10),
        rejects("vbw_six_field_layout_fails", "$VMVBW,1.0,-1.5,A,1.0,0.5,A", too_few_fields, 0),
        accepts("vhw_astern_speeds_pass", "$SDVHW,239.7,T,238.3,M,-1.5,N,-2.8,K"),
        accepts("vhw_all_empty_passes", "$SDVHW,,,,,,,,"),
        accepts("vhw_units_without_values_pass", "$SDVHW,,T,,M,,N,,K"),
        rejects("vhw_magnetic_360_fails", "$SDVHW,239.7,T,360,M,6.5,N,12.1,K", field_malformed, 3),
        rejects("vhw_reference_before_heading_fails", "$SDVHW,T,45.0,43.0,M,3.5,N,6.4,K", field_malformed, 1),
        rejects("vhw_knots_without_unit_fails", "$SDVHW,239.7,T,238.3,M,6.5,,12.1,K", field_required, 6),
        rejects("vhw_kmh_unit_lower_case_fails", "$SDVHW,239.7,T,238.3,M,6.5,N,12.1,k", field_malformed, 8),
        rejects("vhw_seven_fields_fails", "$SDVHW,239.7,T,238.3,M,6.5,N,", too_few_fields, 0),
        accepts("vdr_units_without_values_pass", "$IIVDR,,T,,M,,N"),
        accepts("vdr_true_direction_only_passes", "$IIVDR,45.8,T,,,,"),
        rejects("vdr_direction_without_reference_fails", "$IIVDR,45.8,,,,,", field_required, 2),
        rejects("vdr_negative_speed_fails", "$IIVDR,211.0,T,210.2,M,-1.25,N", field_malformed, 5),
        rejects("vdr_speed_in_kmh_fails", "$IIVDR,211.0,T,210.2,M,1.25,K", field_malformed, 6),
        rejects("vdr_speed_without_unit_fails", "$IIVDR,,,,,1.25,", field_required, 6),
        rejects("vdr_five_fields_fails", "$IIVDR,211.0,T,210.2,M,", too_few_fields, 0),
        accepts("osd_all_empty_passes", "$RAOSD,,,,,,,,,"),
        accepts("osd_heading_only_passes", "$RAOSD,123.4,A,,,,,,,"),
        accepts("osd_units_without_speeds_pass", "$RAOSD,,,,,,,,,K"),
        accepts("osd_drift_in_metres_per_second_passes", "$RAOSD,,,,,,,90.0,1.5,S"),
        rejects("osd_heading_without_status_fails", "$RAOSD,123.4,,,,,,,,", field_required, 2),
        rejects("osd_course_reference_t_fails", "$RAOSD,,,123.4,T,,,,,", field_malformed, 4),
        rejects("osd_speed_without_reference_fails", "$RAOSD,,,,,5.4,,,,N", field_required, 6),
        rejects("osd_set_360_fails", "$RAOSD,,,,,,,360.0,0.5,N", field_malformed, 7),
        rejects("osd_negative_drift_fails", "$RAOSD,,,,,,,90.0,-0.5,N", field_malformed, 8),
        rejects("osd_speed_without_units_fails", "$RAOSD,,,,,10.2,P,,,", field_required, 9),
        rejects("osd_drift_without_units_fails", "$RAOSD,,,,,,,,0.5,", field_required, 9),
        rejects("osd_units_m_fails", "$RAOSD,,,,,10.2,P,,,M", field_malformed, 9),
        rejects("osd_eight_fields_fails", "$RAOSD,35.1,A,36.0,P,10.2,P,15.3,0.1", too_few_fields, 0)),
    test::row_name);

INSTANTIATE_TEST_SUITE_P(
    Environment, MotionRules,
    testing::Values(accepts("mtw_below_zero_passes", "$YXMTW,-1.5,C"),
                    accepts("mtw_unit_without_temperature_passes", "$YXMTW,,C"),
                    rejects("mtw_fahrenheit_fails", "$YXMTW,59.0,F", field_malformed, 2),
                    rejects("mtw_temperature_without_unit_fails", "$YXMTW,15.2,", field_required, 2),
                    rejects("mtw_one_field_fails", "$YXMTW,15.2", too_few_fields, 0),
                    accepts("mwv_angle_359_99_passes", "$WIMWV,359.99,R,11.4,N,A"),
                    accepts("mwv_empty_angle_reference_r_passes", "$WIMWV,,R,11.4,N,A"),
                    accepts("mwv_speed_in_kmh_passes", "$WIMWV,45.0,T,21.1,K,A"),
                    accepts("mwv_no_data_status_v_passes", "$WIMWV,,,,,V"),
                    rejects("mwv_angle_400_fails", "$WIMWV,400,R,11.4,N,A", field_malformed, 1),
                    rejects("mwv_angle_360_fails", "$WIMWV,360,R,11.4,N,A", field_malformed, 1),
                    rejects("mwv_angle_without_reference_fails", "$WIMWV,45.0,,11.4,N,A", field_required, 2),
                    rejects("mwv_reference_m_fails", "$WIMWV,45.0,M,11.4,N,A", field_malformed, 2),
                    rejects("mwv_negative_speed_fails", "$WIMWV,45.0,R,-1.0,N,A", field_malformed, 3),
                    rejects("mwv_speed_without_unit_fails", "$WIMWV,45.0,R,11.4,,A", field_required, 4),
                    rejects("mwv_speed_unit_s_fails", "$WIMWV,45.0,R,11.4,S,A", field_malformed, 4),
                    rejects("mwv_empty_status_fails", "$WIMWV,12.5,R,,,", field_required, 5),
                    rejects("mwv_without_status_fails", "$WIMWV,88.8,R,0.36,N", too_few_fields, 0),
                    accepts("dbt_metres_only_passes", "$SDDBT,,,12.3,M,,"),
                    accepts("dbt_no_depth_passes", "$SDDBT,,f,,M,,F"),
                    rejects("dbt_metre_unit_lower_case_fails", "$SDDBT,,,12.3,m,,", field_malformed, 4),
                    rejects("dbt_feet_unit_upper_case_fails", "$SDDBT,8.1,F,2.5,M,1.4,F", field_malformed, 2),
                    rejects("dbt_fathoms_without_unit_fails", "$SDDBT,8.1,f,2.5,M,1.4,", field_required, 6),
                    rejects("dbt_five_fields_fails", "$SDDBT,8.1,f,2.5,M,", too_few_fields, 0),
                    accepts("dpt_negative_offset_passes", "$SDDPT,6.7,-1.2,100"),
                    accepts("dpt_empty_range_passes", "$SDDPT,6.7,0.4,"),
                    accepts("dpt_all_empty_passes", "$SDDPT,,,"),
                    rejects("dpt_letters_as_depth_fail", "$SDDPT,ABC,0.5,", field_malformed, 1),
                    rejects("dpt_malformed_range_fails", "$SDDPT,6.7,0.4,1..0", field_malformed, 3),
                    rejects("dpt_two_field_layout_fails", "$SDDPT,9.3,1.0", too_few_fields, 0)),
    test::row_name);

INSTANTIATE_TEST_SUITE_P(
    Transducer, MotionRules,
    testing::Values(
        accepts("xdr_air_temperature_passes", "$IIXDR,C,21.5,C,AIRTEMP"),
        rejects("xdr_temperature_in_fahrenheit_fails", "$IIXDR,C,21.5,F,AIRTEMP", unit_mismatch, 3),
        accepts("xdr_switch_passes", "$IIXDR,S,1, ,NAME"),
        rejects("xdr_switch_2_fails", "$IIXDR,S,2, ,NAME", field_malformed, 2),
        rejects("xdr_switch_decimal_fails", "$IIXDR,S,1.0, ,NAME", field_malformed, 2),
        rejects("xdr_switch_with_unit_letter_fails", "$IIXDR,S,0,V,NAME", unit_mismatch, 3),
        accepts("xdr_generic_with_space_unit_passes", "$IIXDR,G,142983, ,WPT"),
        accepts("xdr_generic_without_unit_passes", "$IIXDR,G,389,,MAGX"),
        accepts("xdr_units_of_types_a_to_h", "$IIXDR,A,1,D,,B,1,K,,C,1,C,,D,1,M,,F,1,H,,G,1, ,,H,1,P,"),
        accepts("xdr_units_of_types_i_to_r", "$IIXDR,I,1,A,,L,1,S,,N,1,N,,P,1,P,,R,1,l,"),
        accepts("xdr_units_of_types_s_to_v", "$IIXDR,S,1, ,,T,1,R,,U,1,V,,V,1,M,"),
        rejects("xdr_flow_in_capital_l_fails", "$IIXDR,R,2.5,L,FLOW", unit_mismatch, 3),
        rejects("xdr_pressure_in_bar_fails", "$IIXDR,P,1.02481,B,Barometer", unit_mismatch, 3),
        rejects("xdr_lower_case_type_fails", "$IIXDR,a,1.0,M,abc", field_malformed, 1),
        rejects("xdr_type_e_fails", "$IIXDR,E,1.0,M,abc", field_malformed, 1),
        rejects("xdr_malformed_measurement_fails", "$IIXDR,C,23.x,C,WTHI", field_malformed, 2),
        accepts("xdr_without_type_any_known_unit_passes", "$IIXDR,,12.5,V,BATT"),
        rejects("xdr_without_type_unknown_unit_fails", "$IIXDR,,12.5,X,BATT", field_malformed, 3),
        accepts("xdr_empty_type_after_switch_reads_a_number", "$IIXDR,S,1, ,SW,,-12.5,V,BATT"),
        accepts("xdr_empty_quadruple_passes", "$IIXDR,,,,"),
        accepts("xdr_two_quadruples_pass", "$IIXDR,A,-2.5,D,HEEL,A,1.0,D,TRIM"),
        rejects("xdr_second_quadruple_checked_against_its_own_type", "$IIXDR,C,21.5,C,AIR,P,101325,C,BARO",
                unit_mismatch, 7),
        rejects("xdr_second_switch_out_of_range_fails", "$IIXDR,C,21.5,C,AIR,S,5, ,SW", field_malformed, 6),
        rejects("xdr_three_fields_fails", "$IIXDR,C,21.5,C", too_few_fields, 0),
        rejects("xdr_five_fields_fails", "$IIXDR,C,21.5,C,AIRTEMP,A", field_count_not_in_groups, 0),
        rejects("xdr_seven_fields_fails", "$IIXDR,C,21.5,C,AIRTEMP,A,2.0,D", field_count_not_in_groups, 0)),
    test::row_name);

INSTANTIATE_TEST_SUITE_P(
    Thruster, MotionRules,
    testing::Values(
        accepts("trc_rpm_percent_100_passes", "$IITRC,1,100,P,10.0,P,90.0,B,C"),
        accepts("trc_rpm_percent_minus_100_passes", "$IITRC,1,-100.0,P,10.0,P,90.0,B,C"),
        rejects("trc_rpm_percent_100_5_fails", "$IITRC,1,100.5,P,10.0,P,90.0,B,C", value_outside_mode_range,
                3),
        rejects("trc_rpm_percent_minus_100_5_fails", "$IITRC,1,-100.5,P,,V,,B,C", value_outside_mode_range,
                3),
        accepts("trc_rpm_100_5_in_rpm_mode_passes", "$IITRC,1,100.5,R,10.0,P,90.0,B,C"),
        accepts("trc_rpm_empty_mode_p_passes", "$IITRC,1,,P,,P,,B,C"),
        rejects("trc_rpm_mode_d_fails", "$IITRC,1,50.0,D,10.0,P,90.0,B,C", field_malformed, 3),
        rejects("trc_rpm_mode_empty_fails", "$IITRC,1,50.0,,10.0,P,90.0,B,C", field_required, 3),
        accepts("trc_pitch_degrees_minus_359_9_passes", "$IITRC,1,50.0,P,-359.9,D,90.0,B,C"),
        rejects("trc_pitch_degrees_minus_360_fails", "$IITRC,1,50.0,P,-360,D,90.0,B,C",
                value_outside_mode_range, 5),
        accepts("trc_pitch_degrees_359_9_passes", "$IITRC,1,50.0,P,359.9,D,90.0,B,C"),
        rejects("trc_pitch_degrees_360_fails", "$IITRC,1,50.0,P,360,D,90.0,B,C", value_outside_mode_range, 5),
        rejects("trc_pitch_percent_100_5_fails", "$IITRC,1,50.0,P,100.5,P,90.0,B,C", value_outside_mode_range,
                5),
        accepts("trc_pitch_unrestricted_in_mode_v_passes", "$IITRC,1,50.0,P,999,V,90.0,B,C"),
        accepts("trc_empty_pitch_ignores_rpm_demand", "$IITRC,1,150,R,,D,,B,C"),
        rejects("trc_pitch_mode_r_fails", "$IITRC,1,50.0,P,10.0,R,90.0,B,C", field_malformed, 5),
        rejects("trc_thruster_number_10_fails", "$IITRC,10,50.0,P,10.0,P,90.0,B,C", field_malformed, 1),
        rejects("trc_azimuth_360_fails", "$IITRC,1,50.0,P,10.0,P,360,B,C", field_malformed, 6),
        rejects("trc_location_x_fails", "$IITRC,1,50.0,P,10.0,P,90.0,X,C", field_malformed, 7),
        rejects("trc_empty_location_fails", "$IITRC,1,50.0,P,10.0,P,90.0,,C", field_required, 7),
        rejects("trc_empty_status_flag_fails", "$IITRC,1,50.0,P,10.0,P,90.0,B,", field_required, 8),
        rejects("trc_six_fields_fails", "$IITRC,1,50.0,P,10.0,P,90.0", too_few_fields, 0),
        accepts("trd_six_fields_pass", "$IITRD,1,50.0,P,10.0,P,90.0"),
        accepts("trd_fields_7_and_8_pass_unchecked", "$IITRD,1,50.0,P,10.0,P,90.0,X,Y"),
        rejects("trd_rpm_percent_range_applies", "$IITRD,1,100.5,P,,V,", value_outside_mode_range, 3),
        rejects("trd_pitch_degrees_range_applies", "$IITRD,1,,V,-360,D,", value_outside_mode_range, 5),
        rejects("trd_five_fields_fails", "$IITRD,1,50.0,P,10.0,P", too_few_fields, 0)),
    test::row_name);

}  // namespace
}  // namespace vorlane
