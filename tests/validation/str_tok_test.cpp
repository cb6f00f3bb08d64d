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
