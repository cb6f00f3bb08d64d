// Datagrams of junction boxes that follow IEC 61162-450 as published: the token, TAG blocks in
// front of the sentences, source lists and groups.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "base/networks.h"
#include "stream/nmea_manager.h"
#include "tests/stream/stream_test_support.h"

namespace vorlane {
namespace {

using test::drain;
using test::feed;
using test::with_checksum;
using test::with_tag_block;

const std::string gll = "$GPGLL,3854.5087,N,07726.4523,W,125108,V,S*5B";
const std::string zda = "$GPZDA,193223.00,23,12,2007,00,00*69";
const std::string hdt = with_checksum("$HEHDT,274.07,T");
const std::string vdm_1 =
    with_checksum("!AIVDM,2,1,7,A,53aGulD0000000c7?0918Tq<E>0<Q8U=@Tp400155P:22uG`002ShTj0,0");
const std::string vdm_2 = with_checksum("!AIVDM,2,2,7,A,EQC`4Sm51A0C@08,2");

// The sentence with a checksum that no longer matches.
std::string broken(std::string sentence) {
    sentence.back() = sentence.back() == '0' ? '1' : '0';
    return sentence;
}

std::string standard(const std::vector<std::string>& lines) {
    std::string payload(iec450_sentence_token, iec450_token_size);
    for (const std::string& line : lines) payload += line + "\r\n";
    return payload;
}

// A line of group `id`; with an empty source the line names none, as later lines often do.
std::string group_line(int line, int size, const std::string& sentence, const std::string& source = "AI0001",
                       int id = 42) {
    const std::string group =
        "g:" + std::to_string(line) + "-" + std::to_string(size) + "-" + std::to_string(id);
    return with_tag_block(source.empty() ? group : "s:" + source + "," + group) + sentence;
}

const std::string alr = with_checksum("$RAALR,220516,001,A,A,Bilge pump alarm1");

// An ALR of the radar with its line count: ALR is never replaced, so every one queued is served.
std::string counted_alr(int count) {
    return with_tag_block("s:RA0001,n:" + std::to_string(count)) + alr;
}

std::vector<std::string> times(std::size_t n, const std::string& line) {
    return std::vector<std::string>(n, line);
}

struct iec450_case {
    const char* name;
    std::vector<std::string> payloads;  // all on input 1, in this order
    std::vector<std::string> served;    // by output 1, without CR LF
    stream_drop drop = stream_drop::bad_udp_checksum;
    std::uint64_t dropped = 0;  // how often `drop` was counted
    const char* sources = "";
    std::chrono::milliseconds apart{0};  // between one payload and the next
};

void PrintTo(const iec450_case& c, std::ostream* os) {
    *os << c.name;
}

class Iec450Decoding : public testing::TestWithParam<iec450_case> {};

TEST_P(Iec450Decoding, ServesTheBareSentencesOfGoodLinesOnly) {
    const iec450_case& c = GetParam();
    auto manager = test::make_manager();
    source_filter sources;
    ASSERT_TRUE(sources.parse(c.sources));
    manager->set_input_format(1, datagram_format::iec450, sources);
    queue_clock::time_point now{std::chrono::hours(1)};
    for (const std::string& payload : c.payloads) {
        manager->set_time(now);
        feed(*manager, 1, payload);
        now += c.apart;
    }

    std::vector<std::string> expected;
    for (const std::string& sentence : c.served) expected.push_back(sentence + "\r\n");
    EXPECT_EQ(drain(*manager, 1), expected);
    EXPECT_EQ(manager->statistics().input(1).dropped[static_cast<std::size_t>(c.drop)], c.dropped);
    EXPECT_TRUE(drain(*manager, 0).empty());
}

const std::string gll_tagged = with_tag_block("s:GP0001,n:1,c:1683881316755") + gll;
const std::string newer_gll = with_checksum("$GPGLL,3854.5090,N,07726.4523,W,125109,V,S");

// A group of `size` lines, each a GLL: lines of a group are never replaced.
std::vector<std::string> gll_group(int size) {
    std::vector<std::string> lines;
    for (int line = 1; line <= size; ++line)
        lines.push_back(group_line(line, size, gll, line == 1 ? "GP0001" : ""));
    return lines;
}

// One datagram a millisecond, each with the next count, from 1 to 999 and from 1 again: the
// count comes round within a second and is still no repeat.
std::vector<std::string> count_round_at_999_a_second() {
    std::vector<std::string> payloads;
    for (int line = 0; line < 1000; ++line) payloads.push_back(standard({counted_alr(line % 999 + 1)}));
    return payloads;
}

// What a host on the ship's network sends to make the checks work against the box they guard.
const std::string forged_alr = with_checksum("$RAALR,220516,001,A,A,Forged alarm");
const auto attack_pace = std::chrono::milliseconds(600);

// Each count announced first in a two-line group whose second line never comes, then sent by
// the radar: the radar's lines are no repeats.
std::vector<std::string> counts_taken_early_in_dead_groups() {
    std::vector<std::string> payloads;
    for (int count = 1; count <= 10; ++count) {
        payloads.push_back(standard(
            {with_tag_block("s:RA0001,n:" + std::to_string(count) + ",g:1-2-" + std::to_string(count)) +
             forged_alr}));
        payloads.push_back(standard({counted_alr(count)}));
    }
    return payloads;
}

// The radar's first lines, 600 ms apart: after them it is established.
std::vector<std::string> radar_established() {
    std::vector<std::string> payloads;
    for (int count = 1; count <= 5; ++count) payloads.push_back(standard({counted_alr(count)}));
    return payloads;
}

// A line of each of `names` sources, ST1000 on, with count `count`; with a group size, the first
// line of a group.
std::vector<std::string> lines_of_names(int names, int count = 1, int group_size = 0) {
    std::vector<std::string> lines;
    for (int k = 0; k < names; ++k) {
        const std::string name = "ST" + std::to_string(1000 + k);
        lines.push_back(group_size == 0 ? with_tag_block("s:" + name + ",n:" + std::to_string(count)) + alr
                                        : group_line(1, group_size, vdm_1, name));
    }
    return lines;
}

// 32 sources that have sent for long enough to be established, then one more.
std::vector<std::string> one_source_too_many() {
    std::vector<std::string> payloads;
    for (int count = 1; count <= 5; ++count) payloads.push_back(standard(lines_of_names(32, count)));
    payloads.push_back(standard({with_tag_block("s:NEW001,n:1") + alr}));
    return payloads;
}

// Between the two copies of the radar's fifth datagram, 36 new names.
std::vector<std::string> names_between_two_copies() {
    std::vector<std::string> payloads = radar_established();
    payloads.push_back(standard(lines_of_names(36)));
    payloads.push_back(standard({counted_alr(5)}));
    return payloads;
}

// Between the two datagrams of the established transponder's group, 8 groups of new names begin.
std::vector<std::string> group_starts_between_a_groups_lines() {
    std::vector<std::string> payloads;
    for (int count = 1; count <= 5; ++count)
        payloads.push_back(standard({with_tag_block("s:AI0001,n:" + std::to_string(count)) + alr}));
    payloads.push_back(standard({group_line(1, 2, vdm_1)}));
    payloads.push_back(standard(lines_of_names(8, 1, 2)));
    payloads.push_back(standard({group_line(2, 2, vdm_2, "")}));
    return payloads;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Iec450Decoding,
    testing::Values(
        iec450_case{"tagged_and_bare_lines", {standard({gll_tagged, zda})}, {gll, zda}},
        iec450_case{"bad_tag_block_drops_its_line_only",
                    {standard({with_tag_block("s:GP0001,q:1") + hdt, gll_tagged})},
                    {gll}},
        iec450_case{"token_without_nul", {"UdPbCx" + gll + "\r\n"}, {}, stream_drop::unknown_token, 1},
        iec450_case{
            "eight_byte_header_is_no_token", {"XXXXXXXX" + gll + "\r\n"}, {}, stream_drop::unknown_token, 1},
        iec450_case{"binary_transfers",
                    {std::string("RaUdP\0\x01\x02", 8), std::string("RrUdP\0", 6), std::string("RpUdP\0", 6)},
                    {},
                    stream_drop::binary_transfer,
                    3},
        iec450_case{"shorter_than_the_token", {"UdPbC"}, {}, stream_drop::too_short, 1},
        iec450_case{"source_list",
                    {standard({with_tag_block("s:GP0001") + gll, with_tag_block("s:GP0002") + zda, hdt,
                               with_tag_block("s:HE0001") + hdt})},
                    {gll, hdt},
                    stream_drop::source_not_listed,
                    2,
                    "GP0001, HE0001"},
        iec450_case{
            "group_whole", {standard({group_line(1, 2, vdm_1), group_line(2, 2, vdm_2)})}, {vdm_1, vdm_2}},
        iec450_case{"group_across_datagrams",
                    {standard({group_line(1, 2, vdm_1)}), standard({gll, group_line(2, 2, vdm_2)})},
                    {gll, vdm_1, vdm_2}},
        iec450_case{"group_missing_its_first_line",
                    {standard({group_line(2, 2, vdm_2), gll})},
                    {gll},
                    stream_drop::group_incomplete,
                    1},
        iec450_case{"group_begun_again_before_whole",
                    {standard({group_line(1, 2, vdm_1), with_tag_block("g:1-1-43") + hdt,
                               group_line(1, 2, vdm_1), group_line(2, 2, vdm_2)})},
                    {hdt, vdm_1, vdm_2},
                    stream_drop::group_incomplete,
                    1},
        iec450_case{"interleaved_groups_of_two_sources",
                    {standard({group_line(1, 2, vdm_1), group_line(1, 3, gll, "GP0001", 7)}),
                     standard({group_line(2, 2, vdm_2), group_line(2, 3, zda, "GP0001", 7)}),
                     standard({group_line(3, 3, hdt, "GP0001", 7)})},
                    {vdm_1, vdm_2, gll, zda, hdt}},
        iec450_case{"interleaved_groups_named_on_their_first_lines_only",
                    {standard({group_line(1, 2, vdm_1), group_line(1, 3, gll, "GP0001", 7)}),
                     standard({group_line(2, 2, vdm_2, ""), group_line(2, 3, zda, "", 7)}),
                     standard({group_line(3, 3, hdt, "", 7)})},
                    {vdm_1, vdm_2, gll, zda, hdt}},
        iec450_case{"two_tag_blocks",
                    {standard({with_tag_block("d:HE0002") + with_tag_block("s:HE0001") + hdt})},
                    {hdt}},
        iec450_case{"two_sources_of_one_formatter",
                    {standard({with_tag_block("s:GP0001") + gll, with_tag_block("s:GP0002") + gll,
                               with_tag_block("s:GP0001") + newer_gll})},
                    {newer_gll, gll}},
        iec450_case{"duplicate_after_1_ms",
                    times(2, standard({counted_alr(7), counted_alr(8)})),
                    {alr, alr},
                    stream_drop::duplicate,
                    2,
                    "",
                    std::chrono::milliseconds(1)},
        iec450_case{"duplicate_after_150_ms",
                    times(2, standard({counted_alr(7), counted_alr(8)})),
                    {alr, alr},
                    stream_drop::duplicate,
                    2,
                    "",
                    std::chrono::milliseconds(150)},
        iec450_case{"same_count_after_more_than_2_s",
                    times(2, standard({counted_alr(7)})),
                    {alr, alr},
                    stream_drop::duplicate,
                    0,
                    "",
                    std::chrono::milliseconds(2001)},
        iec450_case{"line_without_count_is_no_duplicate",
                    times(2, standard({with_tag_block("s:RA0001") + alr, alr})), times(4, alr),
                    stream_drop::duplicate, 0, "", std::chrono::milliseconds(1)},
        iec450_case{"count_come_round_at_999_lines_a_second", count_round_at_999_a_second(), times(1000, alr),
                    stream_drop::duplicate, 0, "", std::chrono::milliseconds(1)},
        iec450_case{"group_with_a_rejected_line",
                    {standard({group_line(1, 2, vdm_1), group_line(2, 2, broken(vdm_2))})},
                    {},
                    stream_drop::group_incomplete,
                    1},
        iec450_case{"group_of_another_source_does_not_continue",
                    {standard({group_line(1, 2, vdm_1), group_line(2, 2, vdm_2, "AI0002")})},
                    {},
                    stream_drop::group_incomplete,
                    1},
        iec450_case{"group_of_17_lines", {standard(gll_group(17))}, times(17, gll)},
        iec450_case{"counts_taken_early_in_groups_that_never_complete", counts_taken_early_in_dead_groups(),
                    times(10, alr), stream_drop::duplicate, 0},
        iec450_case{"another_sentence_under_a_served_count_is_served_and_counted",
                    {standard({counted_alr(5)}), standard({with_tag_block("s:RA0001,n:5") + forged_alr})},
                    {alr, forged_alr},
                    stream_drop::count_conflict,
                    1},
        iec450_case{"new_names_cannot_push_an_established_source_out", names_between_two_copies(),
                    times(41, alr), stream_drop::duplicate, 1, "", attack_pace},
        iec450_case{"a_new_source_while_established_ones_fill_the_table_is_dropped", one_source_too_many(),
                    times(160, alr), stream_drop::source_table_full, 1, "", attack_pace},
        iec450_case{"groups_of_new_names_cannot_end_an_established_sources_group",
                    group_starts_between_a_groups_lines(),
                    {alr, alr, alr, alr, alr, vdm_1, vdm_2},
                    stream_drop::group_incomplete,
                    1,
                    "",
                    attack_pace},
        iec450_case{"copies_of_a_group_interleaved_with_it_are_served_once",
                    {standard({with_tag_block("s:AI0001,n:1,g:1-2-42") + vdm_1}),
                     standard({with_tag_block("s:AI0001,n:1,g:1-2-42") + vdm_1}),
                     standard({with_tag_block("n:2,g:2-2-42") + vdm_2}),
                     standard({with_tag_block("n:2,g:2-2-42") + vdm_2})},
                    {vdm_1, vdm_2},
                    stream_drop::duplicate,
                    2}),
    [](const testing::TestParamInfo<iec450_case>& row) { return row.param.name; });

// The line counts (n:) of one source as they arrive: what the source counted and never came is
// lost upstream.
struct count_case {
    const char* name;
    std::vector<int> counts;
    std::uint64_t lost;
    std::uint64_t duplicates = 0;
    std::size_t broken = 99;  // the line at this place arrives with a wrong checksum
    std::uint64_t jumped = 0;
};

void PrintTo(const count_case& c, std::ostream* os) {
    *os << c.name;
}

class LineCounts : public testing::TestWithParam<count_case> {};

TEST_P(LineCounts, CountTheLinesLostUpstream) {
    const count_case& c = GetParam();
    auto manager = test::make_manager();
    manager->set_input_format(0, datagram_format::iec450);
    for (std::size_t k = 0; k < c.counts.size(); ++k)
        feed(*manager, 0,
             standard({with_tag_block("s:RA0001,n:" + std::to_string(c.counts[k])) +
                       (k == c.broken ? broken(alr) : alr)}));
    const input_tally& tally = manager->statistics().input(0);
    EXPECT_EQ(tally.dropped[static_cast<std::size_t>(stream_drop::lost_upstream)], c.lost);
    EXPECT_EQ(tally.dropped[static_cast<std::size_t>(stream_drop::duplicate)], c.duplicates);
    EXPECT_EQ(tally.dropped[static_cast<std::size_t>(stream_drop::count_jumped)], c.jumped);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineCounts,
    testing::Values(count_case{"one_after_another", {1, 2, 3}, 0}, count_case{"gap", {1, 2, 5}, 2},
                    count_case{"round_from_999_to_1", {998, 999, 1, 2}, 0},
                    count_case{"gap_across_the_round", {998, 2}, 2},
                    count_case{"duplicate", {1, 2, 2, 3}, 0, 1},
                    count_case{"rejected_line_came", {1, 2, 3}, 0, 0, 1},
                    count_case{"step_back", {5, 6, 4, 7}, 0},
                    // A damaged line vouches for no count but the next.
                    count_case{"damaged_line_with_a_made_up_jump", {1, 499, 2, 3}, 0, 0, 1},
                    count_case{"jump_beyond_what_a_link_loses", {1, 200, 201}, 0, 0, 99, 1}),
    [](const testing::TestParamInfo<count_case>& row) { return row.param.name; });

// One source at 1,000 lines a second, its counts running round three times, on both LANs: the
// second LAN brings every line `lag` later. Each line is served once and its copy counted as such.
struct two_lan_case {
    const char* name;
    int lag_ms;
    std::int32_t first_lan;
};

void PrintTo(const two_lan_case& c, std::ostream* os) {
    *os << c.name;
}

class TwoLans : public testing::TestWithParam<two_lan_case> {};

TEST_P(TwoLans, ServeEachLineOnceWhicheverLanBringsItFirst) {
    const two_lan_case& c = GetParam();
    constexpr int lines = 3000;
    auto manager = test::make_manager();
    manager->set_lans(2);
    manager->set_input_format(0, datagram_format::iec450);
    struct arrival {
        int at_ms;
        std::int32_t lan;
        int line;
    };
    std::vector<arrival> arrivals;
    for (int k = 0; k < lines; ++k) {
        arrivals.push_back({k, c.first_lan, k});
        arrivals.push_back({k + c.lag_ms, 1 - c.first_lan, k});
    }
    std::stable_sort(arrivals.begin(), arrivals.end(),
                     [](const arrival& x, const arrival& y) { return x.at_ms < y.at_ms; });
    std::size_t served = 0;
    for (const arrival& a : arrivals) {
        manager->set_time(queue_clock::time_point{std::chrono::milliseconds(a.at_ms)});
        manager->set_lan(a.lan);
        feed(*manager, 0, standard({counted_alr(a.line % 999 + 1)}));
        served += drain(*manager, 0).size();
    }
    const input_tally& tally = manager->statistics().input(0);
    EXPECT_EQ(served, std::size_t{lines});
    EXPECT_EQ(tally.dropped[static_cast<std::size_t>(stream_drop::other_lan_copy)], std::uint64_t{lines});
    EXPECT_EQ(tally.dropped[static_cast<std::size_t>(stream_drop::duplicate)], 0u);
}

INSTANTIATE_TEST_SUITE_P(Rows, TwoLans,
                         testing::Values(two_lan_case{"lan_b_1_ms_behind", 1, lan_a},
                                         two_lan_case{"lan_b_500_ms_behind", 500, lan_a},
                                         two_lan_case{"lan_a_500_ms_behind", 500, lan_b}),
                         [](const testing::TestParamInfo<two_lan_case>& row) { return row.param.name; });

TEST(Iec450Groups, LeaveInOneBatchOrWaitForTheNext) {
    auto manager = test::make_manager();
    manager->set_input_format(0, datagram_format::iec450);
    feed(*manager, 0, standard({gll, group_line(1, 2, vdm_1), group_line(2, 2, vdm_2)}));
    // Room for the lone sentence and the first fragment, not for the whole group.
    const auto room = static_cast<std::int32_t>(gll.size() + vdm_1.size() + 4 + 1);
    std::string batch(static_cast<std::size_t>(room), '\0');
    std::int32_t capacity = room;
    ASSERT_TRUE(manager->take_output(0, batch.data(), capacity));
    EXPECT_EQ(batch.substr(0, static_cast<std::size_t>(capacity)), gll + "\r\n");
    EXPECT_EQ(drain(*manager, 0), (std::vector<std::string>{vdm_1 + "\r\n", vdm_2 + "\r\n"}));
}

TEST(Iec450Groups, ThatNoBatchOfTheBufferCanHoldAreDroppedWithoutABatch) {
    auto manager = test::make_manager();
    manager->set_input_format(0, datagram_format::iec450);
    feed(*manager, 0, standard({group_line(1, 2, vdm_1), group_line(2, 2, vdm_2)}));
    std::string batch(min_take_capacity, '\0');
    std::int32_t capacity = min_take_capacity;
    EXPECT_FALSE(manager->take_output(0, batch.data(), capacity));
    EXPECT_EQ(capacity, min_take_capacity);
    EXPECT_FALSE(manager->has_output(0));
    EXPECT_EQ(manager->statistics().input(0).dropped[static_cast<std::size_t>(stream_drop::group_too_large)],
              2u);
}

TEST(Iec450Groups, AreNeitherReplacedNorReplacing) {
    // VDM is replaced in place under its key; a fragment of a waiting group must not be.
    auto manager = test::make_manager();
    manager->set_input_format(0, datagram_format::iec450);
    feed(*manager, 0, standard({group_line(1, 2, vdm_1), group_line(2, 2, vdm_2), vdm_1}));
    EXPECT_EQ(drain(*manager, 0), (std::vector<std::string>{vdm_1 + "\r\n", vdm_2 + "\r\n", vdm_1 + "\r\n"}));
}

TEST(Iec450Groups, WaitNoLongerThanASentenceMay) {
    auto manager = test::make_manager();
    manager->set_input_format(0, datagram_format::iec450);
    const queue_clock::time_point start{};
    manager->set_time(start);
    feed(*manager, 0, standard({group_line(1, 2, vdm_1)}));
    manager->set_time(start + max_sentence_age + std::chrono::seconds(1));
    feed(*manager, 0, standard({group_line(2, 2, vdm_2)}));
    EXPECT_TRUE(drain(*manager, 0).empty());
    EXPECT_EQ(manager->statistics().input(0).dropped[static_cast<std::size_t>(stream_drop::group_incomplete)],
              2u);
}

TEST(InputFormats, UnusableSettingsServeNothingAndHeader8IgnoresTagBlocks) {
    auto manager = test::make_manager();
    manager->set_input_format(0, datagram_format::unusable);
    feed(*manager, 0, standard({gll}));
    feed(*manager, 1, standard({gll_tagged, zda}));
    EXPECT_TRUE(drain(*manager, 0).empty());
    EXPECT_EQ(manager->statistics().input(0).dropped[static_cast<std::size_t>(stream_drop::unusable_format)],
              1u);
    // Eight bytes skipped: the token and the start of the TAG block, which leaves no sentence.
    EXPECT_EQ(drain(*manager, 1), (std::vector<std::string>{zda + "\r\n"}));
}

TEST(SourceFilter, TakesOnlyListsOfIdentifiers) {
    source_filter filter;
    for (const char* refused : {"GP0001,,HE0001", "GP-0001", "GP0001GP0001GP01", ","})
        EXPECT_FALSE(filter.parse(refused)) << refused;
    std::string seventeen;
    for (int k = 0; k < 17; ++k) seventeen += "GP" + std::to_string(1000 + k) + ",";
    seventeen.pop_back();
    EXPECT_FALSE(filter.parse(seventeen));
    EXPECT_TRUE(filter.takes_every_line());
    EXPECT_TRUE(filter.parse(" GP0001 ,HE0001"));
    EXPECT_TRUE(filter.takes("HE0001"));
    EXPECT_FALSE(filter.takes("GP00011"));
    EXPECT_FALSE(filter.takes(""));
}

}  // namespace
}  // namespace vorlane
