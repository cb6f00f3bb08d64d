#include "stream/lan_copies.h"

#include <cstring>

namespace vorlane {

namespace {

constexpr std::size_t ring_count = std::size_t{junction_box_count} * lan_count;

}  // namespace

lan_copy_pairing::lan_copy_pairing()
    : rings(std::make_unique<lan_ring[]>(ring_count)),
      bytes(std::make_unique<std::uint8_t[]>(ring_count * lan_copies_kept * max_lan_copy_length)),
      hash_of(keyed_hash::with_random_key()) {}

std::uint8_t* lan_copy_pairing::bytes_of(std::int32_t input, std::int32_t lan, std::size_t entry) {
    const std::size_t ring = static_cast<std::size_t>(input * lan_count + lan);
    return bytes.get() + (ring * lan_copies_kept + entry) * max_lan_copy_length;
}

bool lan_copy_pairing::second_copy(std::int32_t input, std::int32_t lan, const std::uint8_t* payload,
                                   std::size_t length, std::chrono::steady_clock::time_point now) {
    if (input < 0 || input >= junction_box_count || lan < 0 || lan >= lan_count ||
        length > max_lan_copy_length)
        return false;
    // The keyed hash only sorts out most unequal datagrams cheaply; equality is the bytes'.
    const std::uint64_t hash = hash_of(length, payload, length);
    const std::int32_t other = lan == lan_a ? lan_b : lan_a;
    lan_ring& theirs = rings[static_cast<std::size_t>(input * lan_count + other)];
    for (std::size_t k = 0; k < lan_copies_kept; ++k) {
        const std::size_t entry = (theirs.next + k) % lan_copies_kept;
        kept_copy& copy = theirs.copies[entry];
        if (!copy.waiting || copy.hash != hash || copy.length != length ||
            now - copy.received > lan_copy_window ||
            std::memcmp(bytes_of(input, other, entry), payload, length) != 0)
            continue;
        copy.waiting = false;
        return true;
    }
    lan_ring& ours = rings[static_cast<std::size_t>(input * lan_count + lan)];
    std::memcpy(bytes_of(input, lan, ours.next), payload, length);
    ours.copies[ours.next] = {now, hash, static_cast<std::uint32_t>(length), true};
    ours.next = (ours.next + 1) % lan_copies_kept;
    return false;
}

void lan_copy_pairing::forget_all() {
    for (std::size_t ring = 0; ring < ring_count; ++ring) rings[ring] = {};
}

}  // namespace vorlane
