#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vorlane {

// Internet checksum arithmetic (RFC 1071), shared by the receive side's UDP check and the
// test traffic sender. Words are loaded in host byte order and a checksum is stored back the
// same way, which yields the network-order value on either byte order (RFC 1071, 2(B)), so no
// byte swapping is needed.
//
// A sum may be built from several pieces; every piece but the last must have an even length
// so that the 16-bit words of the whole stay aligned.
//
// Sixteen bytes are taken at a time as four 32-bit lanes whose two 16-bit halves are added
// lane-wise, which the compiler turns into a few vector instructions. In a 32-bit lane each step
// adds at most 2 * 0xFFFF, so the lanes are emptied into the 64-bit sum every 16384 steps, long
// before they could overflow; the sum itself cannot overflow below 2^47 bytes.
inline std::uint64_t checksum_add(std::uint64_t sum, const std::uint8_t* bytes, std::size_t length) {
    using lanes = std::uint32_t __attribute__((vector_size(16)));
    constexpr std::size_t steps_per_block = 16384;
    while (length >= 16) {
        lanes first = {}, second = {};
        std::size_t steps = std::min(length / 16, steps_per_block);
        length -= steps * 16;
        for (; steps >= 2; steps -= 2, bytes += 32) {
            lanes a, b;
            std::memcpy(&a, bytes, 16);
            std::memcpy(&b, bytes + 16, 16);
            first += (a & 0xFFFF) + (a >> 16);
            second += (b & 0xFFFF) + (b >> 16);
        }
        if (steps == 1) {
            lanes a;
            std::memcpy(&a, bytes, 16);
            first += (a & 0xFFFF) + (a >> 16);
            bytes += 16;
        }
        for (int k = 0; k < 4; ++k) sum += std::uint64_t{first[k]} + second[k];
    }
    if (length == 0) return sum;
    // The tail is padded with zero bytes, as the checksum of an odd length requires.
    std::uint8_t tail[16] = {};
    std::memcpy(tail, bytes, length);
    std::uint32_t words[4];
    std::memcpy(words, tail, 16);
    for (std::uint32_t word : words) sum += word;
    return sum;
}

// The sum folded to 16 bits with end-around carry.
inline std::uint16_t checksum_fold(std::uint64_t sum) {
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(sum);
}

// The value for a checksum field (in host-order load convention, see above) from the sum over
// everything the checksum covers with the field itself zero.
inline std::uint16_t checksum_field(std::uint64_t sum) {
    return static_cast<std::uint16_t>(~checksum_fold(sum));
}

}  // namespace vorlane
