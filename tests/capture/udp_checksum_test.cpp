#include "capture/udp_checksum.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace vorlane {
namespace {

// RFC 1071 word by word in network order, written for clarity instead of speed.
std::uint16_t reference_fold(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t sum = 0;
    for (std::size_t k = 0; k < bytes.size(); k += 2)
        sum += (std::uint32_t{bytes[k]} << 8) | (k + 1 < bytes.size() ? bytes[k + 1] : 0);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(sum);
}

// The host-order result as the bytes it would be stored as, read in network order.
std::uint16_t network_order(std::uint16_t host_order_value) {
    std::uint8_t bytes[2];
    std::memcpy(bytes, &host_order_value, 2);
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

TEST(UdpChecksum, AgreesWithTheReferenceForEveryLengthUpTo3000) {
    std::mt19937 random(61162);
    for (std::size_t length = 0; length <= 3000; ++length) {
        std::vector<std::uint8_t> bytes(length);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
        ASSERT_EQ(network_order(checksum_fold(checksum_add(0, bytes.data(), length))), reference_fold(bytes))
            << "length " << length;
    }
}

TEST(UdpChecksum, PiecesOfEvenLengthAddUpToTheWhole) {
    std::mt19937 random(450);
    std::vector<std::uint8_t> bytes(1461);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    for (std::size_t split : {0, 2, 6, 12, 14, 34, 1000, 1460}) {
        const std::uint64_t sum =
            checksum_add(checksum_add(0, bytes.data(), split), bytes.data() + split, bytes.size() - split);
        EXPECT_EQ(network_order(checksum_fold(sum)), reference_fold(bytes)) << "split at " << split;
    }
}

// All ones makes every partial sum as large as it can be: long inputs must not overflow.
TEST(UdpChecksum, LongRunsOfOnesDoNotOverflow) {
    const std::vector<std::uint8_t> bytes(3 * 16384 * 16 + 10, 0xFF);
    EXPECT_EQ(network_order(checksum_fold(checksum_add(0, bytes.data(), bytes.size()))),
              reference_fold(bytes));
}

TEST(UdpChecksum, FieldMakesTheWholeFoldToAllOnes) {
    std::vector<std::uint8_t> bytes = {0x45, 0x00, 0x00, 0x1c, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11,
                                       0x00, 0x00, 0x7f, 0x00, 0x00, 0x0a, 0x7f, 0x00, 0x00, 0x01};
    const std::uint16_t field = checksum_field(checksum_add(0, bytes.data(), bytes.size()));
    std::memcpy(&bytes[10], &field, 2);
    EXPECT_EQ(checksum_fold(checksum_add(0, bytes.data(), bytes.size())), 0xFFFF);
}

}  // namespace
}  // namespace vorlane
