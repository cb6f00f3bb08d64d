#pragma once

// Formatters without a rule of their own: they are judged by their number of data fields
// (empty fields count), at least a minimum and, for the repeating ones, whole groups. A
// formatter whose layout grew over the editions also names the shorter layouts before.
#include <array>

#include "validation/rule_scheme.h"

namespace vorlane::rules::field_count {

// clang-format off
inline constexpr std::array rules{
    count_only("STN", 1),
    count_only("UID", 2),
    count_only("EVE", 3), count_only("HMS", 3), count_only("HSS", 3), count_only("XTR", 3),
    count_only("ZDL", 3), count_only("ZFO", 3), count_only("ZTG", 3),
    count_only("DDC", 4), count_only("VPW", 4), count_only("WCV", 4),
    count_only("DSE", 4, 2), count_only("SFI", 4, 2),
    count_only("AAM", 5), count_only("FSI", 5), count_only("HDG", 5), count_only("HSC", 5),
    count_only("LRF", 5), count_only("MSS", 5), count_only("NAK", 5), count_only("ROR", 5),
    count_only("RPM", 5),
    count_only("ACS", 6), count_only("BOD", 6), count_only("BWW", 6), count_only("ETL", 6),
    count_only("LR1", 6), count_only("WNC", 6),
    count_only("XTE", 6).or_earlier(earlier_count(5)),                // mode indicator added in 2.3
    count_only("MSK", 7),
    count_only("AKD", 8), count_only("ALA", 8), count_only("GBS", 8), count_only("GST", 8),
    count_only("MWD", 8), count_only("PRC", 8), count_only("SSD", 8), count_only("VLW", 8),
    count_only("GSV", 8, 4).or_earlier(earlier_groups(3, 4, 19)),     // signal ID added in 4.10
    count_only("DOR", 9), count_only("FIR", 9), count_only("GFA", 9), count_only("TLL", 9),
    count_only("VSD", 9), count_only("WAT", 9),
    count_only("POS", 10),
    count_only("CUR", 11), count_only("DSC", 11), count_only("LR3", 11),
    count_only("AIR", 12), count_only("BEC", 12), count_only("LR2", 12), count_only("LRI", 12),
    count_only("RMA", 12).or_earlier(earlier_count(11)),              // mode indicator added in 2.3
    count_only("BWC", 13).or_earlier(earlier_count(12)),              // mode indicator added in 2.3
    count_only("BWR", 13).or_earlier(earlier_count(12)),              // mode indicator added in 2.3
    count_only("CBR", 13),
    count_only("HTC", 14),
    count_only("RMB", 14).or_earlier(earlier_count(13)),              // mode indicator added in 2.3
    count_only("APB", 15).or_earlier(earlier_count(14)),              // mode indicator added in 2.3
    count_only("GRS", 16).or_earlier(earlier_count(14)),              // system and signal IDs added in 4.10
    count_only("HMR", 17), count_only("HTD", 17),
    count_only("GSA", 18).or_earlier(earlier_count(17)),              // system ID added in 4.10
    count_only("ACA", 19),
};
// clang-format on
static_assert(rules.size() == 66);

}  // namespace vorlane::rules::field_count
