#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vorlane {
namespace {

struct read_case {
    const char* name;
    const char* text;
    const char* section;
    const char* key;
    std::optional<std::string> value;
};

void PrintTo(const read_case& c, std::ostream* os) {
    *os << c.name;
}

class IniRead : public testing::TestWithParam<read_case> {};

TEST_P(IniRead, FindsTheValue) {
    const read_case& c = GetParam();
    EXPECT_EQ(ini_file::parse(c.text).read_value(c.section, c.key), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRead,
    testing::Values(read_case{"plain", "[Vorlane]\ninput_ip=10.0.0.1\n", "Vorlane", "input_ip", "10.0.0.1"},
                    read_case{"names_ignore_case", "[VORLANE]\nInput_IP=10.0.0.1\n", "vorlane", "input_ip",
                              "10.0.0.1"},
                    read_case{"blanks_trimmed", "  [ Vorlane ]  \n  input_ip \t=  10.0.0.1 \t\n", "Vorlane",
                              "input_ip", "10.0.0.1"},
                    read_case{"empty_value", "[Vorlane]\ninput_ip=\n", "Vorlane", "input_ip", ""},
                    read_case{"blank_value", "[Vorlane]\ninput_ip=   \n", "Vorlane", "input_ip", ""},
                    read_case{"equals_in_value", "[a]\nk=x=y\n", "a", "k", "x=y"},
                    read_case{"crlf_line_ends", "[a]\r\nk=v\r\n", "a", "k", "v"},
                    read_case{"byte_order_mark", "\xEF\xBB\xBF[a]\nk=v\n", "a", "k", "v"},
                    read_case{"no_final_line_break", "[a]\nk=v", "a", "k", "v"},
                    read_case{"comment_after_header", "[a] ; general\nk=v\n", "a", "k", "v"},
                    read_case{"first_key_wins", "[a]\nk=1\nk=2\n", "a", "k", "1"},
                    read_case{"repeated_section_read_on", "[a]\nx=1\n[b]\nk=2\n[A]\nk=3\n", "a", "k", "3"},
                    read_case{"other_section", "[b]\nk=v\n", "a", "k", std::nullopt},
                    read_case{"before_any_section", "k=v\n[a]\n", "a", "k", std::nullopt},
                    read_case{"semicolon_comment", "[a]\n;k=v\n", "a", "k", std::nullopt},
                    read_case{"hash_comment", "[a]\n  # k=v\n", "a", "k", std::nullopt},
                    read_case{"unclosed_header_is_no_section", "[a]\n[b\nk=v\n", "b", "k", std::nullopt},
                    read_case{"key_is_not_a_prefix", "[a]\nkey=v\n", "a", "k", std::nullopt}),
    [](const auto& row) { return row.param.name; });

struct number_case {
    const char* text;
    std::optional<std::int32_t> value;
};

TEST(IniNumbers, WholeDecimalTextWithinThirtyTwoBits) {
    const number_case cases[] = {
        {"14001", 14001},
        {"-5", -5},
        {"+7", 7},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"12abc", std::nullopt},
        {"1 2", std::nullopt},
        {"0x10", std::nullopt},
        {"+-1", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"1.5", std::nullopt},
    };
    for (const number_case& c : cases) EXPECT_EQ(parse_int32(c.text), c.value) << '"' << c.text << '"';
}

TEST(IniNumbers, BooleansAreNumbersAndOtherTextKeepsTheFallback) {
    const ini_file ini = ini_file::parse("[a]\nzero=0\none=1\ntwo=2\nminus=-1\nword=true\nempty=\n");
    EXPECT_FALSE(ini.read_bool("a", "zero", true));
    EXPECT_TRUE(ini.read_bool("a", "one", false));
    EXPECT_TRUE(ini.read_bool("a", "two", false));
    EXPECT_TRUE(ini.read_bool("a", "minus", false));
    EXPECT_FALSE(ini.read_bool("a", "word", false));
    EXPECT_TRUE(ini.read_bool("a", "word", true));
    EXPECT_TRUE(ini.read_bool("a", "empty", true));
    EXPECT_EQ(ini.read_int("a", "word", 42), 42);
    EXPECT_EQ(ini.read_int("a", "missing", 42), 42);
}

struct write_case {
    const char* name;
    const char* before;
    std::vector<std::vector<const char*>> writes;  // section, key, value
    const char* after;
};

void PrintTo(const write_case& c, std::ostream* os) {
    *os << c.name;
}

class IniWrite : public testing::TestWithParam<write_case> {};

TEST_P(IniWrite, ChangesOnlyTheKeysWritten) {
    const write_case& c = GetParam();
    ini_file ini = ini_file::parse(c.before);
    for (const auto& w : c.writes) ini.write_string(w[0], w[1], w[2]);
    EXPECT_EQ(ini.text(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWrite,
    testing::Values(
        write_case{"empty_document",
                   "",
                   {{"a", "k", "1"}, {"a", "l", "2"}, {"b", "m", "3"}},
                   "[a]\nk=1\nl=2\n[b]\nm=3\n"},
        write_case{"value_replaced_spelling_kept",
                   "[A]\n  Key = old  \n",
                   {{"a", "key", "new"}},
                   "[A]\n  Key = new\n"},
        write_case{"empty_value_replaced", "[a]\nk=\n", {{"a", "k", "v"}}, "[a]\nk=v\n"},
        write_case{"value_emptied", "[a]\nk=v\n", {{"a", "k", ""}}, "[a]\nk=\n"},
        write_case{"foreign_lines_kept",
                   "; top\n[a]\n# note\nk=1\nunknown=x\njunk line\n\n[other]\nk=9\n",
                   {{"a", "k", "2"}},
                   "; top\n[a]\n# note\nk=2\nunknown=x\njunk line\n\n[other]\nk=9\n"},
        write_case{"missing_key_after_last_key",
                   "[a]\nk=1\n; about b\n\n[b]\nx=1\n",
                   {{"a", "l", "2"}},
                   "[a]\nk=1\nl=2\n; about b\n\n[b]\nx=1\n"},
        write_case{"missing_key_in_empty_section", "[a]\n\n[b]\n", {{"a", "k", "1"}}, "[a]\nk=1\n\n[b]\n"},
        write_case{"missing_section_appended", "[b]\nx=1", {{"a", "k", "1"}}, "[b]\nx=1\n[a]\nk=1\n"},
        write_case{"first_occurrence_rewritten", "[a]\nk=1\nk=2\n", {{"a", "k", "3"}}, "[a]\nk=3\nk=2\n"},
        write_case{
            "crlf_kept", "[a]\r\nk=1\r\n", {{"a", "k", "2"}, {"a", "l", "3"}}, "[a]\r\nk=2\r\nl=3\r\n"},
        write_case{
            "byte_order_mark_kept", "\xEF\xBB\xBF[a]\nk=1\n", {{"A", "K", "2"}}, "\xEF\xBB\xBF[a]\nk=2\n"}),
    [](const auto& row) { return row.param.name; });

TEST(IniWrite, RefusesValuesThatCouldNotBeReadBack) {
    ini_file ini = ini_file::parse("[a]\nk=1\n");
    EXPECT_THROW(ini.write_string("a", "k", "1\n[b]"), std::invalid_argument);
    EXPECT_THROW(ini.write_string("a", "k", "1\r"), std::invalid_argument);
    EXPECT_THROW(ini.write_string("a", "k", std::string("1\0", 2)), std::invalid_argument);
    EXPECT_EQ(ini.text(), "[a]\nk=1\n");
}

}  // namespace
}  // namespace vorlane
