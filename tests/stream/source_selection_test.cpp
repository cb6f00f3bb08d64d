// An output's source list through the stream manager: which source it serves per formatter,
// when it changes and what it says, and the TAG blocks it writes in front of its lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/stream/stream_test_support.h"

namespace vorlane {
namespace {

using test::with_checksum;
using test::with_tag_block;

const std::string rmc = with_checksum("$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E,A,S");
const std::string gga = with_checksum("$GPGGA,120000.00,5400.000,N,01000.000,E,1,08,0.9,10.0,M,46.9,M,,");
const std::string vdm = "!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0*26";

struct arrival {
    int at_ms;           // after the first
    const char* fields;  // of its TAG block; empty for a line without one
    const std::string& sentence;
};

struct selection_case {
    const char* name;
    const char* sources;  // the output's list, in order of preference
    std::vector<arrival> arrivals;
    // Each served line as "<its s:> <formatter>", in order.
    std::vector<std::string> served;
    std::uint64_t not_selected = 0;
    std::uint64_t standby = 0;
    // Each switch as "<formatter> <from> > <to>: silent <s>" or "...: back".
    std::vector<std::string> switches;
};

void PrintTo(const selection_case& c, std::ostream* os) {
    *os << c.name;
}

std::string served_as(const std::string& line) {
    // "\s:GP0001*hh\$GPRMC,...": the source, then the formatter behind the talker.
    const std::size_t source_end = line.find('*');
    const std::size_t sentence = line.find('\\', 1) + 1;
    return line.substr(3, source_end - 3) + " " + line.substr(sentence + 3, 3);
}

std::string switch_as(const source_switch& change) {
    return std::string(formatter_row_name(change.formatter_index)) + " " + change.from + " > " + change.to +
           (change.reason == source_switch::why::silent ? ": silent " + std::to_string(change.silent_seconds)
            : change.reason == source_switch::why::back ? std::string(": back")
                                                        : std::string(": preferred"));
}

class OutputSources : public testing::TestWithParam<selection_case> {};

TEST_P(OutputSources, ServeOneTalkingSourcePerLatestValueFormatter) {
    const selection_case& c = GetParam();
    auto manager = test::make_manager();
    manager->set_input_format(0, datagram_format::iec450);
    source_filter sources;
    ASSERT_TRUE(sources.parse(c.sources));
    manager->set_output_sources(0, sources, std::chrono::seconds(3));
    manager->set_output_tags(0, {.source = true});

    std::vector<std::string> served;
    std::vector<std::string> switches;
    const queue_clock::time_point start{std::chrono::hours(1)};
    for (const arrival& line : c.arrivals) {
        manager->set_time(start + std::chrono::milliseconds(line.at_ms));
        const std::string tag = line.fields[0] != 0 ? with_tag_block(line.fields) : "";
        test::feed(*manager, 0, std::string("UdPbC\0", 6) + tag + line.sentence + "\r\n");
        for (const std::string& text : test::drain(*manager, 0)) served.push_back(served_as(text));
        for (source_switch change; manager->take_source_switch(0, change);)
            switches.push_back(switch_as(change));
    }
    EXPECT_EQ(served, c.served);
    EXPECT_EQ(switches, c.switches);
    EXPECT_EQ(manager->selection(0).switch_count(), c.switches.size());
    const input_tally& tally = manager->statistics().input(0);
    EXPECT_EQ(tally.dropped[static_cast<std::size_t>(stream_drop::source_not_selected)], c.not_selected);
    EXPECT_EQ(tally.dropped[static_cast<std::size_t>(stream_drop::standby_source)], c.standby);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputSources,
    testing::Values(
        selection_case{
            "interleaved_first_listed_served",
            "GP0001,GP0002",
            {{0, "s:GP0001", rmc}, {100, "s:GP0002", rmc}, {1000, "s:GP0001", rmc}, {1100, "s:GP0002", rmc}},
            {"GP0001 RMC", "GP0001 RMC"},
            0,
            2},
        selection_case{"better_source_first_heard_takes_over_at_once",
                       "GP0001,GP0002",
                       {{0, "s:GP0002", rmc}, {100, "s:GP0001", rmc}, {1000, "s:GP0002", rmc}},
                       {"GP0002 RMC", "GP0001 RMC"},
                       0,
                       1,
                       {"RMC GP0002 > GP0001: preferred"}},
        selection_case{"first_silent_past_failover_then_back_after_hold",
                       "GP0001,GP0002",
                       {{0, "s:GP0001", rmc},
                        {500, "s:GP0002", rmc},
                        {3000, "s:GP0002", rmc},  // silent for exactly the failover time: not yet
                        {4000, "s:GP0002", rmc},
                        {5000, "s:GP0001", rmc},  // heard again: the hold begins
                        {5500, "s:GP0002", rmc},
                        {7000, "s:GP0001", rmc},
                        {7500, "s:GP0002", rmc},
                        {9000, "s:GP0001", rmc},
                        {9500, "s:GP0002", rmc},
                        {10000, "s:GP0001", rmc},  // heard for the hold time
                        {10500, "s:GP0002", rmc}},
                       {"GP0001 RMC", "GP0002 RMC", "GP0002 RMC", "GP0002 RMC", "GP0002 RMC", "GP0001 RMC"},
                       0,
                       6,
                       {"RMC GP0001 > GP0002: silent 4", "RMC GP0002 > GP0001: back"}},
        selection_case{
            "source_that_comes_and_goes_never_returns",
            "GP0001,GP0002",
            {{0, "s:GP0001", rmc},
             {4000, "s:GP0002", rmc},
             {5000, "s:GP0001", rmc},
             {6000, "s:GP0002", rmc},
             {8000, "s:GP0002", rmc},
             {9000, "s:GP0001", rmc},  // a silence longer than the failover time: the hold begins again
             {10000, "s:GP0002", rmc},
             {10500, "s:GP0001", rmc},
             {12000, "s:GP0002", rmc}},
            {"GP0001 RMC", "GP0002 RMC", "GP0002 RMC", "GP0002 RMC", "GP0002 RMC", "GP0002 RMC"},
            0,
            3,
            {"RMC GP0001 > GP0002: silent 4"}},
        selection_case{"unlisted_and_untagged_dropped",
                       "GP0001",
                       {{0, "s:GP0001", rmc}, {10, "s:GP0009", rmc}, {20, "", rmc}},
                       {"GP0001 RMC"},
                       2},
        selection_case{
            "ais_beside_gps_both_served",
            "GP0001,AI0001,GP0002",
            {{0, "s:GP0001", rmc}, {10, "s:AI0001", vdm}, {20, "s:GP0002", vdm}, {1000, "s:AI0001", vdm}},
            {"GP0001 RMC", "AI0001 VDM", "GP0002 VDM", "AI0001 VDM"}},
        selection_case{"group_of_a_standby_source_dropped_whole",
                       "GP0001,GP0002",
                       {{0, "s:GP0001", rmc}, {10, "s:GP0002,g:1-2-7", gga}, {20, "g:2-2-7", rmc}},
                       {"GP0001 RMC"},
                       0,
                       2}),
    [](const testing::TestParamInfo<selection_case>& row) { return row.param.name; });

struct tagged_case {
    const char* name;
    output_tags tags;
    std::string line;      // as it arrives
    std::string expected;  // as the output serves it
};

void PrintTo(const tagged_case& c, std::ostream* os) {
    *os << c.name;
}

class OutputTags : public testing::TestWithParam<tagged_case> {};

TEST_P(OutputTags, PrecedeEachLineWithItsSourceAndReceiveTime) {
    const tagged_case& c = GetParam();
    auto manager = test::make_manager();
    manager->set_input_format(0, datagram_format::iec450);
    manager->set_output_tags(0, c.tags);
    manager->set_wall_time(1733600000);
    test::feed(*manager, 0, std::string("UdPbC\0", 6) + c.line + "\r\n");
    EXPECT_EQ(test::drain(*manager, 0), std::vector<std::string>{c.expected + "\r\n"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputTags,
    testing::Values(tagged_case{"source_and_time",
                                {.source = true, .time = true},
                                with_tag_block("s:GP0001,n:12,c:1733599999123") + rmc,
                                "\\s:GP0001,c:1733600000*2A\\" + rmc},
                    tagged_case{"source_of_a_line_without_one", {.source = true}, rmc, rmc},
                    tagged_case{
                        "time_of_a_line_without_a_block", {.time = true}, rmc, "\\c:1733600000*59\\" + rmc}),
    [](const testing::TestParamInfo<tagged_case>& row) { return row.param.name; });

TEST(OutputTags, CountAgainstTheBatch) {
    auto manager = test::make_manager();
    manager->set_input_format(0, datagram_format::iec450);
    manager->set_output_tags(0, {.source = true, .time = true});
    manager->set_wall_time(1733600000);
    const std::string tag = with_tag_block("s:GP0001");
    test::feed(*manager, 0, std::string("UdPbC\0", 6) + tag + rmc + "\r\n" + tag + gga + "\r\n");
    const std::string served = "\\s:GP0001,c:1733600000*2A\\" + rmc + "\r\n";
    // Room for both tagged lines but not the NUL behind them: the second waits whole.
    std::string batch(2 * served.size() + gga.size() - rmc.size(), '\0');
    auto capacity = static_cast<std::int32_t>(batch.size());
    ASSERT_TRUE(manager->take_output(0, batch.data(), capacity));
    EXPECT_EQ(batch.substr(0, static_cast<std::size_t>(capacity)), served);
}

// A line queued before the output tagged its lines was queued without its fields: it goes bare,
// not with the fields of a line that waited in its slot before.
TEST(OutputTags, NotForALineQueuedBeforeTheyWereSet) {
    auto manager = test::make_manager();
    manager->set_input_format(0, datagram_format::iec450);
    manager->set_output_tags(0, {.source = true, .time = true});
    manager->set_wall_time(1733600000);
    const std::string tagged = std::string("UdPbC\0", 6) + with_tag_block("s:GP0001") + rmc + "\r\n";
    test::feed(*manager, 0, tagged);
    test::drain(*manager, 0);
    manager->set_output_tags(0, {});
    test::feed(*manager, 0, tagged);
    manager->set_output_tags(0, {.source = true, .time = true});
    EXPECT_EQ(test::drain(*manager, 0), std::vector<std::string>{rmc + "\r\n"});
}

}  // namespace
}  // namespace vorlane
