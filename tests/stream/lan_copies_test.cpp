#include "stream/lan_copies.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorlane {
namespace {

// One header8 datagram as it arrives: on which input and LAN, when, and whether it is the
// second copy of one the other LAN brought.
struct arrival {
    std::int32_t input;
    std::int32_t lan;
    int at_ms;
    std::string payload;
    bool second_copy;
};

struct pairing_case {
    const char* name;
    std::vector<arrival> arrivals;
};

void PrintTo(const pairing_case& c, std::ostream* os) {
    *os << c.name;
}

const std::string heading = std::string("\0\0\0\0\0\0\0\0", 8) + "$HEHDT,101.5,T*2C\r\n";
const std::string other_heading = std::string("\0\0\0\0\0\0\0\0", 8) + "$HEHDT,101.6,T*2F\r\n";
constexpr std::int32_t a = lan_a;
constexpr std::int32_t b = lan_b;

class LanCopyPairing : public testing::TestWithParam<pairing_case> {};

TEST_P(LanCopyPairing, EachDatagramCancelsAtMostOneCopyFromTheOtherLan) {
    lan_copy_pairing pairing;
    const std::chrono::steady_clock::time_point start{};
    for (std::size_t k = 0; k < GetParam().arrivals.size(); ++k) {
        const arrival& d = GetParam().arrivals[k];
        EXPECT_EQ(pairing.second_copy(d.input, d.lan, reinterpret_cast<const std::uint8_t*>(d.payload.data()),
                                      d.payload.size(), start + std::chrono::milliseconds(d.at_ms)),
                  d.second_copy)
            << "arrival " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LanCopyPairing,
    testing::Values(
        pairing_case{"copy_on_lan_b_after_lan_a", {{0, a, 0, heading, false}, {0, b, 3, heading, true}}},
        pairing_case{"copy_on_lan_a_after_lan_b", {{0, b, 0, heading, false}, {0, a, 500, heading, true}}},
        pairing_case{"copy_later_than_the_window", {{0, a, 0, heading, false}, {0, b, 501, heading, false}}},
        pairing_case{"repeated_heading_on_one_lan_is_no_copy",
                     {{0, a, 0, heading, false},
                      {0, a, 100, heading, false},
                      {0, b, 101, heading, true},
                      {0, b, 102, heading, true},
                      {0, b, 103, heading, false}}},
        pairing_case{"a_matched_copy_cancels_nothing_more",
                     {{0, a, 0, heading, false}, {0, b, 1, heading, true}, {0, a, 2, heading, false}}},
        pairing_case{"other_bytes_are_no_copy", {{0, a, 0, heading, false}, {0, b, 1, other_heading, false}}},
        pairing_case{"other_input_is_no_copy", {{0, a, 0, heading, false}, {1, b, 1, heading, false}}},
        pairing_case{"copies_cross_in_either_order",
                     {{0, a, 0, heading, false},
                      {0, b, 0, other_heading, false},
                      {0, a, 1, other_heading, true},
                      {0, b, 1, heading, true}}}),
    [](const testing::TestParamInfo<pairing_case>& row) { return row.param.name; });

// A flood on one LAN pushes out the oldest datagrams kept: their late copies are served again,
// never a datagram lost.
TEST(LanCopyPairingFlood, ForgetsTheOldestWhenFull) {
    lan_copy_pairing pairing;
    const std::chrono::steady_clock::time_point now{};
    const auto datagram = [](std::size_t k) { return std::to_string(k) + heading; };
    for (std::size_t k = 0; k <= lan_copies_kept; ++k) {
        const std::string payload = datagram(k);
        ASSERT_FALSE(pairing.second_copy(0, a, reinterpret_cast<const std::uint8_t*>(payload.data()),
                                         payload.size(), now));
    }
    for (std::size_t k : {std::size_t{0}, std::size_t{1}, lan_copies_kept}) {
        const std::string payload = datagram(k);
        EXPECT_EQ(pairing.second_copy(0, b, reinterpret_cast<const std::uint8_t*>(payload.data()),
                                      payload.size(), now),
                  k != 0)
            << k;
    }
}

}  // namespace
}  // namespace vorlane
