#pragma once

#include <cstdint>

#include "validation/rule_scheme.h"

namespace vorlane::rules {

// The rule that judges a formatter index; indexes without a listed formatter (0, queries,
// proprietary sentences) get the field-count rule without a minimum.
const sentence_rule& rule_for(std::uint32_t formatter_index);

// Judges the data fields of a sentence by the rule of its formatter index, in an earlier
// edition's layout too when `editions` says so; on a failure `why`, when given, receives the
// reason and the field number.
bool run_rule(std::uint32_t formatter_index, const sentence_fields& fields, nmea_sentence_info& info,
              nmea_rejection* why, nmea_editions editions);

}  // namespace vorlane::rules
