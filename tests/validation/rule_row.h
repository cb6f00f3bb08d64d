#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tests/validation/verdict.h"
#include "validation/rejection.h"

// The one row shape of the rule tests: a sentence and what the validator must say about it,
// judged through its entry point exactly as the stream processing calls it.
namespace vorlane::test {

// What the fragment fields hold after an accepted sentence; -1 is what the caller set.
struct fragments {
    int total = -1;
    int number = -1;
    int sequence = -1;
};

struct rule_row {
    const char* name;
    const char* body;                    // without checksum
    rejection reason = rejection::none;  // none: the sentence is accepted
    int field = 0;      // on rejection, the data field the rule stopped at (0: after the last)
    fragments written;  // on acceptance
};

constexpr rule_row accepts(const char* name, const char* body, fragments written = {}) {
    return {name, body, rejection::none, 0, written};
}
constexpr rule_row rejects(const char* name, const char* body, rejection reason, int field) {
    return {name, body, reason, field, {}};
}

inline void PrintTo(const rule_row& row, std::ostream* os) {
    *os << row.name;
}
inline std::string row_name(const testing::TestParamInfo<rule_row>& info) {
    return info.param.name;
}

inline void expect_verdict(const rule_row& row) {
    const verdict v = judge(row.body);
    // A longer row would test the length limit instead of its rule.
    EXPECT_LE(v.text.size(), 80u);
    EXPECT_EQ(v.counts.nmea_checksum_error, 0);
    if (row.reason == rejection::none) {
        ASSERT_TRUE(v.accepted) << describe(v.why, v.info);
        EXPECT_EQ(v.counts.nmea_syntax_error, 0);
        EXPECT_EQ(v.buffer.c_str(), v.text);
        EXPECT_EQ(v.info.fragment_total, row.written.total);
        EXPECT_EQ(v.info.fragment_number, row.written.number);
        EXPECT_EQ(v.info.sequence_id, row.written.sequence);
    } else {
        ASSERT_FALSE(v.accepted);
        EXPECT_EQ(v.counts.nmea_syntax_error, 1);
        EXPECT_EQ(v.why.reason, row.reason) << describe(v.why, v.info);
        EXPECT_EQ(v.why.field, row.field) << describe(v.why, v.info);
    }
}

}  // namespace vorlane::test
