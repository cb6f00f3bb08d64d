#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vorlane {

// SipHash-1-3 under a key of 128 bits. Anyone on the ship's network chooses the texts that the
// queues index by hash; without a key they could make every text fall on one chain and have each
// arriving sentence walk all of them. With a key they cannot know, collisions are as rare as
// chance makes them.
class keyed_hash {
  public:
    explicit keyed_hash(const std::array<std::uint64_t, 2>& key) : k0(key[0]), k1(key[1]) {}

    std::uint64_t operator()(const unsigned char* data, std::size_t length) const {
        std::uint64_t v0 = k0 ^ 0x736f6d6570736575ULL;
        std::uint64_t v1 = k1 ^ 0x646f72616e646f6dULL;
        std::uint64_t v2 = k0 ^ 0x6c7967656e657261ULL;
        std::uint64_t v3 = k1 ^ 0x7465646279746573ULL;
        const auto round = [&] {
            v0 += v1;
            v1 = std::rotl(v1, 13);
            v1 ^= v0;
            v0 = std::rotl(v0, 32);
            v2 += v3;
            v3 = std::rotl(v3, 16);
            v3 ^= v2;
            v0 += v3;
            v3 = std::rotl(v3, 21);
            v3 ^= v0;
            v2 += v1;
            v1 = std::rotl(v1, 17);
            v1 ^= v2;
            v2 = std::rotl(v2, 32);
        };
        const auto compress = [&](std::uint64_t word) {
            v3 ^= word;
            round();
            v0 ^= word;
        };
        std::size_t at = 0;
        for (; at + 8 <= length; at += 8) compress(little_endian(data + at, 8));
        compress(little_endian(data + at, length - at) | (static_cast<std::uint64_t>(length) << 56));
        v2 ^= 0xff;
        round();
        round();
        round();
        return v0 ^ v1 ^ v2 ^ v3;
    }

  private:
    static std::uint64_t little_endian(const unsigned char* bytes, std::size_t count) {
        std::uint64_t word = 0;
        for (std::size_t k = 0; k < count; ++k) word |= static_cast<std::uint64_t>(bytes[k]) << (8 * k);
        return word;
    }

    std::uint64_t k0;
    std::uint64_t k1;
};

}  // namespace vorlane
