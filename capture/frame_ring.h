#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace vorlane {

inline constexpr std::size_t max_frame_length = 1460;
inline constexpr std::size_t frame_ring_slots = 8192;

// One captured Ethernet frame as the main thread receives it. The UDP payload is
// frame_length - payload_offset bytes from payload_offset on, followed by a zero byte; the UDP
// length field is not consulted, so Ethernet padding of a short frame counts as payload.
struct rx_datagram {
    // Successor slot inside the ring; null in every copy handed out.
    rx_datagram* link = nullptr;
    // The frame from the destination MAC address on, then four zero bytes.
    std::uint8_t frame[max_frame_length + 4] = {};
    std::int32_t frame_length = 0;
    // 14 + 4 * IHL + 8: behind the Ethernet, IPv4 and UDP headers.
    std::int32_t payload_offset = 0;
    // The datagram carries a UDP checksum and it is wrong.
    bool bad_checksum = false;
    // 0 for a source address ending in .10 (junction box 1), 1 for .11 (box 2), -1 otherwise.
    std::int32_t input_index = 0;
};

// The hand-over from the receive thread to the main thread: a circle of slots allocated once, so
// that capturing allocates nothing per frame. Only the receive thread moves write_pos and only
// the main thread moves read_pos; the lock guards both and the slots between them. One slot
// always stays free so that equal positions mean empty: 8191 frames fit, not 8192.
class FrameRing {
  public:
    FrameRing();
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    // Receive thread: copies an Ethernet frame carrying IPv4 and UDP into the next slot, checks
    // its UDP checksum and sets its input index. False, and nothing stored, when the ring is full
    // or the frame is empty, longer than max_frame_length or too short for the headers its IPv4
    // header length announces.
    bool store_frame(const std::uint8_t* data, std::size_t length);
    // Main thread: copies the oldest frame out; false when there is none (or no record).
    bool take_datagram(rx_datagram* record);

  private:
    std::mutex lock;
    std::unique_ptr<rx_datagram[]> slot_storage;
    rx_datagram* write_pos;
    rx_datagram* read_pos;
};

}  // namespace vorlane
