#include "validation/tag_block.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/nmea_text.h"

namespace vorlane {
namespace {

using test::with_checksum;
using test::with_tag_block;

const std::string gll = "$GPGLL,3854.5087,N,07726.4523,W,125108,V,S*5B";

struct tag_case {
    const char* name;
    std::string block;
    rejection reason;
    const char* source = "";
    std::int32_t group_line = 0;
};

void PrintTo(const tag_case& c, std::ostream* os) {
    *os << c.name;
}

class TagBlock : public testing::TestWithParam<tag_case> {};

TEST_P(TagBlock, IsCheckedBeforeTheSentenceBehindIt) {
    const tag_case& c = GetParam();
    const std::string line = c.block + gll;
    nmea_tag_block read;
    nmea_rejection why;
    const char* sentence = read_tag_block(line.c_str(), read, why);
    EXPECT_EQ(why.reason, c.reason) << text_of(why.reason);
    if (c.reason != rejection::none) {
        EXPECT_EQ(sentence, nullptr);
        return;
    }
    EXPECT_STREQ(sentence, gll.c_str());
    EXPECT_STREQ(read.source, c.source);
    EXPECT_EQ(read.group_line, c.group_line);
}

// Backslash to backslash: 11 characters of fields, the text, "*HH" and the two backslashes.
std::string block_of_length(std::size_t length) {
    return with_tag_block("s:GP0001,t:" + std::string(length - 16, 'x'));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TagBlock,
    testing::Values(
        tag_case{"published_example", "\\s:GP0001,n:881,c:1683881316755*5D\\", rejection::none, "GP0001"},
        tag_case{"every_field",
                 with_tag_block("s:HE0001,d:EI0002,n:1,c:1700000000,r:12,x:7,t:BRIDGE ALARM,g:2-3-881"),
                 rejection::none, "HE0001", 2},
        tag_case{"eighty_characters", block_of_length(80), rejection::none, "GP0001"},
        tag_case{"eighty_one_characters", block_of_length(81), rejection::tag_block_length},
        tag_case{"unclosed", with_checksum("\\s:GP0001"), rejection::tag_block_unclosed},
        tag_case{"bad_checksum", "\\s:GP0001,n:881,c:1683881316755*5E\\",
                 rejection::tag_block_checksum_mismatch},
        tag_case{"lower_case_hex", "\\s:GP0001,n:881,c:1683881316755*5d\\",
                 rejection::tag_block_checksum_not_hex},
        tag_case{"missing_asterisk", "\\s:GP0001,n:881\\", rejection::tag_block_checksum_missing},
        tag_case{"empty", "\\\\", rejection::tag_block_checksum_missing},
        tag_case{"no_fields", with_tag_block(""), rejection::tag_block_empty},
        tag_case{"unknown_field", with_tag_block("s:GP0001,q:1"), rejection::tag_field_unknown},
        tag_case{"repeated_field", with_tag_block("s:GP0001,s:GP0002"), rejection::tag_field_repeated},
        tag_case{"empty_field", with_tag_block("s:GP0001,,n:1"), rejection::tag_field_malformed},
        tag_case{"code_without_colon", with_tag_block("s"), rejection::tag_field_malformed},
        tag_case{"source_too_long", with_tag_block("s:GP0001GP0001GP01"), rejection::tag_field_malformed},
        tag_case{"count_not_a_number", with_tag_block("n:88A"), rejection::tag_field_malformed},
        tag_case{"group_number_above_size", with_tag_block("g:3-2-881"), rejection::tag_field_malformed},
        tag_case{"group_without_identifier", with_tag_block("g:1-2"), rejection::tag_field_malformed},
        tag_case{"reserved_character", with_tag_block("t:A$B"), rejection::tag_block_character},
        tag_case{"escape_without_digits", with_tag_block("t:A^4"), rejection::tag_block_character},
        tag_case{"escaped_character", with_tag_block("t:A^21B"), rejection::none},
        tag_case{"two_blocks", with_tag_block("d:HE0002") + with_tag_block("s:HE0001,g:1-2-7"),
                 rejection::none, "HE0001", 1},
        tag_case{"field_repeated_across_blocks", with_tag_block("s:HE0001") + with_tag_block("s:HE0002"),
                 rejection::tag_field_repeated},
        tag_case{"second_block_unclosed", with_tag_block("s:HE0001") + with_checksum("\\n:1"),
                 rejection::tag_block_unclosed}),
    [](const testing::TestParamInfo<tag_case>& row) { return row.param.name; });

// What the output writes must read back as written, checksum included, and never overrun.
TEST(TagBlockWriter, WritesWhatTheReaderTakes) {
    char out[max_tag_block_length + 1];
    const tag_fields fields{.source = "GP0001",
                            .line_count = 999,
                            .unix_time = 1733600000,
                            .group_line = 2,
                            .group_size = 3,
                            .group_id = 77};
    const std::size_t length = write_tag_block(out, sizeof out, fields);
    const std::string block(out, length);
    EXPECT_EQ(block, with_tag_block("s:GP0001,n:999,c:1733600000,g:2-3-77"));
    nmea_tag_block read;
    nmea_rejection why;
    EXPECT_STREQ(read_tag_block((block + gll).c_str(), read, why), gll.c_str());
    EXPECT_EQ(read.line_count, 999);
    EXPECT_EQ(read.group_id, 77u);

    EXPECT_EQ(write_tag_block(out, length - 1, fields), 0u);
    EXPECT_EQ(write_tag_block(out, sizeof out, {}), 0u);
}

}  // namespace
}  // namespace vorlane
