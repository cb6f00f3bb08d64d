#pragma once

#include <cstdint>

#include "validation/rule_scheme.h"

namespace vorlane::rules {

// The rule that judges a formatter index; indexes without a listed formatter (0, queries,
// proprietary sentences) get the field-count rule without a minimum.
const sentence_rule& rule_for(std::uint32_t formatter_index);

}  // namespace vorlane::rules
