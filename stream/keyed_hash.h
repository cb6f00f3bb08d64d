#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>

namespace vorlane {

// A strongly universal hash (multilinear, over 32-bit pieces with 64-bit random multipliers;
// Lemire and Kaser, "Strongly universal string hashing is fast"). Anyone on the ship's network
// chooses the texts that the queues index by hash; without a key they could make every text fall
// on one chain and have each arriving sentence walk all of them. Under multipliers they do not
// know, any two texts they choose share a chain no more often than chance makes them, and the
// pieces are multiplied independently, so a hash costs a few cycles, not a round function.
class keyed_hash {
  public:
    // The most bytes hashed behind the head.
    static constexpr std::size_t max_length = 16;
    static constexpr std::size_t key_words = 4 + max_length / 4;

    explicit keyed_hash(const std::array<std::uint64_t, key_words>& multipliers) : key(multipliers) {}
    // Under multipliers drawn from the system's random source: each process keys its own.
    static keyed_hash with_random_key() {
        std::random_device source;
        std::array<std::uint64_t, key_words> multipliers{};
        for (std::uint64_t& word : multipliers) word = (std::uint64_t{source()} << 32) ^ source();
        return keyed_hash(multipliers);
    }

    // `head` and then `length` bytes of `data`, at most max_length. Only the high bits are
    // strongly universal: callers take those.
    std::uint64_t operator()(std::uint64_t head, const unsigned char* data, std::size_t length) const {
        std::array<std::uint32_t, max_length / 4> pieces{};
        std::memcpy(pieces.data(), data, length < max_length ? length : max_length);
        std::uint64_t sum = key[0] + key[1] * (head & 0xffffffffU) + key[2] * (head >> 32) + key[3] * length;
        for (std::size_t k = 0; k < pieces.size(); ++k) sum += key[4 + k] * pieces[k];
        return sum;
    }

  private:
    std::array<std::uint64_t, key_words> key;
};

}  // namespace vorlane
