#pragma once

// Heading, motion, environment and propulsion sentences.
#include <array>
#include <span>
#include <string_view>

#include "validation/field_checks.h"
#include "validation/rule_scheme.h"

namespace vorlane::rules::motion {

// A demand in percent stays within full astern and full ahead.
inline bool within_percent(double v) {
    return v >= -100.0 && v <= 100.0;
}

// TRC/TRD field 3: an RPM demand (field 2, just before) in percent.
inline rejection rpm_in_mode_range(rule_state& s, std::string_view f) {
    if (!(s.flags & field(2)) || f != "P") return rejection::none;
    return within_percent(parse_decimal(s.previous)) ? rejection::none : rejection::value_outside_mode_range;
}

// TRC/TRD field 5: a pitch demand (field 4, just before) in percent, or in degrees short of a
// full turn either way.
inline rejection pitch_in_mode_range(rule_state& s, std::string_view f) {
    if (!(s.flags & field(4))) return rejection::none;
    const double demand = parse_decimal(s.previous);
    if (f == "P" && !within_percent(demand)) return rejection::value_outside_mode_range;
    if (f == "D" && !(demand > -360.0 && demand < 360.0)) return rejection::value_outside_mode_range;
    return rejection::none;
}

// clang-format off
// $--HDT,x.x,T*hh
inline constexpr field_rule hdt[] = {
    opt(angle()),            // 1 heading, true
    paired(1, letter("T")),  // 2 reference
};

// $--THS,x.x,a*hh
inline constexpr field_rule ths[] = {
    opt(angle()),                                           // 1 true heading
    paired(1, one_of("AEMSV")).needs_if("AEMS", field(1)),  // 2 mode indicator
};

// $--ROT,x.x,A*hh
inline constexpr field_rule rot[] = {
    opt(signed_decimal()),                      // 1 rate of turn
    req(one_of("AV")).needs_if("A", field(1)),  // 2 status
};

// $--RSA,x.x,A,x.x,A*hh
inline constexpr field_rule rsa[] = {
    opt(signed_decimal()),                      // 1 starboard (or single) rudder angle
    req(one_of("AV")).needs_if("A", field(1)),  // 2 status
    opt(signed_decimal()),                      // 3 port rudder angle
    req(one_of("AV")).needs_if("A", field(3)),  // 4 status
};

// $--VBW,x.x,x.x,A,x.x,x.x,A,x.x,A,x.x,A*hh
inline constexpr field_rule vbw[] = {
    opt(signed_decimal()),  //  1 longitudinal water speed
    opt(signed_decimal()),  //  2 transverse water speed
    req(one_of("AV")),      //  3 status of water speed
    opt(signed_decimal()),  //  4 longitudinal ground speed
    opt(signed_decimal()),  //  5 transverse ground speed
    req(one_of("AV")),      //  6 status of ground speed
    opt(signed_decimal()),  //  7 stern transverse water speed
    req(one_of("AV")),      //  8 status
    opt(signed_decimal()),  //  9 stern transverse ground speed
    req(one_of("AV")),      // 10 status
};

// $--VHW,x.x,T,x.x,M,x.x,N,x.x,K*hh
// Speed through water may be negative (going astern), unlike speed over ground in VTG.
inline constexpr field_rule vhw[] = {
    opt(angle()),            // 1 heading, true
    paired(1, letter("T")),  // 2
    opt(angle()),            // 3 heading, magnetic
    paired(3, letter("M")),  // 4
    opt(signed_decimal()),   // 5 speed through water, knots
    paired(5, letter("N")),  // 6
    opt(signed_decimal()),   // 7 speed through water, km/h
    paired(7, letter("K")),  // 8
};

// $--VDR,x.x,T,x.x,M,x.x,N*hh
inline constexpr field_rule vdr[] = {
    opt(angle()),             // 1 direction, true
    paired(1, letter("T")),   // 2
    opt(angle()),             // 3 direction, magnetic
    paired(3, letter("M")),   // 4
    opt(unsigned_decimal()),  // 5 current speed
    paired(5, letter("N")),   // 6
};

// $--OSD,x.x,A,x.x,a,x.x,a,x.x,x.x,a*hh
inline constexpr field_rule osd[] = {
    opt(angle()),                                // 1 heading, true
    paired(1, one_of("AV")),                     // 2 heading status
    opt(angle()),                                // 3 vessel course, true
    paired(3, one_of("BMWRP")),                  // 4 course reference
    opt(unsigned_decimal()),                     // 5 vessel speed
    paired(5, one_of("BMWRP")),                  // 6 speed reference
    opt(angle()),                                // 7 vessel set, true
    opt(unsigned_decimal()),                     // 8 vessel drift (speed)
    required_when(fields(5, 8), one_of("KNS")),  // 9 speed units, for both speeds
};

// $--MTW,x.x,C*hh
inline constexpr field_rule mtw[] = {
    opt(signed_decimal()),   // 1 water temperature
    paired(1, letter("C")),  // 2 unit
};

// $--MWV,x.x,a,x.x,a,A*hh
inline constexpr field_rule mwv[] = {
    opt(angle()),              // 1 wind angle
    paired(1, one_of("RT")),   // 2 reference
    opt(unsigned_decimal()),   // 3 wind speed
    paired(3, one_of("KMN")),  // 4 wind speed units
    req(one_of("AV")),         // 5 status
};

// $--DBT,x.x,f,x.x,M,x.x,F*hh
inline constexpr field_rule dbt[] = {
    opt(signed_decimal()),   // 1 depth, feet
    paired(1, letter("f")),  // 2
    opt(signed_decimal()),   // 3 depth, metres
    paired(3, letter("M")),  // 4
    opt(signed_decimal()),   // 5 depth, fathoms
    paired(5, letter("F")),  // 6
};

// $--DPT,x.x,x.x,x.x*hh
inline constexpr field_rule dpt[] = {
    opt(signed_decimal()),  // 1 water depth relative to the transducer
    opt(signed_decimal()),  // 2 offset of the transducer
    opt(signed_decimal()),  // 3 maximum range scale
};

// $--XDR,a,x.x,a,c--c, ..., a,x.x,a,c--c*hh
inline constexpr field_rule xdr_quadruple[] = {
    opt(transducer_type()),         // 1 transducer type
    opt(transducer_measurement()),  // 2 measurement data
    opt(transducer_unit()),         // 3 units
    opt(any_text()),                // 4 transducer name
};

// $--TRC,x,x.x,a,x.x,a,x.x,a,a*hh   (TRD: the first six fields)
inline constexpr field_rule thruster[] = {
    opt(digit(0, 9)),                              // 1 thruster number
    opt(signed_decimal()),                         // 2 RPM demand value
    req(one_of("PRV")).then(rpm_in_mode_range),    // 3 RPM mode indicator
    opt(signed_decimal()),                         // 4 pitch demand value
    req(one_of("PDV")).then(pitch_in_mode_range),  // 5 pitch mode indicator
    opt(angle()),                                  // 6 azimuth demand
    req(one_of("BPSCEW")),                         // 7 operating location
    req(one_of("RC")),                             // 8 sentence status flag
};

inline constexpr std::array rules{
    sentence_rule{.name = "HDT", .minimum = 2, .fields = hdt},
    sentence_rule{.name = "THS", .minimum = 2, .fields = ths},
    sentence_rule{.name = "ROT", .minimum = 2, .fields = rot},
    sentence_rule{.name = "RSA", .minimum = 4, .fields = rsa},
    sentence_rule{.name = "VBW", .minimum = 10, .fields = vbw},
    sentence_rule{.name = "VHW", .minimum = 8, .fields = vhw},
    sentence_rule{.name = "VDR", .minimum = 6, .fields = vdr},
    sentence_rule{.name = "OSD", .minimum = 9, .fields = osd},
    sentence_rule{.name = "MTW", .minimum = 2, .fields = mtw},
    sentence_rule{.name = "MWV", .minimum = 5, .fields = mwv},
    sentence_rule{.name = "DBT", .minimum = 6, .fields = dbt},
    sentence_rule{.name = "DPT", .minimum = 3, .fields = dpt}
        .or_earlier(earlier_count(2)),  // maximum range scale added in 3.0
    sentence_rule{.name = "XDR", .minimum = 4, .group = 4, .repeat = xdr_quadruple},
    sentence_rule{.name = "TRC", .minimum = 8, .fields = thruster},
    sentence_rule{.name = "TRD", .minimum = 6, .fields = std::span<const field_rule>(thruster).first(6)},
};
// clang-format on

}  // namespace vorlane::rules::motion
