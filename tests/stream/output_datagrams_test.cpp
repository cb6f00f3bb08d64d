// An output's batches cut into UDP datagrams, read back as a receiver reads them: whole lines,
// the lines of a group together, and on iec450 the output's own TAG blocks, which the gateway's
// own iec450 input must take.
#include "stream/output_datagrams.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/stream/stream_test_support.h"

namespace vorlane {
namespace {

using test::drain;
using test::feed;
using test::with_checksum;
using test::with_tag_block;

const std::string token(iec450_sentence_token, iec450_token_size);
using test::vdm_1;
using test::vdm_2;

std::string waypoint(int k) {
    return with_checksum("$GPWPL,4917.16,N,12310.64,W,WP" + std::to_string(k));
}

// Every line of `lines` in a datagram of its own to an iec450 input, a line of a group "g:" as
// it came.
void queue_lines(nmea_manager& manager, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) feed(manager, 0, token + line + "\r\n");
}

// Waypoints, and every third a two-line group, so that groups meet the end of a datagram.
std::vector<std::string> waypoints_and_groups(int count, std::vector<std::string>& sentences) {
    std::vector<std::string> lines;
    for (int k = 0; k < count; ++k) {
        if (k % 3 == 2) {
            const std::string id = std::to_string(k);
            lines.push_back(with_tag_block("s:AI0001,g:1-2-" + id) + vdm_1);
            lines.push_back(with_tag_block("g:2-2-" + id) + vdm_2);
            sentences.push_back(vdm_1 + "\r\n");
            sentences.push_back(vdm_2 + "\r\n");
        } else {
            lines.push_back(waypoint(k));
            sentences.push_back(waypoint(k) + "\r\n");
        }
    }
    return lines;
}

std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Each group that begins in the datagram ends in it.
bool groups_whole(std::string_view datagram) {
    return occurrences(datagram, vdm_1) == occurrences(datagram, vdm_2);
}

std::unique_ptr<nmea_manager> iec450_manager() {
    auto manager = test::make_manager();
    manager->set_input_format(0, datagram_format::iec450);
    return manager;
}

// The lines of an iec450 datagram, each with its TAG block and CR LF.
std::vector<std::string> lines_of(std::string_view datagram) {
    std::vector<std::string> lines;
    datagram.remove_prefix(token.size());
    for (std::size_t end; (end = datagram.find("\r\n")) != std::string_view::npos;
         datagram.remove_prefix(end + 2))
        lines.emplace_back(datagram.substr(0, end + 2));
    EXPECT_TRUE(datagram.empty());
    return lines;
}

nmea_tag_block tag_of(const std::string& line) {
    nmea_tag_block tag;
    nmea_rejection why;
    EXPECT_NE(read_tag_block(line.c_str(), tag, why), nullptr) << line;
    return tag;
}

// Waypoints and groups queued and taken as datagrams of `format`; `sentences` gets the sentences
// queued, in order.
test::packed_batches packed_mix(udp_format format, std::vector<std::string>& sentences) {
    auto manager = iec450_manager();
    queue_lines(*manager, waypoints_and_groups(120, sentences));
    datagram_packer packer;
    packer.set_format(format, "VR0001");
    return test::take_datagrams(*manager, packer);
}

TEST(PlainDatagrams, AreTheBatchesCutBetweenLines) {
    std::vector<std::string> sentences;
    const test::packed_batches out = packed_mix(udp_format::plain, sentences);
    std::string joined;
    for (const std::string& datagram : out.datagrams) {
        EXPECT_LE(datagram.size(), max_datagram_payload);
        EXPECT_TRUE(datagram.ends_with("\r\n"));
        EXPECT_TRUE(groups_whole(datagram));
        joined += datagram;
    }
    EXPECT_GT(out.datagrams.size(), 3u);
    EXPECT_EQ(joined, out.batches);
}

// The gateway's own iec450 input takes every line, groups reassembled, in the order sent.
TEST(Iec450Datagrams, ReadBackAsTheSentencesOfTheBatches) {
    std::vector<std::string> sentences;
    const test::packed_batches out = packed_mix(udp_format::iec450, sentences);
    auto receiver = iec450_manager();
    for (const std::string& datagram : out.datagrams) {
        EXPECT_LE(datagram.size(), max_datagram_payload);
        EXPECT_TRUE(groups_whole(datagram));
        ASSERT_TRUE(datagram.starts_with(token));
        for (const std::string& line : lines_of(datagram)) EXPECT_STREQ(tag_of(line).source, "VR0001");
        feed(*receiver, 0, datagram);
    }
    EXPECT_GT(out.datagrams.size(), 3u);
    EXPECT_EQ(drain(*receiver, 0), sentences);
    EXPECT_EQ(receiver->statistics().input(0).dropped, decltype(receiver->statistics().input(0).dropped){});
}

TEST(Iec450Datagrams, CountLinesFrom1To999AndRoundAgain) {
    auto manager = iec450_manager();
    datagram_packer packer;
    packer.set_format(udp_format::iec450, "VR0001");
    std::vector<std::int64_t> counts;
    for (int round = 0; round < 2; ++round) {
        std::vector<std::string> lines;
        for (int k = 0; k < 600; ++k) lines.push_back(waypoint(round * 600 + k));
        queue_lines(*manager, lines);
        for (const std::string& datagram : test::take_datagrams(*manager, packer).datagrams)
            for (const std::string& line : lines_of(datagram)) counts.push_back(tag_of(line).line_count);
    }
    ASSERT_EQ(counts.size(), 1200u);
    for (std::size_t k = 0; k < counts.size(); ++k)
        ASSERT_EQ(counts[k], static_cast<std::int64_t>(k % 999 + 1)) << "line " << k;
}

// A group longer than any datagram goes out over several, line by line, under one identifier,
// rather than not at all; the gateway's own input puts it together again.
TEST(Iec450Datagrams, SendAGroupLongerThanADatagramOverSeveral) {
    auto manager = iec450_manager();
    std::vector<std::string> lines;
    std::vector<std::string> sentences;
    for (int k = 1; k <= 30; ++k) {
        lines.push_back(with_tag_block((k == 1 ? "s:GP0001,g:" : "g:") + std::to_string(k) + "-30-7") +
                        waypoint(k));
        sentences.push_back(waypoint(k) + "\r\n");
    }
    queue_lines(*manager, lines);
    datagram_packer packer;
    packer.set_format(udp_format::iec450, "VR0001");
    const test::packed_batches out = test::take_datagrams(*manager, packer);
    ASSERT_GT(out.datagrams.size(), 1u);
    auto receiver = iec450_manager();
    std::int32_t expected_line = 0;
    for (const std::string& datagram : out.datagrams) {
        for (const std::string& line : lines_of(datagram)) {
            const nmea_tag_block tag = tag_of(line);
            EXPECT_EQ(tag.group_line, ++expected_line);
            EXPECT_EQ(tag.group_size, 30);
            EXPECT_EQ(tag.group_id, 1u);
        }
        feed(*receiver, 0, datagram);
    }
    EXPECT_EQ(drain(*receiver, 0), sentences);
}

// A TAG block the output path put in front of a served line is not the output's: the datagram
// carries the sentence behind the output's own block only.
TEST(Iec450Datagrams, ReplaceTheTagBlockOfAServedLine) {
    const std::string line = with_tag_block("s:GP0001,c:1683881316755") + waypoint(1) + "\r\n";
    batch_lines lines;
    lines.add(0, 0);
    datagram_packer packer;
    packer.set_format(udp_format::iec450, "VR0001");
    packer.start(line, lines);
    std::string_view datagram;
    ASSERT_TRUE(packer.next_datagram(datagram));
    EXPECT_EQ(datagram, token + with_tag_block("s:VR0001,n:1") + waypoint(1) + "\r\n");
    EXPECT_FALSE(packer.next_datagram(datagram));
}

}  // namespace
}  // namespace vorlane
