// Heading, motion, environment and propulsion sentences.
#include <array>

#include "validation/sentence_rules.h"

namespace vorlane::rules {

namespace {

// These formatters have no rule of their own yet; until they do, the placeholder rejects
// every sentence so that nothing unchecked reaches a display.
rejection not_built(rule_state&) { return rejection::rule_not_built; }

constexpr std::array rules{
    sentence_rule{.name = "HDT", .finish = not_built},
    sentence_rule{.name = "THS", .finish = not_built},
    sentence_rule{.name = "ROT", .finish = not_built},
    sentence_rule{.name = "RSA", .finish = not_built},
    sentence_rule{.name = "VBW", .finish = not_built},
    sentence_rule{.name = "VHW", .finish = not_built},
    sentence_rule{.name = "VDR", .finish = not_built},
    sentence_rule{.name = "OSD", .finish = not_built},
    sentence_rule{.name = "MTW", .finish = not_built},
    sentence_rule{.name = "MWV", .finish = not_built},
    sentence_rule{.name = "DBT", .finish = not_built},
    sentence_rule{.name = "DPT", .finish = not_built},
    sentence_rule{.name = "XDR", .finish = not_built},
    sentence_rule{.name = "TRC", .finish = not_built},
    sentence_rule{.name = "TRD", .finish = not_built},
};

}  // namespace

std::span<const sentence_rule> motion_rules() { return rules; }

}  // namespace vorlane::rules
