#include "stream/drop_statistics.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/stream/stream_test_support.h"

namespace vorlane {
namespace {

using test::datagram;
using test::feed;
using test::with_checksum;

const std::string good_hdt = with_checksum("$HEHDT,101.5,T") + "\r\n";
// RMC with the navigational status missing: 12 data fields where 13 are needed.
const std::string old_rmc =
    with_checksum("$GPRMC,120000.00,A,5400.000,N,01000.000,E,0.0,0.0,010125,,,A") + "\r\n";

// What one datagram must raise, and nothing else: each drop counted once, on its input.
struct drop_row {
    const char* name;
    std::int32_t input;
    std::string payload;
    bool bad_checksum;
    std::uint64_t accepted;
    std::uint64_t rmc_too_few;
    std::uint64_t checksum_mismatch;
    stream_drop drop;
    std::uint64_t drops;
};

void PrintTo(const drop_row& row, std::ostream* os) {
    *os << row.name;
}

class DropCounts : public testing::TestWithParam<drop_row> {};

TEST_P(DropCounts, RaisedOncePerDrop) {
    const drop_row& row = GetParam();
    auto manager = test::make_manager();
    feed(*manager, row.input, row.payload, row.bad_checksum);
    const input_tally& mine = manager->statistics().input(row.input);
    const input_tally& other = manager->statistics().input(1 - row.input);

    EXPECT_EQ(mine.datagrams, 1u);
    EXPECT_EQ(other.datagrams, 0u);
    std::uint64_t accepted = 0;
    for (const formatter_tally& f : mine.formatters) accepted += f.accepted;
    EXPECT_EQ(accepted, row.accepted);
    const formatter_tally& rmc = mine.formatters[formatter_index_of("RMC")];
    EXPECT_EQ(rmc.rejected[static_cast<std::size_t>(rejection::too_few_fields)], row.rmc_too_few);
    EXPECT_EQ(mine.formatters[0].rejected[static_cast<std::size_t>(rejection::checksum_mismatch)],
              row.checksum_mismatch);
    std::uint64_t drops = 0;
    for (const std::uint64_t d : mine.dropped) drops += d;
    EXPECT_EQ(drops, row.drops);
    EXPECT_EQ(mine.dropped[static_cast<std::size_t>(row.drop)], row.drops);
    if (row.rmc_too_few > 0) {
        EXPECT_EQ(rmc.top_reason, rejection::too_few_fields);
        EXPECT_EQ(rmc.example + std::string("\r\n"), old_rmc);
        ASSERT_EQ(manager->statistics().recent_count(), row.rmc_too_few + row.checksum_mismatch);
        const stream_statistics& s = manager->statistics();
        EXPECT_EQ(s.recent(s.recent_count() - 1).text + std::string("\r\n"), old_rmc);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DropCounts,
    testing::Values(drop_row{"accepted_only", 0, datagram(good_hdt + good_hdt), false, 2, 0, 0,
                             stream_drop::queue_full, 0},
                    drop_row{"rmc_without_status_on_input_2", 1, datagram(good_hdt + old_rmc), false, 1, 1, 0,
                             stream_drop::queue_full, 0},
                    drop_row{"wrong_nmea_checksum", 0, datagram("$HEHDT,101.5,T*00\r\n" + old_rmc), false, 0,
                             1, 1, stream_drop::queue_full, 0},
                    drop_row{"bad_udp_checksum_drops_the_datagram_whole", 0, datagram(good_hdt + old_rmc),
                             true, 0, 0, 0, stream_drop::bad_udp_checksum, 1},
                    drop_row{"shorter_than_the_header", 1, "UdPbC", false, 0, 0, 0, stream_drop::too_short,
                             1}),
    [](const testing::TestParamInfo<drop_row>& row) { return row.param.name; });

TEST(DropCounts, FullQueueAndAgeAreCountedOnTheOutputsInput) {
    auto manager = test::make_manager();
    const auto start = queue_clock::now();
    manager->set_time(start);
    // HDT replaces in place; ALR queues behind, one slot each.
    const std::string alr = with_checksum("$IIALR,120000.00,001,A,V,Fire") + "\r\n";
    for (std::size_t k = 0; k < queue_slot_count; ++k) feed(*manager, 1, datagram(alr));
    EXPECT_EQ(manager->statistics().input(1).dropped[static_cast<std::size_t>(stream_drop::queue_full)], 1u);

    manager->set_time(start + max_sentence_age + std::chrono::seconds(1));
    EXPECT_TRUE(test::drain(*manager, 1).empty());
    EXPECT_EQ(manager->statistics().input(1).dropped[static_cast<std::size_t>(stream_drop::aged_out)],
              queue_slot_count - 1);
    EXPECT_EQ(manager->statistics().input(0).dropped, (std::array<std::uint64_t, stream_drop_count>{}));
}

}  // namespace
}  // namespace vorlane
