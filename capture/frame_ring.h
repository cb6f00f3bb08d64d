#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace vorlane {

// A 1500-byte IPv4 packet behind an Ethernet header and two VLAN tags (802.1ad outside,
// 802.1Q inside): the largest frame a junction box's datagram arrives in on a 1500-MTU network.
inline constexpr std::size_t max_frame_length = 1522;
inline constexpr std::size_t frame_ring_slots = 8192;

using ipv4_octets = std::array<std::uint8_t, 4>;

// One captured Ethernet frame as the main thread receives it. The UDP payload is
// frame_length - payload_offset bytes from payload_offset on, followed by a zero byte; the UDP
// length field is not consulted, so Ethernet padding of a short frame counts as payload.
struct rx_datagram {
    // Successor slot inside the ring; null in every copy handed out.
    rx_datagram* link = nullptr;
    // The frame from the destination MAC address on, then four zero bytes.
    std::uint8_t frame[max_frame_length + 4] = {};
    std::int32_t frame_length = 0;
    // Behind the Ethernet header, its VLAN tags, the IPv4 header and the UDP header.
    std::int32_t payload_offset = 0;
    // The datagram carries a UDP checksum and it is wrong.
    bool bad_checksum = false;
    // Which configured junction box sent the frame: 0 or 1, -1 for any other source.
    std::int32_t input_index = 0;
};

// The hand-over from the receive thread to the main thread: a circle of slots allocated once, so
// that capturing allocates nothing per frame. Only the receive thread moves write_pos and only
// the main thread moves read_pos; the lock guards both. One slot always stays free so that equal
// positions mean empty: 8191 frames fit, not 8192. The slot at write_pos belongs to the receive
// thread and the slot at read_pos, once it is not write_pos, to the main thread, so each copies
// its frame without holding the lock.
class FrameRing {
  public:
    FrameRing();
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    // Receive thread, between captures: the configured source address of junction box 1 and 2.
    // A frame from neither gets input index -1; all-zero addresses match nothing.
    void set_sources(const std::array<ipv4_octets, 2>& sources);

    // Receive thread: copies an Ethernet frame carrying one whole IPv4 UDP datagram (behind any
    // number of VLAN tags) into the next slot, checks its UDP checksum and sets its input index.
    // False, and nothing stored, when the ring is full or the frame is anything else: not IPv4,
    // not UDP, a fragment, longer than max_frame_length or shorter than its headers.
    bool store_frame(const std::uint8_t* data, std::size_t length);
    // Receive thread, after each frame: true when the main thread must be notified, that is when
    // no notification is pending. The main thread's take_datagram that finds the ring empty
    // makes the next frame notify again, so a stalled main thread has at most one waiting.
    bool claim_notification() { return !notification_pending.exchange(true); }
    // Main thread: copies the oldest frame out; false when there is none (or no record).
    bool take_datagram(rx_datagram* record);

  private:
    std::mutex lock;
    std::unique_ptr<rx_datagram[]> slot_storage;
    rx_datagram* write_pos;
    rx_datagram* read_pos;
    std::atomic<bool> notification_pending{false};
    std::array<ipv4_octets, 2> source_addresses{};
};

}  // namespace vorlane
