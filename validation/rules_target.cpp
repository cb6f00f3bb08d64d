// AIS encapsulation, acknowledgement and radar target sentences.
#include <array>

#include "validation/sentence_rules.h"

namespace vorlane::rules {

namespace {

// These formatters have no rule of their own yet; until they do, the placeholder rejects
// every sentence so that nothing unchecked reaches a display.
rejection not_built(rule_state&) { return rejection::rule_not_built; }

constexpr std::array rules{
    sentence_rule{.name = "ABM", .finish = not_built},
    sentence_rule{.name = "BBM", .finish = not_built},
    sentence_rule{.name = "MEB", .finish = not_built},
    sentence_rule{.name = "VDM", .finish = not_built},
    sentence_rule{.name = "VDO", .finish = not_built},
    sentence_rule{.name = "TTD", .finish = not_built},
    sentence_rule{.name = "ABK", .finish = not_built},
    sentence_rule{.name = "TTM", .finish = not_built},
    sentence_rule{.name = "TLB", .finish = not_built},
    sentence_rule{.name = "RSD", .finish = not_built},
};

}  // namespace

std::span<const sentence_rule> target_rules() { return rules; }

}  // namespace vorlane::rules
