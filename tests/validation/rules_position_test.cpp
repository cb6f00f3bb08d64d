// Position, time and route rules.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/nmea_text.h"
#include "tests/validation/rule_row.h"
#include "validation/nmea_validator.h"

namespace vorlane {
namespace {

using enum rejection;
using test::accepts;
using test::rejects;
using test::rule_row;

class PositionRules : public testing::TestWithParam<rule_row> {};

TEST_P(PositionRules, Judge) {
    test::expect_verdict(GetParam());
}

#define GGA_TAIL ",M,46.9,M,,"
INSTANTIATE_TEST_SUITE_P(
    Gga, PositionRules,
    testing::Values(
        accepts("gga_valid", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL),
        accepts("gga_quality_0_without_position", "$GPGGA,123519,,,,,0,00,,,,,,,"),
        rejects("gga_quality_1_without_latitude", "$GPGGA,123519,,,01131.000,E,1,08,0.9,545.4" GGA_TAIL,
                field_needs_fields, 6),
        rejects("gga_quality_9", "$GPGGA,123519,4807.038,N,01131.000,E,9,08,0.9,545.4" GGA_TAIL,
                field_malformed, 6),
        accepts("gga_quality_2_with_age",
                "$GPGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,3.2,0120"),
        rejects("gga_quality_1_with_age",
                "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,3.2,0120", age_needs_quality_2,
                13),
        accepts("gga_satellites_12", "$GPGGA,123519,4807.038,N,01131.000,E,1,12,0.9,545.4" GGA_TAIL),
        rejects("gga_satellites_13", "$GPGGA,123519,4807.038,N,01131.000,E,1,13,0.9,545.4" GGA_TAIL,
                field_malformed, 7),
        rejects("gga_satellites_012", "$GPGGA,123519,4807.038,N,01131.000,E,1,012,0.9,545.4" GGA_TAIL,
                field_malformed, 7),
        accepts("gga_station_1023", "$GPGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,1,1023"),
        rejects("gga_station_1024", "$GPGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,1,1024",
                field_malformed, 14),
        rejects("gga_station_01023", "$GPGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,1,01023",
                field_malformed, 14),
        rejects("gga_latitude_9000", "$GPGGA,123519,9000.000,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL,
                field_malformed, 2),
        rejects("gga_time_minus_in_minutes", "$GPGGA,12-0-0,4807.038,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL,
                field_malformed, 1),
        rejects("gga_latitude_minus_degrees", "$GPGGA,123519,-012.5,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL,
                field_malformed, 2),
        rejects("gga_longitude_minus_minutes", "$GPGGA,123519,4807.038,N,011-1.0,E,1,08,0.9,545.4" GGA_TAIL,
                field_malformed, 4),
        accepts("gga_latitude_8959_999", "$GPGGA,123519,8959.999,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL),
        rejects("gga_latitude_minutes_60", "$GPGGA,123519,4560.00,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL,
                field_malformed, 2),
        rejects("gga_latitude_too_short", "$GPGGA,123519,451,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL,
                field_malformed, 2),
        rejects("gga_longitude_180", "$GPGGA,123519,4807.038,N,18000.000,E,1,08,0.9,545.4" GGA_TAIL,
                field_malformed, 4),
        accepts("gga_longitude_17959_9", "$GPGGA,123519,4807.038,N,17959.9,W,1,08,0.9,545.4" GGA_TAIL),
        rejects("gga_latitude_without_hemisphere",
                "$GPGGA,123519,4807.038,,01131.000,E,1,08,0.9,545.4" GGA_TAIL, field_required, 3),
        accepts("gga_hemisphere_without_latitude_passes", "$GPGGA,123519,,N,,E,0,08,0.9,545.4" GGA_TAIL),
        rejects("gga_altitude_without_unit", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,,46.9,M,,",
                field_required, 10),
        accepts("gga_time_235959_99", "$GPGGA,235959.99,4807.038,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL),
        rejects("gga_time_240000", "$GPGGA,240000,4807.038,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL,
                field_malformed, 1),
        rejects("gga_time_12345", "$GPGGA,12345,4807.038,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL,
                field_malformed, 1),
        rejects("gga_time_seconds_60", "$GPGGA,123460,4807.038,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL,
                field_malformed, 1),
        rejects("gga_13_fields", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,",
                too_few_fields, 0),
        accepts("gga_15_fields", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,,x")),
    test::row_name);

INSTANTIATE_TEST_SUITE_P(
    GllGnsRmc, PositionRules,
    testing::Values(
        accepts("gll_valid", "$GPGLL,4916.45,N,12311.12,W,225444,A,A"),
        accepts("gll_mode_n_without_position", "$GPGLL,,,,,225444,V,N"),
        rejects("gll_mode_a_without_position", "$GPGLL,,,,,225444,A,A", field_needs_fields, 7),
        rejects("gll_status_x", "$GPGLL,4916.45,N,12311.12,W,225444,X,A", field_malformed, 6),
        rejects("gll_6_fields", "$GPGLL,4916.45,N,12311.12,W,225444,A", too_few_fields, 0),
        accepts("gns_full_valid", "$GNGNS,014035.00,4332.69262,S,17235.48549,E,RR,13,0.9,25.63,11.24,,,S"),
        accepts("gns_companion_under_gp", "$GPGNS,014035.00,,,,,,08,,,,,,"),
        rejects("gns_companion_under_gn_fails", "$GNGNS,014035.00,,,,,,08,,,,,,", gns_full_incomplete, 13),
        rejects("gns_companion_without_time", "$GPGNS,,,,,,,08,,,,,,", gns_companion_incomplete, 13),
        rejects("gns_differential_dd",
                "$GNGNS,014035.00,4332.69262,S,17235.48549,E,DD,13,0.9,25.63,11.24,2.0,,S",
                gns_differential_mode, 13),
        accepts("gns_differential_dn",
                "$GNGNS,014035.00,4332.69262,S,17235.48549,E,DN,13,0.9,25.63,11.24,2.0,,S"),
        rejects("gns_mode_needs_position", "$GNGNS,014035.00,,,,,AN,13,0.9,,,,,S", gns_full_incomplete, 13),
        accepts("gns_mode_nn_without_position", "$GNGNS,014035.00,,,,,NN,13,0.9,,,,,S"),
        rejects("gns_mode_bad_character",
                "$GNGNS,014035.00,4332.69262,S,17235.48549,E,RX,13,0.9,25.63,11.24,,,S", field_malformed, 6),
        rejects("gns_missing_status", "$GNGNS,014035.00,4332.69262,S,17235.48549,E,RR,13,0.9,25.63,11.24,,,",
                gns_full_incomplete, 13),
        rejects("gns_12_fields", "$GNGNS,014035.00,4332.69262,S,17235.48549,E,RR,13,0.9,25.63,11.24,,",
                too_few_fields, 0),
        accepts("rmc_valid", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E,A,S"),
        accepts("rmc_date_311299", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,311299,020.3,E,A,S"),
        rejects("rmc_date_320199", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,320199,020.3,E,A,S",
                field_malformed, 9),
        rejects("rmc_date_01019", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,01019,020.3,E,A,S",
                field_malformed, 9),
        rejects("rmc_date_minus_year", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,3112-9,020.3,E,A,S",
                field_malformed, 9),
        rejects("rmc_date_month_13", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,011399,020.3,E,A,S",
                field_malformed, 9),
        rejects("rmc_course_360", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,360.0,191194,020.3,E,A,S",
                field_malformed, 8),
        rejects("rmc_mode_a_without_position", "$GPRMC,225446,V,,,,,,,191194,,,A,V", field_needs_fields, 12),
        accepts("rmc_mode_n_without_position", "$GPRMC,225446,V,,,,,,,191194,,,N,V"),
        rejects("rmc_variation_without_direction",
                "$GPRMC,225446,A,4916.45,N,12311.12,W,0.5,54.7,191194,20.3,,A,S", field_required, 11),
        rejects("rmc_12_fields", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E,A",
                too_few_fields, 0)),
    test::row_name);

INSTANTIATE_TEST_SUITE_P(
    DtmZdaVtgWplRte, PositionRules,
    testing::Values(
        accepts("dtm_w84_empty_offsets", "$GPDTM,W84,,,,,,,W84"),
        rejects("dtm_999_empty_offsets", "$GPDTM,999,,,,,,,W84", field_required, 3),
        accepts("dtm_999_with_offsets", "$GPDTM,999,,0.08,N,0.07,E,-47.7,W84"),
        rejects("dtm_offset_without_hemisphere", "$GPDTM,W72,,0.08,,0.07,E,-47.7,W84", field_required, 4),
        rejects("dtm_lower_case_code", "$GPDTM,w84,,,,,,,W84", field_malformed, 1),
        rejects("dtm_reference_two_chars", "$GPDTM,W84,,,,,,,W8", field_malformed, 8),
        rejects("zda_minus_1_two_chars", "$GPZDA,160012.71,11,03,2004,-1,00", zone_hours, 5),
        accepts("zda_valid", "$GPZDA,160012.71,11,03,2004,00,00"),
        accepts("zda_minus_13", "$GPZDA,160012.71,11,03,2004,-13,00"),
        rejects("zda_minus_14", "$GPZDA,160012.71,11,03,2004,-14,00", zone_hours, 5),
        accepts("zda_plus_13", "$GPZDA,160012.71,11,03,2004,13,00"),
        rejects("zda_plus_14", "$GPZDA,160012.71,11,03,2004,14,00", zone_hours, 5),
        rejects("zda_minus_5_two_chars", "$GPZDA,160012.71,11,03,2004,-5,00", zone_hours, 5),
        accepts("zda_minus_05", "$GPZDA,160012.71,11,03,2004,-05,30"),
        accepts("zda_empty_date", "$GPZDA,160012.71,,,,,"),
        rejects("zda_partial_date", "$GPZDA,160012.71,11,03,,,", fields_not_together, 4),
        rejects("zda_year_three_digits", "$GPZDA,160012.71,11,03,204,,", field_malformed, 4),
        rejects("zda_without_time", "$GPZDA,,11,03,2004,,", field_required, 1),
        rejects("zda_zone_minutes_60", "$GPZDA,160012.71,11,03,2004,00,60", field_malformed, 6),
        accepts("vtg_valid", "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A"),
        accepts("vtg_empty_values", "$GPVTG,,T,,M,,N,,K,N"),
        rejects("vtg_value_without_unit", "$GPVTG,054.7,,034.4,M,005.5,N,010.2,K,A", field_required, 2),
        rejects("vtg_negative_speed", "$GPVTG,054.7,T,034.4,M,-005.5,N,010.2,K,A", field_malformed, 5),
        rejects("vtg_without_mode", "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K", too_few_fields, 0),
        accepts("wpl_valid", "$GPWPL,4917.16,N,12310.64,W,003"),
        rejects("wpl_empty_identifier", "$GPWPL,4917.16,N,12310.64,W,", field_required, 5),
        rejects("wpl_missing_hemisphere", "$GPWPL,4917.16,,12310.64,W,003", field_required, 2),
        accepts("rte_valid", "$GPRTE,2,1,c,0,PBRCPK,PBRTO,PTELGR", {2, 1}),
        rejects("rte_mode_upper_case", "$GPRTE,2,1,C,0,PBRCPK", field_malformed, 3),
        accepts("rte_second_sentence_empty_mode", "$GPRTE,3,2,,0,PBRCPK", {3, 2}),
        rejects("rte_first_sentence_empty_mode", "$GPRTE,3,1,,0,PBRCPK", field_required, 3),
        rejects("rte_number_above_total", "$GPRTE,3,4,c,0,PBRCPK", fragment_number_above_total, 2),
        rejects("rte_total_zero", "$GPRTE,0,0,c,0,PBRCPK", field_malformed, 1),
        rejects("rte_empty_waypoint", "$GPRTE,1,1,c,0,PBRCPK,,PTELGR", field_required, 6),
        rejects("rte_4_fields", "$GPRTE,1,1,c,0", too_few_fields, 0)),
    test::row_name);

TEST(PositionRules, RteStoresItsFragmentFields) {
    const std::string sentence = test::with_checksum("$GPRTE,3,2,,0,PBRCPK");
    std::string buffer(sentence.size() + 1, '\0');
    nmea_sentence_info info;
    nmea_error_counts counts;
    ASSERT_TRUE(nmea_validate_sentence(sentence.c_str(), buffer.data(), info, counts));
    EXPECT_EQ(info.fragment_total, 3);
    EXPECT_EQ(info.fragment_number, 2);
    EXPECT_EQ(info.sequence_id, -1);
}

TEST(PositionRules, ExplainsARejectionInWords) {
    const std::string sentence = test::with_checksum("$GPGGA,123519,,,01131.000,E,1,08,0.9,545.4" GGA_TAIL);
    std::string buffer(sentence.size() + 1, '\0');
    nmea_sentence_info info;
    nmea_error_counts counts;
    nmea_rejection why;
    ASSERT_FALSE(nmea_validate_sentence(sentence.c_str(), buffer.data(), info, counts, &why));
    EXPECT_EQ(describe(why, info), "GGA field 6: value needs a field that is empty");
}

}  // namespace
}  // namespace vorlane
