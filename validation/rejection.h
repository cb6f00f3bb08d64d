#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "validation/nmea_sentence.h"

namespace vorlane {

enum class rejection_stage : std::uint8_t { none, syntax, checksum };

// Every reason the validator can give, one row each in the catalogue (rejection.cpp).
enum class rejection : std::uint8_t {
    none,
    // framing
    length,
    start_character,
    checksum_missing,
    checksum_not_hex,
    checksum_mismatch,
    reserved_character,
    bad_escape,
    address_missing,
    proprietary_address_too_long,
    address_length,
    // field rules
    field_required,
    field_must_be_empty,
    field_malformed,
    field_needs_fields,
    fields_not_together,
    fragment_number_above_total,
    too_few_fields,
    field_count_not_in_groups,
    // cross-field conditions of particular rules
    age_needs_quality_2,
    gns_full_incomplete,
    gns_companion_incomplete,
    gns_differential_mode,
    zone_hours,
    value_outside_mode_range,
    unit_mismatch,
    message_id_needs_mmsi,
    message_id_needs_channel,
    sequence_number_for_message_id,
    alert_identifier_manufacturer,
    entry_count_mismatch,
    fill_bits,
    translation_code,
    text_too_long,
    // the TAG block in front of a sentence
    tag_block_unclosed,
    tag_block_length,
    tag_block_checksum_missing,
    tag_block_checksum_not_hex,
    tag_block_checksum_mismatch,
    tag_block_character,
    tag_block_empty,
    tag_field_unknown,
    tag_field_repeated,
    tag_field_malformed,
};
inline constexpr std::size_t rejection_count = static_cast<std::size_t>(rejection::tag_field_malformed) + 1;

// What the validator says about a rejected sentence when asked: the reason and, for the
// field rules, the 1-based data field the rule stopped at; for a field count that does not fit,
// the count found and the minimum and group size the formatter needs.
struct nmea_rejection {
    rejection reason = rejection::none;
    int field = 0;
    int fields_found = 0;
    int fields_needed = 0;
    int field_group = 0;
};

rejection_stage stage_of(rejection reason);
const char* text_of(rejection reason);
// A few words for counts and summaries, "fewer fields".
const char* label_of(rejection reason);

// One line for a person: "GGA field 6: value needs a field that is empty".
std::string describe(const nmea_rejection& why, const nmea_sentence_info& info);

}  // namespace vorlane
