// The suite every formatter goes through: its sample passes and is judged by the rule of its
// own name, and the same sentence one field short of the minimum fails on the count.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "tests/validation/formatter_samples.h"
#include "tests/validation/verdict.h"
#include "validation/nmea_tables.h"
#include "validation/nmea_validator.h"
#include "validation/sentence_rules.h"

namespace vorlane {
namespace {

using test::formatter_sample;

using test::verdict;

class EveryFormatter : public testing::TestWithParam<formatter_sample> {};

TEST_P(EveryFormatter, SamplePassesUnderItsOwnRule) {
    const verdict o = test::judge(GetParam().body);
    EXPECT_TRUE(o.accepted) << describe(o.why, o.info);
    EXPECT_EQ(o.counts.nmea_syntax_error + o.counts.nmea_checksum_error, 0);
    EXPECT_EQ(o.buffer.c_str(), o.text);
    EXPECT_EQ(rules::rule_for(o.info.formatter_index).name, GetParam().name);
}

TEST_P(EveryFormatter, OneFieldShortOfTheMinimumFails) {
    const std::string_view body = GetParam().body;
    std::size_t cut = 0;
    for (int kept = 0; kept < GetParam().minimum; ++kept) cut = body.find(',', cut + 1);
    const verdict o = test::judge(body.substr(0, cut));
    EXPECT_FALSE(o.accepted);
    EXPECT_EQ(o.counts.nmea_syntax_error, 1);
    EXPECT_EQ(o.why.reason, rejection::too_few_fields) << describe(o.why, o.info);
}

INSTANTIATE_TEST_SUITE_P(Samples, EveryFormatter, testing::ValuesIn(test::formatter_samples),
                         [](const testing::TestParamInfo<formatter_sample>& row) { return row.param.name; });

// Each listed formatter reaches the rule of its own name: 48 with field rules, the other 66
// with a field count only; nothing falls through to the rule without a minimum.
TEST(Dispatch, EveryListedFormatterHasItsOwnRule) {
    std::set<std::string_view> with_fields;
    for (std::uint32_t index = 1; index <= formatter_count; ++index) {
        const rules::sentence_rule& rule = rules::rule_for(index);
        EXPECT_EQ(rule.name, formatter_name(index)) << "index " << index;
        if (!rule.fields.empty() || !rule.repeat.empty()) with_fields.insert(rule.name);
    }
    EXPECT_EQ(with_fields.size(), 48u);
    for (const formatter_sample& s : test::formatter_samples)
        EXPECT_TRUE(with_fields.count(s.name)) << s.name;
    for (const std::uint32_t unlisted : {0u, FORMATTER_QUERY, FORMATTER_PROPRIETARY}) {
        EXPECT_EQ(rules::rule_for(unlisted).minimum, 0) << unlisted;
        EXPECT_TRUE(rules::rule_for(unlisted).fields.empty()) << unlisted;
    }
}

}  // namespace
}  // namespace vorlane
