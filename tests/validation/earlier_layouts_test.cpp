// The layouts of earlier editions: accepted only when the input asks for them, and judged as
// strictly as the current layout in every field they have.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/validation/verdict.h"
#include "validation/rejection.h"

namespace vorlane {
namespace {

using enum rejection;

// For each earlier layout: a sound sentence in it, and one that is faulty in that layout too (a
// bad field value or, for formatters judged by their count alone, a count no edition defined),
// with the reason the faulty one gets where earlier layouts are taken.
struct layout_row {
    const char* name;
    const char* sound;   // without checksum
    const char* faulty;  // without checksum
    rejection faulty_reason;
};

void PrintTo(const layout_row& row, std::ostream* os) {
    *os << row.name;
}

class EarlierLayouts : public testing::TestWithParam<layout_row> {};

TEST_P(EarlierLayouts, AcceptedOnRequestOnly) {
    const layout_row& row = GetParam();
    const test::verdict current = test::judge(row.sound);
    EXPECT_FALSE(current.accepted);
    EXPECT_TRUE(current.why.reason == too_few_fields || current.why.reason == field_count_not_in_groups)
        << describe(current.why, current.info);
    EXPECT_FALSE(current.info.earlier_layout);

    const test::verdict all = test::judge(row.sound, nmea_editions::all);
    ASSERT_TRUE(all.accepted) << describe(all.why, all.info);
    EXPECT_TRUE(all.info.earlier_layout);
    EXPECT_EQ(all.counts.nmea_syntax_error, 0);
}

TEST_P(EarlierLayouts, FaultStaysRejected) {
    const layout_row& row = GetParam();
    EXPECT_FALSE(test::judge(row.faulty).accepted);
    const test::verdict all = test::judge(row.faulty, nmea_editions::all);
    ASSERT_FALSE(all.accepted);
    EXPECT_EQ(all.why.reason, row.faulty_reason) << describe(all.why, all.info);
    EXPECT_FALSE(all.info.earlier_layout);
}

INSTANTIATE_TEST_SUITE_P(
    EveryLayout, EarlierLayouts,
    testing::Values(
        layout_row{"rmc_without_status",
                   "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W,A",
                   "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,320394,003.1,W,A", field_malformed},
        layout_row{"rmc_without_mode", "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W",
                   "$GPRMC,123519,X,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", field_malformed},
        layout_row{"gns_without_status",
                   "$GPGNS,122310.0,3722.425671,N,12258.856215,W,AA,14,0.9,1005.5,6.5,,",
                   "$GPGNS,122310.0,3722.425671,N,12258.856215,W,,14,0.9,1005.5,6.5,,", gns_full_incomplete},
        layout_row{"gll_without_mode", "$GPGLL,4916.45,N,12311.12,W,225444,A",
                   "$GPGLL,4916.45,N,12311.12,W,225444,X", field_malformed},
        layout_row{"vtg_without_mode", "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K",
                   "$GPVTG,054.7,X,034.4,M,005.5,N,010.2,K", field_malformed},
        layout_row{"dpt_without_range_scale", "$SDDPT,12.3,0.5", "$SDDPT,12.3x,0.5", field_malformed},
        layout_row{"gsa_without_system", "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1",
                   "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3", too_few_fields},
        layout_row{"gsv_without_signal", "$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00",
                   "$GPGSV,3,1,11,03,,,00,04,,,00,06,,,00,13,,,00,14,,,00", field_count_not_in_groups},
        layout_row{"grs_without_system_and_signal", "$GPGRS,220320.0,0,-0.8,-0.2,-0.1,-0.2,0.8,0.6,,,,,,",
                   "$GPGRS,220320.0,0,-0.8,-0.2,-0.1,-0.2,0.8,0.6,,,,,", too_few_fields},
        layout_row{"apb_without_mode", "$GPAPB,A,A,0.10,R,N,V,V,011,M,DEST,011,M,011,M",
                   "$GPAPB,A,A,0.10,R,N,V,V,011,M,DEST,011,M,011", too_few_fields},
        layout_row{"bwc_without_mode", "$GPBWC,225444,4917.24,N,12309.57,W,051.9,T,031.6,M,001.3,N,004",
                   "$GPBWC,225444,4917.24,N,12309.57,W,051.9,T,031.6,M,001.3,N", too_few_fields},
        layout_row{"bwr_without_mode", "$GPBWR,225444,4917.24,N,12309.57,W,051.9,T,031.6,M,001.3,N,004",
                   "$GPBWR,225444,4917.24,N,12309.57,W,051.9,T,031.6,M,001.3,N", too_few_fields},
        layout_row{"rmb_without_mode", "$GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5,V",
                   "$GPRMB,A,0.66,L,003,004,4917.24,N,12309.57,W,001.3,052.5,000.5", too_few_fields},
        layout_row{"xte_without_mode", "$GPXTE,A,A,0.67,L,N", "$GPXTE,A,A,0.67,L", too_few_fields},
        layout_row{"rma_without_mode", "$GPRMA,A,4917.24,N,12309.57,W,,,12.3,045.0,1.0,W",
                   "$GPRMA,A,4917.24,N,12309.57,W,,,12.3,045.0,1.0", too_few_fields}),
    [](const testing::TestParamInfo<layout_row>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace vorlane
