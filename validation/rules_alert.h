#pragma once

// Alert, text and equipment status sentences.
#include <array>
#include <cstdint>
#include <span>

#include "validation/field_checks.h"
#include "validation/rule_scheme.h"

namespace vorlane::rules::alert {

// Standardised alert identifiers (up to 9999) stand on their own; proprietary ones (10000 and
// above) only mean something beside the manufacturer code, which always directly precedes
// the identifier.
inline rejection identifier_matches_manufacturer(rule_state& s, std::string_view f) {
    std::int32_t identifier = 0;
    parse_int(f, identifier);
    return (identifier >= 10000) == !s.previous.empty() ? rejection::none
                                                        : rejection::alert_identifier_manufacturer;
}

inline constexpr field_rule alert_identifier =
    req(integer(1, 9999999)).at_most(7).then(identifier_matches_manufacturer);
inline constexpr field_rule manufacturer_code = opt(alnum()).length(3);
inline constexpr field_rule alert_instance = opt(integer(1, 999999)).at_most(6);
inline constexpr field_rule revision_counter = req(integer(1, 99)).at_most(2);

// ALF field 13: the first sentence carries the short alert text a display shows in its list;
// a later sentence carries the long description.
inline rejection first_text_fits(rule_state& s, std::string_view f) {
    return (s.flags & first_sentence) && f.size() > 16 ? rejection::text_too_long : rejection::none;
}

// ALC: the entries the sentence carries, against the number it announced (remembered).
struct alc_entries {
    std::int32_t carried;
};

// ALC revision counter, the last field of an entry: one more complete entry.
inline rejection count_entry(rule_state& s, std::string_view) {
    ++scratch_of<alc_entries>(s).carried;
    return rejection::none;
}

inline rejection entries_as_announced(rule_state& s) {
    return scratch_of<alc_entries>(s).carried == s.remembered ? rejection::none
                                                              : rejection::entry_count_mismatch;
}

// clang-format off
// $--ALF,x,x,x,hhmmss.ss,a,a,a,aaa,x.x,x.x,x.x,x.x,c--c*hh
// A second sentence continues the text of the first and repeats only what identifies the alert.
inline constexpr field_rule alf[] = {
    req(digit(1, 2)).stores(store::fragment_total),   //  1 total number of sentences
    req(digit(1, 2)).stores(store::fragment_number),  //  2 sentence number
    req(digit(0, 9)).stores(store::sequence_id),      //  3 sequential message identifier
    empty_when(later_sentence, time()),               //  4 time of last change
    required_when(first_sentence, empty_when(later_sentence, one_of("ABC"))),     //  5 alert category
    required_when(first_sentence, empty_when(later_sentence, one_of("EAWC"))),    //  6 alert priority
    required_when(first_sentence, empty_when(later_sentence, one_of("VSAOUN"))),  //  7 alert state
    manufacturer_code,                      //  8 manufacturer mnemonic code
    alert_identifier,                       //  9 alert identifier
    alert_instance,                         // 10 alert instance
    revision_counter,                       // 11 revision counter
    req(digit(0, 9)),                       // 12 escalation counter
    req(any_text()).then(first_text_fits),  // 13 alert text
};

// $--ALC,xx,xx,xx,x.x,aaa,x.x,x.x,x.x, ... ,aaa,x.x,x.x,x.x*hh
inline constexpr field_rule alc[] = {
    req(integer(1, 99)).length(2).stores(store::fragment_total),   // 1 total number of sentences
    req(integer(1, 99)).length(2).stores(store::fragment_number),  // 2 sentence number
    req(integer(0, 99)).length(2).stores(store::sequence_id),      // 3 sequential message identifier
    req(digits(false)).stores(store::remembered),                 // 4 number of alert entries
};
inline constexpr field_rule alc_entry[] = {
    manufacturer_code,                   // 4k+1 manufacturer mnemonic code
    alert_identifier,                    // 4k+2 alert identifier
    alert_instance,                      // 4k+3 alert instance
    revision_counter.then(count_entry),  // 4k+4 revision counter
};

// $--ACN,hhmmss.ss,aaa,x.x,x.x,c,a*hh
// $--ARC,hhmmss.ss,aaa,x.x,x.x,c*hh
inline constexpr field_rule acn_arc[] = {
    opt(time()),          // 1 time
    manufacturer_code,    // 2 manufacturer mnemonic code
    alert_identifier,     // 3 alert identifier
    alert_instance,       // 4 alert instance
    req(one_of("AQOS")),  // 5 alert command, or the refused one
    req(letter("C")),     // 6 sentence status flag (ACN only)
};

// $--ALR,hhmmss.ss,xxx,A,A,c--c*hh
inline constexpr field_rule alr[] = {
    opt(time()),                  // 1 time of alarm condition change
    opt(digits(true)).length(3),  // 2 local alarm number
    req(one_of("AV")),            // 3 alarm condition
    req(one_of("AV")),            // 4 acknowledge state
    opt(any_text()),              // 5 alarm description text
};

// $--ACK,xxx*hh
inline constexpr field_rule ack[] = {
    opt(digits(true)).length(3),  // 1 local alarm number
};

// $--HBT,x.x,A,x*hh
inline constexpr field_rule hbt[] = {
    opt(unsigned_decimal()),  // 1 repeat interval
    opt(one_of("AV")),        // 2 equipment status
    opt(digit(0, 9)),         // 3 sequential sentence identifier
};

// $--VER,x,x,aa,c--c,c--c,c--c,c--c,c--c,c--c,x*hh
// Devices number their VER sentences without always keeping to the announced total, so the
// sentence number is stored but not compared with it.
inline constexpr field_rule ver[] = {
    req(digit(1, 9)).stores(store::fragment_total),                         //  1 total number of sentences
    req(digit(1, 9)).stores(store::fragment_number_unchecked),              //  2 sentence number
    opt(upper_alnum()).length(2),                                           //  3 device type
    opt(alnum()).at_most(5),                                                //  4 vendor identifier
    opt(any_text()).at_most(15),                                            //  5 unique identifier
    opt(any_text()).at_most(32),                                            //  6 manufacturer serial number
    opt(any_text()).at_most(32),                                            //  7 model code
    opt(any_text()).at_most(32),                                            //  8 software revision
    opt(any_text()).at_most(32),                                            //  9 hardware revision
    required_when(multi_sentence, digit(0, 9)).stores(store::sequence_id),  // 10 message identifier
};

// $--GEN,hhhh,hhmmss.ss,hhhh, ... ,hhhh*hh
inline constexpr field_rule gen[] = {
    req(hex()).length(4),  // 1 index
    opt(time()),           // 2 time
};
inline constexpr field_rule gen_data[] = {
    opt(hex()).length(4),  // 3 and later: data words
};

// $--NSR,a,a,a,a,a,a,a,a,a,a,a,a,a*hh
// Integrity (passed, failed, doubtful, not available) and plausibility (A, V, not available) of
// each navigation datum that an integrated navigation system monitors.
inline constexpr field_rule nsr[] = {
    req(one_of("PFDN")),  //  1 heading integrity
    req(one_of("AVN")),   //  2 heading plausibility
    req(one_of("PFDN")),  //  3 position integrity
    req(one_of("AVN")),   //  4 position plausibility
    req(one_of("PFDN")),  //  5 speed through water integrity
    req(one_of("AVN")),   //  6 speed through water plausibility
    req(one_of("PFDN")),  //  7 course and speed over ground integrity
    req(one_of("AVN")),   //  8 course and speed over ground plausibility
    req(one_of("PFDN")),  //  9 depth integrity
    req(one_of("AVN")),   // 10 depth plausibility
    req(one_of("WEMN")),  // 11 speed through water mode
    req(one_of("PFDN")),  // 12 time integrity
    req(one_of("AVN")),   // 13 time plausibility
};

// $--NRM,x,x,hhhhhhhh,hhhhhhhh,a*hh
inline constexpr field_rule nrm[] = {
    req(digit(0, 9)),      // 1 function code
    req(digit(1, 9)),      // 2 frequency table index
    req(hex()).length(8),  // 3 transmitter coverage area mask
    req(hex()).length(8),  // 4 message type mask
    req(one_of("RC")),     // 5 sentence status flag
};

// $--NRX,xxx,xxx,xx,aaxx,x,hhmmss.ss,xx,xx,xxxx,x.x,x.x,A,c--c*hh
// Only the first sentence of a NAVTEX message describes it; the others carry its body.
inline constexpr field_rule nrx[] = {
    req(integer(1, 999)).length(3).stores(store::fragment_total),   //  1 total number of sentences
    req(integer(1, 999)).length(3).stores(store::fragment_number),  //  2 sentence number
    req(integer(0, 99)).length(2).stores(store::sequence_id),       //  3 sequential message identifier
    required_when(first_sentence, navtex_code()),                           //  4 NAVTEX message code
    required_when(first_sentence, digit(0, 9)),                             //  5 frequency table index
    required_when(first_sentence, time()),                                  //  6 time
    required_when(first_sentence, integer(1, 31)).length(2),                //  7 day
    required_when(first_sentence, integer(1, 12)).length(2),                //  8 month
    required_when(first_sentence, digits(false)).length(4).all_or_none(fields(7, 8, 9)),  //  9 year
    opt(unsigned_decimal()),                      // 10 total characters received
    opt(unsigned_decimal()),                      // 11 total bad characters
    required_when(first_sentence, one_of("AV")),  // 12 status
    opt(any_text()),                              // 13 message body
};

// $--TXT,xx,xx,xx,c--c*hh
inline constexpr field_rule txt[] = {
    req(integer(1, 99)).length(2).stores(store::fragment_total),   // 1 total number of sentences
    req(integer(1, 99)).length(2).stores(store::fragment_number),  // 2 sentence number
    required_when(multi_sentence, integer(1, 99)).length(2).stores(store::sequence_id),  // 3 text identifier
    opt(any_text()),                                                                     // 4 text message
};

// $--TUT,aa,hh,hh,x,a--a,h--h*hh
inline constexpr field_rule tut[] = {
    opt(upper_alnum()).length(2),                                           // 1 source identifier
    req(hex_integer(1, 255)).length(2).stores(store::fragment_total),       // 2 total number of sentences
    req(hex_integer(1, 255)).length(2).stores(store::fragment_number),      // 3 sentence number
    required_when(multi_sentence, digit(0, 9)).stores(store::sequence_id),  // 4 sequential message identifier
    required_when(first_sentence, translation_code()),                       // 5 translation code
    opt(hex()),                                                              // 6 text body
};

inline constexpr std::array rules{
    sentence_rule{.name = "ALF", .minimum = 13, .fields = alf},
    sentence_rule{.name = "ALC",
                  .minimum = 4,
                  .group = 4,
                  .fields = alc,
                  .repeat = alc_entry,
                  .finish = entries_as_announced},
    sentence_rule{.name = "ACN", .minimum = 6, .fields = acn_arc},
    sentence_rule{.name = "ARC", .minimum = 5, .fields = std::span(acn_arc).first<5>()},
    sentence_rule{.name = "ALR", .minimum = 5, .fields = alr},
    sentence_rule{.name = "ACK", .minimum = 1, .fields = ack},
    sentence_rule{.name = "HBT", .minimum = 3, .fields = hbt},
    sentence_rule{.name = "VER", .minimum = 10, .fields = ver},
    sentence_rule{.name = "GEN", .minimum = 3, .fields = gen, .repeat = gen_data},
    sentence_rule{.name = "NSR", .minimum = 13, .fields = nsr},
    sentence_rule{.name = "NRM", .minimum = 5, .fields = nrm},
    sentence_rule{.name = "NRX", .minimum = 13, .fields = nrx},
    sentence_rule{.name = "TXT", .minimum = 4, .fields = txt},
    sentence_rule{.name = "TUT", .minimum = 6, .fields = tut},
};
// clang-format on

}  // namespace vorlane::rules::alert
