#pragma once

#include <cstdint>
#include <span>

#include "validation/rule_scheme.h"

// The sentence rules by family. Each family lists one sentence_rule per formatter; a rule
// that two or three formatters share appears once per formatter with its own minimum.
namespace vorlane::rules {

std::span<const sentence_rule> position_rules();     // GGA GLL GNS RMC DTM ZDA VTG WPL RTE
std::span<const sentence_rule> motion_rules();       // heading, motion, environment, propulsion
std::span<const sentence_rule> target_rules();       // AIS, fragments, radar targets
std::span<const sentence_rule> alert_rules();        // alerts, text, equipment status
std::span<const sentence_rule> field_count_rules();  // formatters judged by their field count only

// The rule that judges a formatter index; indexes without a listed formatter (0, queries,
// proprietary sentences) get the field-count rule without a minimum.
const sentence_rule& rule_for(std::uint32_t formatter_index);

}  // namespace vorlane::rules
