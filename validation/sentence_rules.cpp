#include "validation/sentence_rules.h"

#include <array>
#include <span>
#include <utility>

#include "validation/nmea_tables.h"
#include "validation/rule_interpreter.h"
#include "validation/rules_alert.h"
#include "validation/rules_field_count.h"
#include "validation/rules_motion.h"
#include "validation/rules_position.h"
#include "validation/rules_target.h"

// The sentence rules by family. Each family lists one sentence_rule per formatter; a rule
// that two or three formatters share appears once per formatter with its own minimum.
//
// The families are headers included by this file alone, not files compiled on their own: the
// dispatch table below is built at compile time, which needs every rule's definition here, and
// that is where a missing or doubled rule stops the build. Being included once, each table is
// defined in one place and the program holds one copy of it.
namespace vorlane::rules {

namespace {

// A family of one, so that the interpreter can be instantiated for it as for the others.
constexpr std::array unlisted{count_only("", 0)};
constexpr const sentence_rule& any_field_count = unlisted[0];

using compiled_rule = bool (*)(const sentence_fields&, nmea_sentence_info&, nmea_rejection*, nmea_editions);

struct placed_rule {
    const sentence_rule* rule = nullptr;
    compiled_rule run = nullptr;
};
using dispatch_table = std::array<placed_rule, formatter_count + 1>;

struct placement {
    dispatch_table by_index{};
    // Kept apart from the pointers: a sanitizing build cannot compare the address of an inline
    // variable with null at compile time.
    std::array<bool, formatter_count + 1> placed{};
};

consteval void place_rule(placement& p, const sentence_rule& rule, compiled_rule run) {
    const std::uint32_t index = formatter_index_of(rule.name);
    if (p.placed[index]) throw "formatter with two rules";
    p.placed[index] = true;
    p.by_index[index] = {&rule, run};
}

// Every rule of a family, with the interpreter instantiated for it.
template <const auto& Family, std::size_t... I>
consteval void place_family(placement& p, std::index_sequence<I...>) {
    (place_rule(p, Family[I], &run_compiled<Family, I>), ...);
}

// Places every rule at the index of its name. A name missing from the formatter table, a
// formatter with two rules and one without any stop the build, so no formatter can fall
// through to the rule without a minimum by a slip of the pen.
consteval dispatch_table place_rules() {
    placement p;
    place_family<position::rules>(p, std::make_index_sequence<position::rules.size()>{});
    place_family<motion::rules>(p, std::make_index_sequence<motion::rules.size()>{});
    place_family<target::rules>(p, std::make_index_sequence<target::rules.size()>{});
    place_family<alert::rules>(p, std::make_index_sequence<alert::rules.size()>{});
    place_family<field_count::rules>(p, std::make_index_sequence<field_count::rules.size()>{});
    for (std::size_t index = 1; index <= formatter_count; ++index)
        if (!p.placed[index]) throw "formatter without a rule";
    p.by_index[0] = {&any_field_count, &run_compiled<unlisted, 0>};
    return p.by_index;
}

constexpr dispatch_table dispatch = place_rules();

constexpr std::size_t rules_with_fields =
    position::rules.size() + motion::rules.size() + target::rules.size() + alert::rules.size();
static_assert(rules_with_fields == 48 && rules_with_fields + field_count::rules.size() == formatter_count,
              "48 field rules and the count rules cover every formatter once");

}  // namespace

const sentence_rule& rule_for(std::uint32_t formatter_index) {
    return formatter_index <= formatter_count ? *dispatch[formatter_index].rule : any_field_count;
}

bool run_rule(std::uint32_t formatter_index, const sentence_fields& fields, nmea_sentence_info& info,
              nmea_rejection* why, nmea_editions editions) {
    return dispatch[formatter_index <= formatter_count ? formatter_index : 0].run(fields, info, why,
                                                                                  editions);
}

}  // namespace vorlane::rules
