// Position, time and route rules. Each row is one sentence (checksum added by the test) and
// the field the rule must stop at, or 0 for a verdict on the field count.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/nmea_text.h"
#include "tests/validation/verdict.h"
#include "validation/nmea_validator.h"

namespace vorlane {
namespace {

struct rule_case {
    const char* name;
    const char* body;
    bool accepted;
    int failing_field = 0;
};

std::ostream& operator<<(std::ostream& os, const rule_case& c) { return os << c.name; }

class PositionRules : public testing::TestWithParam<rule_case> {};

TEST_P(PositionRules, Judge) {
    const rule_case& c = GetParam();
    const test::verdict v = test::judge(c.body);
    EXPECT_EQ(v.accepted, c.accepted) << describe(v.why, v.info);
    if (!c.accepted) {
        EXPECT_EQ(v.counts.nmea_syntax_error, 1);
        EXPECT_EQ(v.counts.nmea_checksum_error, 0);
        EXPECT_EQ(v.why.field, c.failing_field) << describe(v.why, v.info);
    }
}

#define GGA_TAIL ",M,46.9,M,,"
INSTANTIATE_TEST_SUITE_P(
    Gga, PositionRules,
    testing::Values(
        rule_case{"gga_valid", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL, true},
        rule_case{"gga_quality_0_without_position", "$GPGGA,123519,,,,,0,00,,,,,,,", true},
        rule_case{"gga_quality_1_without_latitude", "$GPGGA,123519,,,01131.000,E,1,08,0.9,545.4" GGA_TAIL, false,
                  6},
        rule_case{"gga_quality_9", "$GPGGA,123519,4807.038,N,01131.000,E,9,08,0.9,545.4" GGA_TAIL, false, 6},
        rule_case{"gga_quality_2_with_age", "$GPGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,3.2,0120",
                  true},
        rule_case{"gga_quality_1_with_age", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,3.2,0120",
                  false, 13},
        rule_case{"gga_satellites_12", "$GPGGA,123519,4807.038,N,01131.000,E,1,12,0.9,545.4" GGA_TAIL, true},
        rule_case{"gga_satellites_13", "$GPGGA,123519,4807.038,N,01131.000,E,1,13,0.9,545.4" GGA_TAIL, false, 7},
        rule_case{"gga_satellites_012", "$GPGGA,123519,4807.038,N,01131.000,E,1,012,0.9,545.4" GGA_TAIL, false, 7},
        rule_case{"gga_station_1023", "$GPGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,1,1023", true},
        rule_case{"gga_station_1024", "$GPGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,1,1024", false,
                  14},
        rule_case{"gga_station_01023", "$GPGGA,123519,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,1,01023",
                  false, 14},
        rule_case{"gga_latitude_9000", "$GPGGA,123519,9000.000,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL, false, 2},
        rule_case{"gga_latitude_8959_999", "$GPGGA,123519,8959.999,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL, true},
        rule_case{"gga_latitude_minutes_60", "$GPGGA,123519,4560.00,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL, false,
                  2},
        rule_case{"gga_latitude_too_short", "$GPGGA,123519,451,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL, false, 2},
        rule_case{"gga_longitude_180", "$GPGGA,123519,4807.038,N,18000.000,E,1,08,0.9,545.4" GGA_TAIL, false, 4},
        rule_case{"gga_longitude_17959_9", "$GPGGA,123519,4807.038,N,17959.9,W,1,08,0.9,545.4" GGA_TAIL, true},
        rule_case{"gga_latitude_without_hemisphere", "$GPGGA,123519,4807.038,,01131.000,E,1,08,0.9,545.4" GGA_TAIL,
                  false, 3},
        rule_case{"gga_hemisphere_without_latitude_passes", "$GPGGA,123519,,N,,E,0,08,0.9,545.4" GGA_TAIL, true},
        rule_case{"gga_altitude_without_unit", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,,46.9,M,,",
                  false, 10},
        rule_case{"gga_time_235959_99", "$GPGGA,235959.99,4807.038,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL, true},
        rule_case{"gga_time_240000", "$GPGGA,240000,4807.038,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL, false, 1},
        rule_case{"gga_time_12345", "$GPGGA,12345,4807.038,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL, false, 1},
        rule_case{"gga_time_seconds_60", "$GPGGA,123460,4807.038,N,01131.000,E,1,08,0.9,545.4" GGA_TAIL, false, 1},
        rule_case{"gga_13_fields", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,", false, 0},
        rule_case{"gga_15_fields", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,,x", true}),
    [](const testing::TestParamInfo<rule_case>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    GllGnsRmc, PositionRules,
    testing::Values(
        rule_case{"gll_valid", "$GPGLL,4916.45,N,12311.12,W,225444,A,A", true},
        rule_case{"gll_mode_n_without_position", "$GPGLL,,,,,225444,V,N", true},
        rule_case{"gll_mode_a_without_position", "$GPGLL,,,,,225444,A,A", false, 7},
        rule_case{"gll_status_x", "$GPGLL,4916.45,N,12311.12,W,225444,X,A", false, 6},
        rule_case{"gll_6_fields", "$GPGLL,4916.45,N,12311.12,W,225444,A", false, 0},
        rule_case{"gns_full_valid", "$GNGNS,014035.00,4332.69262,S,17235.48549,E,RR,13,0.9,25.63,11.24,,,S", true},
        rule_case{"gns_companion_under_gp", "$GPGNS,014035.00,,,,,,08,,,,,,", true},
        rule_case{"gns_companion_under_gn_fails", "$GNGNS,014035.00,,,,,,08,,,,,,", false, 13},
        rule_case{"gns_companion_without_time", "$GPGNS,,,,,,,08,,,,,,", false, 13},
        rule_case{"gns_differential_dd", "$GNGNS,014035.00,4332.69262,S,17235.48549,E,DD,13,0.9,25.63,11.24,2.0,,S",
                  false, 13},
        rule_case{"gns_differential_dn", "$GNGNS,014035.00,4332.69262,S,17235.48549,E,DN,13,0.9,25.63,11.24,2.0,,S",
                  true},
        rule_case{"gns_mode_needs_position", "$GNGNS,014035.00,,,,,AN,13,0.9,,,,,S", false, 13},
        rule_case{"gns_mode_nn_without_position", "$GNGNS,014035.00,,,,,NN,13,0.9,,,,,S", true},
        rule_case{"gns_mode_bad_character", "$GNGNS,014035.00,4332.69262,S,17235.48549,E,RX,13,0.9,25.63,11.24,,,S",
                  false, 6},
        rule_case{"gns_missing_status", "$GNGNS,014035.00,4332.69262,S,17235.48549,E,RR,13,0.9,25.63,11.24,,,",
                  false, 13},
        rule_case{"gns_12_fields", "$GNGNS,014035.00,4332.69262,S,17235.48549,E,RR,13,0.9,25.63,11.24,,", false, 0},
        rule_case{"rmc_valid", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E,A,S", true},
        rule_case{"rmc_date_311299", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,311299,020.3,E,A,S", true},
        rule_case{"rmc_date_320199", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,320199,020.3,E,A,S", false,
                  9},
        rule_case{"rmc_date_01019", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,01019,020.3,E,A,S", false, 9},
        rule_case{"rmc_date_month_13", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,011399,020.3,E,A,S", false,
                  9},
        rule_case{"rmc_course_360", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,360.0,191194,020.3,E,A,S", false,
                  8},
        rule_case{"rmc_mode_a_without_position", "$GPRMC,225446,V,,,,,,,191194,,,A,V", false, 12},
        rule_case{"rmc_mode_n_without_position", "$GPRMC,225446,V,,,,,,,191194,,,N,V", true},
        rule_case{"rmc_variation_without_direction", "$GPRMC,225446,A,4916.45,N,12311.12,W,0.5,54.7,191194,20.3,,A,S",
                  false, 11},
        rule_case{"rmc_12_fields", "$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E,A", false, 0}),
    [](const testing::TestParamInfo<rule_case>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    DtmZdaVtgWplRte, PositionRules,
    testing::Values(
        rule_case{"dtm_w84_empty_offsets", "$GPDTM,W84,,,,,,,W84", true},
        rule_case{"dtm_999_empty_offsets", "$GPDTM,999,,,,,,,W84", false, 3},
        rule_case{"dtm_999_with_offsets", "$GPDTM,999,,0.08,N,0.07,E,-47.7,W84", true},
        rule_case{"dtm_offset_without_hemisphere", "$GPDTM,W72,,0.08,,0.07,E,-47.7,W84", false, 4},
        rule_case{"dtm_lower_case_code", "$GPDTM,w84,,,,,,,W84", false, 1},
        rule_case{"dtm_reference_two_chars", "$GPDTM,W84,,,,,,,W8", false, 8},
        rule_case{"zda_minus_1_two_chars", "$GPZDA,160012.71,11,03,2004,-1,00", false, 5},
        rule_case{"zda_valid", "$GPZDA,160012.71,11,03,2004,00,00", true},
        rule_case{"zda_minus_13", "$GPZDA,160012.71,11,03,2004,-13,00", true},
        rule_case{"zda_minus_14", "$GPZDA,160012.71,11,03,2004,-14,00", false, 5},
        rule_case{"zda_plus_13", "$GPZDA,160012.71,11,03,2004,13,00", true},
        rule_case{"zda_plus_14", "$GPZDA,160012.71,11,03,2004,14,00", false, 5},
        rule_case{"zda_minus_5_two_chars", "$GPZDA,160012.71,11,03,2004,-5,00", false, 5},
        rule_case{"zda_minus_05", "$GPZDA,160012.71,11,03,2004,-05,30", true},
        rule_case{"zda_empty_date", "$GPZDA,160012.71,,,,,", true},
        rule_case{"zda_partial_date", "$GPZDA,160012.71,11,03,,,", false, 4},
        rule_case{"zda_year_three_digits", "$GPZDA,160012.71,11,03,204,,", false, 4},
        rule_case{"zda_without_time", "$GPZDA,,11,03,2004,,", false, 1},
        rule_case{"zda_zone_minutes_60", "$GPZDA,160012.71,11,03,2004,00,60", false, 6},
        rule_case{"vtg_valid", "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A", true},
        rule_case{"vtg_empty_values", "$GPVTG,,T,,M,,N,,K,N", true},
        rule_case{"vtg_value_without_unit", "$GPVTG,054.7,,034.4,M,005.5,N,010.2,K,A", false, 2},
        rule_case{"vtg_negative_speed", "$GPVTG,054.7,T,034.4,M,-005.5,N,010.2,K,A", false, 5},
        rule_case{"vtg_without_mode", "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K", false, 0},
        rule_case{"wpl_valid", "$GPWPL,4917.16,N,12310.64,W,003", true},
        rule_case{"wpl_empty_identifier", "$GPWPL,4917.16,N,12310.64,W,", false, 5},
        rule_case{"wpl_missing_hemisphere", "$GPWPL,4917.16,,12310.64,W,003", false, 2},
        rule_case{"rte_valid", "$GPRTE,2,1,c,0,PBRCPK,PBRTO,PTELGR", true},
        rule_case{"rte_mode_upper_case", "$GPRTE,2,1,C,0,PBRCPK", false, 3},
        rule_case{"rte_second_sentence_empty_mode", "$GPRTE,3,2,,0,PBRCPK", true},
        rule_case{"rte_first_sentence_empty_mode", "$GPRTE,3,1,,0,PBRCPK", false, 3},
        rule_case{"rte_number_above_total", "$GPRTE,3,4,c,0,PBRCPK", false, 2},
        rule_case{"rte_total_zero", "$GPRTE,0,0,c,0,PBRCPK", false, 1},
        rule_case{"rte_empty_waypoint", "$GPRTE,1,1,c,0,PBRCPK,,PTELGR", false, 6},
        rule_case{"rte_4_fields", "$GPRTE,1,1,c,0", false, 0}),
    [](const testing::TestParamInfo<rule_case>& info) { return info.param.name; });

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
