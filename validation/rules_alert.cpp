// Alert, text and equipment status sentences.
#include <array>

#include "validation/sentence_rules.h"

namespace vorlane::rules {

namespace {

// These formatters have no rule of their own yet; until they do, the placeholder rejects
// every sentence so that nothing unchecked reaches a display.
rejection not_built(rule_state&) { return rejection::rule_not_built; }

constexpr std::array rules{
    sentence_rule{.name = "ALF", .finish = not_built},
    sentence_rule{.name = "ALC", .finish = not_built},
    sentence_rule{.name = "ACN", .finish = not_built},
    sentence_rule{.name = "ARC", .finish = not_built},
    sentence_rule{.name = "ALR", .finish = not_built},
    sentence_rule{.name = "ACK", .finish = not_built},
    sentence_rule{.name = "HBT", .finish = not_built},
    sentence_rule{.name = "VER", .finish = not_built},
    sentence_rule{.name = "GEN", .finish = not_built},
    sentence_rule{.name = "NSR", .finish = not_built},
    sentence_rule{.name = "NRM", .finish = not_built},
    sentence_rule{.name = "NRX", .finish = not_built},
    sentence_rule{.name = "TXT", .finish = not_built},
    sentence_rule{.name = "TUT", .finish = not_built},
};

}  // namespace

std::span<const sentence_rule> alert_rules() { return rules; }

}  // namespace vorlane::rules
