#include "validation/str_tok.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vorlane {
namespace {

struct token_case {
    const char* name;
    std::string text;
    const char* delimiters;
    bool keep_empty;
    std::vector<std::string> tokens;
};

void PrintTo(const token_case& c, std::ostream* os) {
    *os << c.name;
}

class StrTokSplits : public testing::TestWithParam<token_case> {};

TEST_P(StrTokSplits, ReturnsTheTokensAndRestoresTheText) {
    const token_case& c = GetParam();
    std::string text = c.text;
    CStrTok tok;
    tok.keep_empty = c.keep_empty;
    std::vector<std::string> got;
    for (char* t = tok.first_token(text.data(), c.delimiters); t != nullptr; t = tok.next_token(c.delimiters))
        got.emplace_back(t);
    EXPECT_EQ(got, c.tokens);
    // Exhausted: every further call answers null again.
    EXPECT_EQ(tok.next_token(c.delimiters), nullptr);
    EXPECT_EQ(tok.next_token(c.delimiters), nullptr);
    EXPECT_EQ(text, c.text) << "the text must be whole again once the tokens are exhausted";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StrTokSplits,
    testing::Values(token_case{"keep_empty_inner", "a,,b", ",", true, {"a", "", "b"}},
                    token_case{"keep_empty_trailing", "a,", ",", true, {"a", ""}},
                    token_case{"keep_empty_leading", ",a", ",", true, {"", "a"}},
                    token_case{"keep_empty_empty_text", "", ",", true, {""}},
                    token_case{"keep_empty_single", "abc", ",", true, {"abc"}},
                    token_case{"keep_empty_only_delimiters", ",,", ",", true, {"", "", ""}},
                    token_case{"default_crlf_runs", "x\r\n\r\ny", "\r\n", false, {"x", "y"}},
                    token_case{"default_leading_and_trailing", "\r\nx\ry\n", "\r\n", false, {"x", "y"}},
                    token_case{"default_only_delimiters", "\r\n\r\n", "\r\n", false, {}},
                    token_case{"default_empty_text", "", "\r\n", false, {}},
                    token_case{"nmea_fields", "$GPHDT,123.4,T", ",", true, {"$GPHDT", "123.4", "T"}}),
    [](const testing::TestParamInfo<token_case>& row) { return row.param.name; });

TEST(StrTok, AltersAtMostOneCharacterWhileTokenising) {
    std::string text = "a,b,c";
    CStrTok tok;
    tok.keep_empty = true;
    tok.first_token(text.data(), ",");
    EXPECT_EQ(text, std::string("a\0b,c", 5));
    tok.next_token(",");
    EXPECT_EQ(text, std::string("a,b\0c", 5));
}

// The scan resumes on the delimiter that ended the previous token, so a new delimiter set that
// lacks it makes that character part of the next token.
TEST(StrTok, DelimitersMayChangeBetweenCalls) {
    std::string text = "a,b;c,d";
    CStrTok tok;
    EXPECT_STREQ(tok.first_token(text.data(), ";"), "a,b");
    EXPECT_STREQ(tok.next_token(","), ";c");
    EXPECT_STREQ(tok.next_token(","), "d");
    EXPECT_EQ(tok.next_token(","), nullptr);
}

TEST(StrTok, RestartPutsTheSavedCharacterBack) {
    std::string first = "a,b";
    std::string second = "x,y";
    CStrTok tok;
    tok.keep_empty = true;
    tok.first_token(first.data(), ",");
    tok.restart(second.data());
    EXPECT_EQ(first, "a,b");
    EXPECT_STREQ(tok.next_token(","), "x");
}

}  // namespace
}  // namespace vorlane

namespace vorlane {
namespace {

// Drawing fields as views must agree with next_token, whether the tokenizer starts with
// next_field or with a next_token (as after first_token), and must leave the text untouched
// apart from the NUL of a preceding next_token; skip_remaining must still count what is left.
TEST(StrTok, NextFieldAgreesWithNextToken) {
    for (const char* sample : {"a,b,c", "a,,", ",", "", "abc", "a,b,,c,", ",,,", "$GPHDT,123.4,T"}) {
        std::vector<std::string> expected;
        std::string reference = sample;
        CStrTok one;
        one.keep_empty = true;
        for (char* t = one.first_token(reference.data(), ","); t != nullptr; t = one.next_token(","))
            expected.emplace_back(t);

        for (const bool after_first_token : {false, true}) {
            for (std::size_t drawn = 0; drawn <= expected.size(); ++drawn) {
                std::string text = sample;
                CStrTok two;
                two.keep_empty = true;
                std::vector<std::string> got;
                if (after_first_token) {
                    got.emplace_back(two.first_token(text.data(), ","));
                } else {
                    two.restart(text.data());
                }
                std::string_view field;
                while (got.size() < drawn && two.next_field(',', field)) {
                    got.emplace_back(field);
                    EXPECT_EQ(text, sample) << sample;
                }
                std::string_view last;
                const std::size_t rest = two.skip_remaining(',', last);
                EXPECT_EQ(got.size() + rest, expected.size()) << sample << " after " << drawn;
                if (rest != 0) {
                    EXPECT_EQ(last, expected.back()) << sample;
                }
                EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin())) << sample;
                EXPECT_FALSE(two.next_field(',', field)) << sample;
                EXPECT_EQ(text, sample);
            }
        }
    }
}

// Counting the rest in one scan must agree with drawing it token by token.
TEST(StrTok, SkipRemainingAgreesWithNextToken) {
    for (const char* sample : {"a,b,c", "a,,", ",", "", "abc", "a,b,,c,", ",,,"}) {
        for (int drawn = 0; drawn < 3; ++drawn) {
            std::string by_tokens = sample;
            std::string by_skip = sample;
            CStrTok one;
            CStrTok two;
            one.keep_empty = two.keep_empty = true;
            char* t1 = one.first_token(by_tokens.data(), ",");
            two.first_token(by_skip.data(), ",");
            for (int i = 0; i < drawn && t1 != nullptr; ++i) {
                t1 = one.next_token(",");
                two.next_token(",");
            }
            if (t1 == nullptr) continue;
            std::size_t expected = 0;
            std::string last;
            for (char* t = one.next_token(","); t != nullptr; t = one.next_token(",")) {
                ++expected;
                last = t;
            }
            std::string_view skipped_last;
            EXPECT_EQ(two.skip_remaining(',', skipped_last), expected) << sample << " after " << drawn;
            if (expected != 0) {
                EXPECT_EQ(skipped_last, last) << sample;
            }
            EXPECT_EQ(by_skip, sample);
            EXPECT_EQ(two.next_token(","), nullptr);
        }
    }
}

}  // namespace
}  // namespace vorlane
