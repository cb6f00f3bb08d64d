#include "validation/rejection.h"

#include <array>
#include <utility>

#include "base/catalogue.h"

namespace vorlane {

namespace {

struct catalogue_row {
    rejection reason;
    rejection_stage stage;
    const char* text;
    const char* label;
};

using enum rejection;
constexpr rejection_stage S = rejection_stage::syntax;
constexpr rejection_stage C = rejection_stage::checksum;

constexpr std::array catalogue{
    catalogue_row{none, rejection_stage::none, "accepted", "accepted"},
    catalogue_row{length, S, "length outside 8 to 80 characters", "length"},
    catalogue_row{start_character, S, "does not start with $ or !", "start character"},
    catalogue_row{checksum_missing, C, "no * and two checksum characters at the end", "no checksum"},
    catalogue_row{checksum_not_hex, C, "checksum characters are not upper-case hexadecimal",
                  "checksum not hex"},
    catalogue_row{checksum_mismatch, C, "checksum does not match the characters", "checksum mismatch"},
    catalogue_row{reserved_character, S, "reserved or non-printable character", "reserved character"},
    catalogue_row{bad_escape, S, "^ not followed by two hexadecimal digits", "bad ^ escape"},
    catalogue_row{address_missing, S, "address field missing or shorter than 2 characters", "no address"},
    catalogue_row{proprietary_address_too_long, S, "proprietary address field longer than 9 characters",
                  "proprietary address too long"},
    catalogue_row{address_length, S, "address field is neither 6 characters nor the 7-character N2S form",
                  "address length"},
    catalogue_row{field_required, S, "required field is empty", "field empty"},
    catalogue_row{field_must_be_empty, S, "field must be empty here", "field not empty"},
    catalogue_row{field_malformed, S, "malformed or out of range", "field malformed"},
    catalogue_row{field_needs_fields, S, "value needs a field that is empty", "field needs fields"},
    catalogue_row{fields_not_together, S, "related fields must be all present or all empty",
                  "fields not together"},
    catalogue_row{fragment_number_above_total, S, "sentence number above the total number of sentences",
                  "sentence number above total"},
    catalogue_row{too_few_fields, S, "fewer fields than the formatter needs", "fewer fields"},
    catalogue_row{field_count_not_in_groups, S, "number of fields does not fit the repeating groups",
                  "fields not in groups"},
    catalogue_row{age_needs_quality_2, S, "age of differential data needs quality 2", "age needs quality 2"},
    catalogue_row{gns_full_incomplete, S,
                  "full GNS needs mode, navigational status and a position for its mode", "GNS incomplete"},
    catalogue_row{gns_companion_incomplete, S, "companion GNS needs time and satellite or differential data",
                  "companion GNS incomplete"},
    catalogue_row{gns_differential_mode, S, "differential data needs exactly one D in the mode indicator",
                  "differential mode"},
    catalogue_row{zone_hours, S, "local zone hours out of range or of the wrong length", "zone hours"},
    catalogue_row{value_outside_mode_range, S, "demand value outside the range of its mode",
                  "value outside mode range"},
    catalogue_row{unit_mismatch, S, "unit does not match the transducer type", "unit mismatch"},
    catalogue_row{message_id_needs_mmsi, S, "message ID needs the MMSI of the addressed station",
                  "message ID needs MMSI"},
    catalogue_row{message_id_needs_channel, S, "message ID needs the AIS channel",
                  "message ID needs channel"},
    catalogue_row{sequence_number_for_message_id, S, "message sequence number does not suit the message ID",
                  "sequence number"},
    catalogue_row{alert_identifier_manufacturer, S, "alert identifier and manufacturer code disagree",
                  "alert identifier"},
    catalogue_row{entry_count_mismatch, S, "number of entries differs from the announced count",
                  "entry count"},
    catalogue_row{fill_bits, S, "last field is not a number of fill-bits 0-5", "fill bits"},
    catalogue_row{translation_code, S, "translation code is not A, U, P and 3 characters, or 1-16",
                  "translation code"},
    catalogue_row{text_too_long, S, "text longer than the first sentence allows", "text too long"},
    catalogue_row{tag_block_unclosed, S, "TAG block without its closing backslash", "TAG block unclosed"},
    catalogue_row{tag_block_length, S, "TAG block longer than 80 characters", "TAG block length"},
    catalogue_row{tag_block_checksum_missing, C,
                  "no * and two checksum characters at the end of the TAG block", "TAG block no checksum"},
    catalogue_row{tag_block_checksum_not_hex, C,
                  "TAG block checksum characters are not upper-case hexadecimal",
                  "TAG block checksum not hex"},
    catalogue_row{tag_block_checksum_mismatch, C, "TAG block checksum does not match its characters",
                  "TAG block checksum mismatch"},
    catalogue_row{tag_block_character, S, "reserved or non-printable character in the TAG block",
                  "TAG block character"},
    catalogue_row{tag_block_empty, S, "TAG block without fields", "TAG block empty"},
    catalogue_row{tag_field_unknown, S, "TAG field is not one of s, n, c, d, g, r, t, x",
                  "TAG field unknown"},
    catalogue_row{tag_field_repeated, S, "TAG field appears twice", "TAG field repeated"},
    catalogue_row{tag_field_malformed, S, "TAG field value empty, malformed or out of range",
                  "TAG field malformed"},
};

static_assert(rows_follow_enum<&catalogue_row::reason>(catalogue),
              "catalogue rows must follow the enum order");
static_assert(catalogue.size() == rejection_count);

}  // namespace

rejection_stage stage_of(rejection reason) {
    return catalogue[static_cast<std::size_t>(reason)].stage;
}

const char* text_of(rejection reason) {
    return catalogue[static_cast<std::size_t>(reason)].text;
}

const char* label_of(rejection reason) {
    return catalogue[static_cast<std::size_t>(reason)].label;
}

std::string describe(const nmea_rejection& why, const nmea_sentence_info& info) {
    std::string line;
    if (why.field > 0) {
        line += info.formatter[0] != 0 ? info.formatter : "sentence";
        line += " field ";
        line += std::to_string(why.field);
        line += ": ";
    } else if (why.reason == too_few_fields || why.reason == field_count_not_in_groups) {
        // The counts say more than the catalogue text: "RMC: 12 fields, at least 13 needed".
        line += info.formatter;
        line += ": " + std::to_string(why.fields_found) + (why.fields_found == 1 ? " field, " : " fields, ");
        if (why.reason == too_few_fields)
            line += "at least " + std::to_string(why.fields_needed) + " needed";
        else
            line += std::to_string(why.fields_needed) + " and a multiple of " +
                    std::to_string(why.field_group) + " more needed";
        return line;
    } else if (why.reason == entry_count_mismatch || why.reason == fill_bits) {
        line += info.formatter;
        line += ": ";
    }
    line += text_of(why.reason);
    return line;
}

}  // namespace vorlane
