#pragma once

// Position, time and route sentences.
#include <array>
#include <cstdint>

#include "validation/nmea_tables.h"
#include "validation/rule_scheme.h"

namespace vorlane::rules::position {

// GGA field 13: the age of differential data belongs to a differential fix only.
inline rejection age_needs_quality_2(rule_state& s, std::string_view f) {
    return f.empty() || s.remembered == 2 ? rejection::none : rejection::age_needs_quality_2;
}

// What the GNS mode indicator (field 6) says, for the check at field 13.
struct gns_modes {
    bool positioning;           // a mode character other than "N"
    std::int32_t differential;  // how many are "D"
};

inline rejection note_gns_modes(rule_state& s, std::string_view f) {
    gns_modes& modes = scratch_of<gns_modes>(s);
    for (const char c : f) {
        if (c != 'N') modes.positioning = true;
        if (c == 'D') ++modes.differential;
    }
    return rejection::none;
}

// A full GNS carries a position fix and the fields `full_needs`; a companion sentence of one
// constellation (only time and satellite data) is judged by what such a sentence must still carry.
inline rejection gns_sentence_judged(rule_state& s, flag_set full_needs) {
    const gns_modes& modes = scratch_of<gns_modes>(s);
    const bool full =
        s.info.talker_index == talker_index_of("GN") || (s.flags & fields(2, 3, 4, 5, 6, 8, 9, 10)) != 0;
    if (!full)
        return (s.flags & field(1)) && (s.flags & fields(7, 11, 12)) ? rejection::none
                                                                     : rejection::gns_companion_incomplete;
    if ((s.flags & full_needs) != full_needs) return rejection::gns_full_incomplete;
    if (modes.positioning && (s.flags & fields(2, 4)) != fields(2, 4)) return rejection::gns_full_incomplete;
    if ((s.flags & fields(11, 12)) && modes.differential != 1) return rejection::gns_differential_mode;
    return rejection::none;
}

// GNS field 13, the navigational status, which the full sentence must carry.
inline rejection gns_sentence_check(rule_state& s, std::string_view) {
    return gns_sentence_judged(s, fields(6, 13));
}

// The GNS of before the navigational status: the same check once its fields end.
inline rejection gns_check_without_status(rule_state& s) {
    return gns_sentence_judged(s, field(6));
}

// DTM field 1: the user-defined datum "999" makes the offsets mandatory.
inline rejection note_user_datum(rule_state& s, std::string_view f) {
    if (f == "999") s.flags |= rule_flag;
    return rejection::none;
}

// The prefix of a position fix: its time, then latitude and longitude, each hemisphere
// belonging to its value. GGA and GNS open with it as it stands; GLL puts the time after the
// position and RMC its status between the two, so the group is also there in its two parts.
inline constexpr field_rule fix_time = opt(time());
constexpr std::array<field_rule, 4> fix_position(int at) {
    return {opt(latitude()), paired(at, one_of("NS")), opt(longitude()), paired(at + 2, one_of("EW"))};
}
inline constexpr auto fix_prefix = rows(fix_time, fix_position(2));

// clang-format off
// $--GGA,hhmmss.ss,llll.ll,a,yyyyy.yy,a,x,xx,x.x,x.x,M,x.x,M,x.x,xxxx*hh
inline constexpr auto gga = rows(
    fix_prefix,                                                  //  1-5 UTC time, latitude, N/S, longitude, E/W
    req(digit(0, 8)).needs_if("12345678", fields(2, 4)).stores(store::remembered),  // 6 quality
    opt(integer(0, 12)).at_most(2),                              //  7 satellites in use
    opt(unsigned_decimal()),                                     //  8 HDOP
    opt(signed_decimal()),                                       //  9 antenna altitude
    paired(9, letter("M")),                                      // 10 altitude unit
    opt(signed_decimal()),                                       // 11 geoidal separation
    paired(11, letter("M")),                                     // 12 separation unit
    opt(unsigned_decimal()).then(age_needs_quality_2),           // 13 age of differential data
    opt(integer(0, 1023)).at_most(4));                           // 14 reference station

// $--GLL,llll.ll,a,yyyyy.yy,a,hhmmss.ss,A,a*hh
inline constexpr auto gll = rows(
    fix_position(1),                                        // 1-4 latitude, N/S, longitude, E/W
    fix_time,                                               // 5 UTC time
    req(one_of("AV")),                                      // 6 status
    req(one_of("ADEMSN")).needs_if("ADEMS", fields(1, 3)));  // 7 mode indicator

// $--GNS,hhmmss.ss,llll.ll,a,yyyyy.yy,a,c--c,xx,x.x,x.x,x.x,x.x,x.x,a*hh
inline constexpr auto gns = rows(
    fix_prefix,                                            //  1-5 UTC time, latitude, N/S, longitude, E/W
    opt(characters_of("ADEFMNPRS")).then(note_gns_modes),  //  6 mode indicator
    opt(integer(0, 99)).at_most(2),                        //  7 satellites in use
    opt(unsigned_decimal()),                               //  8 HDOP
    opt(signed_decimal()),                                 //  9 antenna altitude
    opt(signed_decimal()),                                 // 10 geoidal separation
    opt(unsigned_decimal()),                               // 11 age of differential data
    opt(unsigned_decimal()),                               // 12 differential reference station
    opt(one_of("SCUV")).then(gns_sentence_check));         // 13 navigational status

// $--RMC,hhmmss.ss,A,llll.ll,a,yyyyy.yy,a,x.x,x.x,xxxxxx,x.x,a,a,a*hh
inline constexpr auto rmc = rows(
    fix_time,                                                      //  1 UTC time
    req(one_of("AV")),                                             //  2 status
    fix_position(3),                                               //  3-6 latitude, N/S, longitude, E/W
    opt(unsigned_decimal()),                                       //  7 speed over ground
    opt(angle()),                                                  //  8 course over ground
    opt(date()),                                                   //  9 date
    opt(unsigned_decimal()),                                       // 10 magnetic variation
    paired(10, one_of("EW")),                                      // 11 E/W of variation
    req(one_of("ADEFMNPRS")).needs_if("ADEFMPRS", fields(3, 5)),  // 12 mode indicator
    req(one_of("SCUV")));                                          // 13 navigational status

// $--DTM,ccc,a,x.x,a,x.x,a,x.x,ccc*hh
inline constexpr field_rule dtm[] = {
    opt(upper_alnum()).length(3).then(note_user_datum),    // 1 local datum code
    opt(upper_alnum()).length(1),                          // 2 local datum subdivision
    required_when(rule_flag, unsigned_decimal()),          // 3 latitude offset
    required_when(field(3) | rule_flag, one_of("NS")),     // 4 N/S
    required_when(rule_flag, unsigned_decimal()),          // 5 longitude offset
    required_when(field(5) | rule_flag, one_of("EW")),     // 6 E/W
    required_when(rule_flag, signed_decimal()),            // 7 altitude offset
    opt(any_text()).length(3),                             // 8 reference datum code
};

// $--ZDA,hhmmss.ss,xx,xx,xxxx,xx,xx*hh
inline constexpr field_rule zda[] = {
    req(time()),                                               // 1 UTC time
    opt(integer(1, 31)).length(2),                             // 2 day
    opt(integer(1, 12)).length(2),                             // 3 month
    opt(digits(false)).length(4).all_or_none(fields(2, 3, 4)), // 4 year
    opt(zone_hours()),                                         // 5 local zone hours
    opt(integer(0, 59)).length(2),                             // 6 local zone minutes
};

// $--VTG,x.x,T,x.x,M,x.x,N,x.x,K,a*hh
inline constexpr field_rule vtg[] = {
    opt(angle()),               // 1 course over ground, true
    paired(1, letter("T")),     // 2
    opt(angle()),               // 3 course over ground, magnetic
    paired(3, letter("M")),     // 4
    opt(unsigned_decimal()),    // 5 speed, knots
    paired(5, letter("N")),     // 6
    opt(unsigned_decimal()),    // 7 speed, km/h
    paired(7, letter("K")),     // 8
    req(one_of("ADEMPSN")),     // 9 mode indicator
};

// $--WPL,llll.ll,a,yyyyy.yy,a,c--c*hh
inline constexpr field_rule wpl[] = {
    req(latitude()),      // 1 waypoint latitude
    req(one_of("NS")),    // 2 N/S
    req(longitude()),     // 3 waypoint longitude
    req(one_of("EW")),    // 4 E/W
    req(any_text()),      // 5 waypoint identifier
};

// $--RTE,x.x,x.x,a,c--c,c--c, ..., c--c*hh
inline constexpr field_rule rte[] = {
    req(integer(1, INT32_MAX)).stores(store::fragment_total),   // 1 total number of sentences
    req(integer(1, INT32_MAX)).stores(store::fragment_number),  // 2 sentence number
    required_when(first_sentence, one_of("cw")),                // 3 message mode
    opt(any_text()),                                            // 4 route identifier
};
inline constexpr field_rule rte_waypoints[] = {
    req(any_text()),  // 5 and later: waypoint identifiers
};

inline constexpr std::array rules{
    sentence_rule{.name = "GGA", .minimum = 14, .fields = gga},
    sentence_rule{.name = "GLL", .minimum = 7, .fields = gll}
        .or_earlier(earlier_count(6)),                                   // mode indicator added in 2.3
    sentence_rule{.name = "GNS", .minimum = 13, .fields = gns}
        .or_earlier(earlier_count(12, gns_check_without_status)),        // navigational status added in 4.10
    sentence_rule{.name = "RMC", .minimum = 13, .fields = rmc}
        .or_earlier(earlier_count(12),                                   // navigational status added in 4.10
                    earlier_count(11)),                                  // mode indicator added in 2.3
    sentence_rule{.name = "DTM", .minimum = 8, .fields = dtm},
    sentence_rule{.name = "ZDA", .minimum = 6, .fields = zda},
    sentence_rule{.name = "VTG", .minimum = 9, .fields = vtg}
        .or_earlier(earlier_count(8)),                                   // mode indicator added in 2.3
    sentence_rule{.name = "WPL", .minimum = 5, .fields = wpl},
    sentence_rule{.name = "RTE", .minimum = 5, .fields = rte, .repeat = rte_waypoints},
};
// clang-format on

}  // namespace vorlane::rules::position
