#include "capture/frame_ring.h"

#include <cstring>

#include "capture/udp_checksum.h"

namespace vorlane {

namespace {

constexpr std::size_t ethernet_header_length = 14;
constexpr std::size_t min_ipv4_header_length = 20;
constexpr std::size_t udp_header_length = 8;
// IPv4 header fields by their offset in the frame; with time-to-live zeroed and the UDP length in
// place of the header checksum, bytes 22 to 33 are the UDP pseudo-header.
constexpr std::size_t ttl_at = ethernet_header_length + 8;
constexpr std::size_t header_checksum_at = ethernet_header_length + 10;
constexpr std::size_t source_last_byte_at = ethernet_header_length + 15;
constexpr std::size_t pseudo_header_at = ttl_at;
constexpr std::size_t pseudo_header_length = 12;

// The junction boxes are told apart by the last byte of their source address.
std::int32_t input_of_source(std::uint8_t last_byte) {
    switch (last_byte) {
        case 10:
            return 0;
        case 11:
            return 1;
        default:
            return -1;
    }
}

// Verifies the UDP checksum of the frame in a slot over the pseudo-header, the UDP header and
// everything after it to the end of the captured frame. The pseudo-header is built in place from
// the IPv4 header's tail, so the slot's copy keeps a time-to-live of zero and the UDP length in
// place of the header checksum; the payload is not touched.
bool udp_checksum_good(std::uint8_t* frame, std::size_t udp_at, std::size_t length) {
    frame[ttl_at] = 0;
    frame[header_checksum_at] = frame[udp_at + 4];
    frame[header_checksum_at + 1] = frame[udp_at + 5];
    std::uint64_t sum = checksum_add(0, frame + pseudo_header_at, pseudo_header_length);
    sum = checksum_add(sum, frame + udp_at, length - udp_at);
    return checksum_fold(sum) == 0xFFFF;
}

}  // namespace

FrameRing::FrameRing() : slot_storage(std::make_unique<rx_datagram[]>(frame_ring_slots)) {
    for (std::size_t k = 0; k < frame_ring_slots; ++k) slot_storage[k].link = &slot_storage[(k + 1) % frame_ring_slots];
    write_pos = read_pos = &slot_storage[0];
}

bool FrameRing::store_frame(const std::uint8_t* data, std::size_t length) {
    if (data == nullptr || length == 0 || length > max_frame_length) return false;
    // A header length field that puts the UDP header beyond the captured bytes would make the
    // checksum read past the frame and the payload length negative: such a frame is dropped.
    if (length < ethernet_header_length + min_ipv4_header_length + udp_header_length) return false;
    const std::size_t ipv4_header_length = 4 * (data[ethernet_header_length] & 0x0F);
    const std::size_t udp_at = ethernet_header_length + ipv4_header_length;
    if (ipv4_header_length < min_ipv4_header_length || length < udp_at + udp_header_length) return false;

    const std::lock_guard guard(lock);
    if (write_pos->link == read_pos) return false;
    rx_datagram& slot = *write_pos;
    std::memcpy(slot.frame, data, length);
    std::memset(slot.frame + length, 0, 4);
    slot.frame_length = static_cast<std::int32_t>(length);
    const bool has_checksum = slot.frame[udp_at + 6] != 0 || slot.frame[udp_at + 7] != 0;
    slot.bad_checksum = has_checksum && !udp_checksum_good(slot.frame, udp_at, length);
    slot.input_index = input_of_source(slot.frame[source_last_byte_at]);
    slot.payload_offset = static_cast<std::int32_t>(udp_at + udp_header_length);
    write_pos = write_pos->link;
    return true;
}

bool FrameRing::take_datagram(rx_datagram* record) {
    if (record == nullptr) return false;
    const std::lock_guard guard(lock);
    if (read_pos == write_pos) return false;
    // The frame and its four zero bytes, not the whole slot: most datagrams are far shorter than
    // a slot. Bytes beyond them mean nothing in the record.
    const rx_datagram& slot = *read_pos;
    std::memcpy(record->frame, slot.frame, static_cast<std::size_t>(slot.frame_length) + 4);
    record->frame_length = slot.frame_length;
    record->payload_offset = slot.payload_offset;
    record->bad_checksum = slot.bad_checksum;
    record->input_index = slot.input_index;
    record->link = nullptr;
    read_pos = read_pos->link;
    return true;
}

}  // namespace vorlane
