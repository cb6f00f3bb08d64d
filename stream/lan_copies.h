#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/junction_boxes.h"
#include "base/networks.h"
#include "stream/keyed_hash.h"
#include "stream/sender_identity.h"

namespace vorlane {

// On two LANs every datagram comes twice, once on each, milliseconds to some hundred
// milliseconds apart. A header8 datagram carries no line count, so its second copy is known by
// its bytes: equal to one that came on the other LAN at most lan_copy_window before and is not yet
// matched. Each datagram matches at most one copy, the oldest: a sensor that sends the same
// heading twice on one LAN has both served, and a host on one LAN can cancel no more of the other
// LAN's datagrams than it sends exact copies of, which the other LAN would have brought anyway.
inline constexpr std::chrono::milliseconds lan_copy_window{500};
// Unmatched datagrams kept per input and LAN: the window at over 500 datagrams a second. When
// more arrive, the oldest is forgotten, and its copy, should it still come, is served again:
// a line twice, never a line lost.
inline constexpr std::size_t lan_copies_kept = 256;
// The longest UDP payload a captured frame carries (a 1500-byte IPv4 packet); a longer
// datagram is never paired.
inline constexpr std::size_t max_lan_copy_length = 1480;

// The unmatched datagrams of each input and LAN, in storage allocated once. Main thread only;
// nothing here allocates after construction.
class lan_copy_pairing {
  public:
    lan_copy_pairing();
    // True when the datagram that came on `lan` at `now` is the second copy of one kept from the
    // other LAN, which is then matched; otherwise it is kept for the other LAN's copy.
    bool second_copy(std::int32_t input, std::int32_t lan, const std::uint8_t* payload, std::size_t length,
                     std::chrono::steady_clock::time_point now);
    // Everything kept is forgotten: the LANs were opened afresh.
    void forget_all();

  private:
    struct kept_copy {
        std::chrono::steady_clock::time_point received{};
        std::uint64_t hash = 0;
        std::uint32_t length = 0;
        bool waiting = false;
    };
    struct lan_ring {
        std::array<kept_copy, lan_copies_kept> copies{};
        // The oldest entry, which the next datagram kept takes the place of.
        std::size_t next = 0;
    };

    std::uint8_t* bytes_of(std::int32_t input, std::int32_t lan, std::size_t entry);

    std::unique_ptr<lan_ring[]> rings;
    std::unique_ptr<std::uint8_t[]> bytes;
    keyed_hash hash_of;
};

// What the hand-over keeps beside the stream manager: the junction boxes' senders as each LAN
// sees them (on LAN B a box may send from another Ethernet address, and a host that copies the
// box's address on one LAN proves nothing on the other), and the header8 datagrams awaiting their
// copy from the other LAN.
struct lan_receivers {
    std::array<sender_identity, lan_count> senders;
    lan_copy_pairing pairing;
    // LAN B is configured; with one LAN nothing is paired.
    bool two_lans = false;

    // The LANs in use: A, or A and B.
    int lans() const { return two_lans ? lan_count : 1; }
};

}  // namespace vorlane
