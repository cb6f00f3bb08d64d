#pragma once

// AIS encapsulation, acknowledgement and radar target sentences.
#include <array>
#include <cstdint>

#include "validation/rule_scheme.h"

namespace vorlane::rules::target {

// ABM, BBM, MEB after the count test: addressing, message ID and payload differ between the
// three and go unchecked, but every one of them ends in the number of fill-bits.
inline rejection fill_bits_last(rule_state& s) {
    return passes(digit(0, 5), s.previous) ? rejection::none : rejection::fill_bits;
}

// ABK field 3: only broadcast messages (8 and 14) are acknowledged without an addressed
// station, and the addressed binary messages 7 and 13 also name the channel they came in on.
inline rejection abk_addressing(rule_state& s, std::string_view) {
    const std::int32_t m = s.remembered;
    if (m != 8 && m != 14 && (s.flags & field(1)) == 0) return rejection::message_id_needs_mmsi;
    if ((m == 7 || m == 13) && (s.flags & field(2)) == 0) return rejection::message_id_needs_channel;
    return rejection::none;
}

// ABK field 4: the message ID (remembered at field 3) decides whether a sequence number
// belongs here; addressed messages count only 0-3, message 15 (interrogation) has none.
inline rejection abk_sequence_number(rule_state& s, std::string_view f) {
    const std::int32_t m = s.remembered;
    bool fits = true;
    if (m == 6 || m == 7 || m == 12 || m == 13)
        fits = passes(digit(0, 3), f);
    else if (m == 8 || m == 14)
        fits = !f.empty();
    else if (m == 15)
        fits = f.empty();
    return fits ? rejection::none : rejection::sequence_number_for_message_id;
}

// The fragment fields that open ABM and MEB; the fields after them are checked by
// fill_bits_last alone. A one-sentence message may leave its sequential identifier empty, a
// message of several sentences needs it to pair its sentences up.
// clang-format off
// !--ABM,x,x,x,xxxxxxxxx,x,x.x,s--s,x*hh
// !--MEB,x,x,x,x,xxxxxxxxx,x.x,x,x,xxxxxxxxx,x,a,s--s,x*hh
inline constexpr field_rule abm_meb[] = {
    req(digit(1, 9)).stores(store::fragment_total),                         // 1 total number of sentences
    req(digit(1, 9)).stores(store::fragment_number),                        // 2 sentence number
    required_when(multi_sentence, digit(0, 3)).stores(store::sequence_id),  // 3 sequential message identifier
};

// The same for BBM, whose sequential identifier runs over the full digit.
// !--BBM,x,x,x,x,x.x,s--s,x*hh
inline constexpr field_rule bbm[] = {
    req(digit(1, 9)).stores(store::fragment_total),                         // 1 total number of sentences
    req(digit(1, 9)).stores(store::fragment_number),                        // 2 sentence number
    required_when(multi_sentence, digit(0, 9)).stores(store::sequence_id),  // 3 sequential message identifier
};

// !--VDM,x,x,x,a,s--s,x*hh   (VDO alike)
inline constexpr field_rule vdm[] = {
    req(digit(1, 9)).stores(store::fragment_total),                         // 1 total number of sentences
    req(digit(1, 9)).stores(store::fragment_number),                        // 2 sentence number
    required_when(multi_sentence, digit(0, 9)).stores(store::sequence_id),  // 3 sequential message identifier
    opt(one_of("AB")),                                                      // 4 AIS channel
    req(sixbit()),                                                          // 5 encapsulated message
    req(digit(0, 5)),                                                       // 6 number of fill-bits
};

// !--TTD,hh,hh,x,s--s,x*hh
inline constexpr field_rule ttd[] = {
    req(hex_integer(1, 255)).length(2).stores(store::fragment_total),       // 1 total number of sentences
    req(hex_integer(1, 255)).length(2).stores(store::fragment_number),      // 2 sentence number
    required_when(multi_sentence, digit(0, 9)).stores(store::sequence_id),  // 3 sequential message identifier
    req(sixbit()).at_most(60),  // 4 encapsulated tracked target data
    req(digit(0, 5)),           // 5 number of fill-bits
};

// $--ABK,xxxxxxxxx,a,x.x,x,x*hh
inline constexpr field_rule abk[] = {
    opt(digits(true)).length(9),                                       // 1 MMSI of the addressed station
    opt(one_of("AB")),                                                 // 2 AIS channel of reception
    req(digits(true)).stores(store::remembered).then(abk_addressing),  // 3 message ID
    opt(digit(0, 9)).then(abk_sequence_number),                        // 4 message sequence number
    req(digit(0, 5)),                                                  // 5 type of acknowledgement
};

// $--TTM,xx,x.x,x.x,a,x.x,x.x,a,x.x,x.x,a,c--c,a,a,hhmmss.ss,a*hh
inline constexpr field_rule ttm[] = {
    req(digits(false)).at_most(3),                  //  1 target number
    opt(unsigned_decimal()),                        //  2 target distance
    opt(angle()).all_or_none(fields(2, 3)),         //  3 bearing from own ship
    paired(3, one_of("RT")),                        //  4 bearing reference
    opt(unsigned_decimal()),                        //  5 target speed
    opt(angle()),                                   //  6 target course
    paired(6, one_of("RT")),                        //  7 course reference
    opt(unsigned_decimal()),                        //  8 distance of closest point of approach
    opt(signed_decimal()),                          //  9 time to closest point of approach
    required_when(fields(2, 5, 8), one_of("KNS")),  // 10 speed and distance units
    opt(any_text()),                                // 11 target name
    req(one_of("LQT")),                             // 12 target status
    opt(letter("R")),                               // 13 reference target
    opt(time()),                                    // 14 time of data
    opt(one_of("AMR")),                             // 15 type of acquisition
};

// $--TLB,x.x,c--c,x.x,c--c, ... ,x.x,c--c*hh
inline constexpr field_rule tlb_pair[] = {
    req(digits(false)),  // odd fields: target number
    opt(any_text()),     // even fields: label assigned to the target
};

// $--RSD,x.x,x.x,x.x,x.x,x.x,x.x,x.x,x.x,x.x,x.x,x.x,a,a*hh
inline constexpr field_rule rsd[] = {
    opt(unsigned_decimal()),                                  //  1 origin 1 range from own ship
    opt(angle()).all_or_none(fields(1, 2)),                   //  2 origin 1 bearing
    opt(unsigned_decimal()),                                  //  3 variable range marker 1
    opt(angle()),                                             //  4 bearing line 1
    opt(unsigned_decimal()),                                  //  5 origin 2 range
    opt(angle()).all_or_none(fields(5, 6)),                   //  6 origin 2 bearing
    opt(unsigned_decimal()),                                  //  7 variable range marker 2
    opt(angle()),                                             //  8 bearing line 2
    opt(unsigned_decimal()),                                  //  9 cursor range
    opt(angle()).all_or_none(fields(9, 10)),                  // 10 cursor bearing
    opt(unsigned_decimal()),                                  // 11 range scale
    required_when(fields(1, 3, 5, 7, 9, 11), one_of("KNS")),  // 12 range units
    opt(one_of("CHN")),                                       // 13 display rotation
};

inline constexpr std::array rules{
    sentence_rule{.name = "ABM", .minimum = 8, .fields = abm_meb, .finish = fill_bits_last},
    sentence_rule{.name = "BBM", .minimum = 7, .fields = bbm, .finish = fill_bits_last},
    sentence_rule{.name = "MEB", .minimum = 13, .fields = abm_meb, .finish = fill_bits_last},
    sentence_rule{.name = "VDM", .minimum = 6, .fields = vdm},
    sentence_rule{.name = "VDO", .minimum = 6, .fields = vdm},
    sentence_rule{.name = "TTD", .minimum = 5, .fields = ttd},
    sentence_rule{.name = "ABK", .minimum = 5, .fields = abk},
    sentence_rule{.name = "TTM", .minimum = 15, .fields = ttm},
    sentence_rule{.name = "TLB", .minimum = 2, .group = 2, .repeat = tlb_pair},
    sentence_rule{.name = "RSD", .minimum = 13, .fields = rsd},
};
// clang-format on

}  // namespace vorlane::rules::target
