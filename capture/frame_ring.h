#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/junction_boxes.h"

namespace vorlane {

// A 1500-byte IPv4 packet behind an Ethernet header and two VLAN tags (802.1ad outside,
// 802.1Q inside): the largest frame a junction box's datagram arrives in on a 1500-MTU network.
inline constexpr std::size_t max_frame_length = 1522;
inline constexpr std::size_t frame_ring_slots = 8192;

using ipv4_octets = std::array<std::uint8_t, 4>;
// What tells one junction box's datagrams from the other's: one sender may feed both boxes'
// inputs on two ports or to two multicast groups, so the source address alone does not.
struct input_address {
    ipv4_octets source{};
    ipv4_octets destination{};
    std::uint16_t destination_port = 0;
};
// The configured addresses as FrameRing::set_inputs takes them; an address text that is not
// IPv4, or a port outside 1 to 65535, gives an input that matches nothing.
std::array<input_address, junction_box_count> input_addresses(
    const std::array<std::string, junction_box_count>& sources,
    const std::array<std::string, junction_box_count>& destinations,
    const std::array<std::int32_t, junction_box_count>& ports);

// Why a frame did not go into the ring; each has one row in the catalogue in frame_ring.cpp.
enum class frame_skip : std::uint8_t {
    not_ipv4_udp,  // another protocol, or headers cut short
    fragment,      // part of a fragmented datagram: dropped whole
    oversize,      // longer than max_frame_length, or not captured whole
    ring_full,
    unconfigured_source,  // matches neither junction box's source, destination and port
};
inline constexpr std::size_t frame_skip_count = static_cast<std::size_t>(frame_skip::unconfigured_source) + 1;
// "fragment", as counts and summaries name the skip.
const char* label_of(frame_skip skip);

// Skipped frames are counted per input; a frame whose addresses cannot be read, or are neither
// junction box's, in a third row.
inline constexpr std::size_t unknown_source_row = junction_box_count;
inline constexpr std::size_t frame_count_rows = unknown_source_row + 1;

// Where the IPv4 and UDP headers of a frame start; false, with the reason, for anything but one
// whole IPv4 UDP datagram whose headers lie within the frame. Any number of VLAN tags may stand
// in front of the IPv4 header.
bool locate_headers(const std::uint8_t* data, std::size_t length, std::size_t& ip_at, std::size_t& udp_at,
                    frame_skip& why);

// One captured Ethernet frame as the main thread receives it, up to the end of its IPv4 datagram
// (a redundancy trailer or Ethernet padding behind it is left off). The UDP payload is
// frame_length - payload_offset bytes from payload_offset on, followed by a zero byte; the UDP
// length field is not consulted.
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
    // Which configured junction box sent the frame: 0 or 1.
    std::int32_t input_index = 0;
    // Which LAN it came on: 0 for A, 1 for B. The ring does not set it: whoever takes the frame
    // out of a LAN's ring knows the LAN and sets it.
    std::int32_t lan = 0;
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

    // Receive thread, between captures: the configured addresses of junction box 1 and 2. A
    // frame's input is the first whose source, destination and destination port it carries;
    // all-zero addresses match nothing.
    void set_inputs(const std::array<input_address, junction_box_count>& inputs);

    // Receive thread: copies an Ethernet frame carrying one whole IPv4 UDP datagram (behind any
    // number of VLAN tags) of a configured junction box into the next slot, checks its UDP
    // checksum and sets its input index. False, and nothing stored, when the ring is full or the
    // frame is anything else: not IPv4, not UDP, a fragment, a datagram that ends beyond the frame
    // or beyond max_frame_length, shorter than its headers, or of neither junction box. A skipped
    // frame is counted, and `why`, when given, says why.
    bool store_frame(const std::uint8_t* data, std::size_t length, frame_skip* why = nullptr);
    // Receive thread: store_frame for a frame as the capture library delivers it, `captured` of
    // its `wire_length` bytes. One that was longer on the wire than captured is skipped as
    // oversize when its IPv4 datagram (by the header's total length) was not captured whole.
    bool store_captured(const std::uint8_t* data, std::size_t captured, std::size_t wire_length,
                        frame_skip* why = nullptr);
    // Any thread: frames skipped so far for a row (input 0 or 1, or unknown_source_row).
    std::uint64_t skipped(std::size_t row, frame_skip why) const {
        return skipped_frames[row][static_cast<std::size_t>(why)].load(std::memory_order_relaxed);
    }
    // Receive thread, after each frame: true when the main thread must be notified, that is when
    // no notification is pending. The main thread's take_datagram that finds the ring empty
    // makes the next frame notify again, so a stalled main thread has at most one waiting.
    bool claim_notification() { return !notification_pending.exchange(true); }
    // Main thread: copies the oldest frame out; false when there is none (or no record).
    bool take_datagram(rx_datagram* record);

  private:
    // Counts a skipped frame in the row of the junction box that sent it.
    void skip_frame(const std::uint8_t* data, std::size_t length, frame_skip why);
    // 0 or 1 for the junction box whose addresses the frame's IPv4 header carries, -1 for
    // neither. Without the UDP header (a later fragment) the port is not compared.
    std::int32_t input_of(const std::uint8_t* ip_header, const std::uint8_t* udp_header) const;

    std::mutex lock;
    std::unique_ptr<rx_datagram[]> slot_storage;
    rx_datagram* write_pos;
    rx_datagram* read_pos;
    std::atomic<bool> notification_pending{false};
    std::array<input_address, junction_box_count> inputs{};
    // Written by the receive thread only, read by the main thread for its counts.
    std::array<std::array<std::atomic<std::uint64_t>, frame_skip_count>, frame_count_rows> skipped_frames{};
};

}  // namespace vorlane
