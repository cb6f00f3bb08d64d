#include "capture/frame_ring.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

#include "base/catalogue.h"
#include "capture/udp_checksum.h"

namespace vorlane {

namespace {

constexpr std::size_t ethertype_at = 12;
constexpr std::size_t vlan_tag_length = 4;
constexpr std::uint16_t ethertype_ipv4 = 0x0800;
// 802.1Q, 802.1ad and the pre-standard stacked tag: the kernel may hand any of them over in the
// frame, and a priority-tagged frame (VLAN 0) carries one as well.
constexpr std::uint16_t vlan_ethertypes[] = {0x8100, 0x88A8, 0x9100};
constexpr std::size_t min_ipv4_header_length = 20;
constexpr std::size_t udp_header_length = 8;
constexpr std::uint8_t protocol_udp = 17;
// IPv4 header fields by their offset from the header's start; with time-to-live zeroed and the
// UDP length in place of the header checksum, the 12 bytes from the time-to-live on are the UDP
// pseudo-header.
constexpr std::size_t total_length_at = 2;
constexpr std::size_t flags_and_offset_at = 6;
constexpr std::size_t ttl_at = 8;
constexpr std::size_t protocol_at = 9;
constexpr std::size_t header_checksum_at = 10;
constexpr std::size_t source_at = 12;
constexpr std::size_t destination_at = 16;
constexpr std::size_t udp_destination_port_at = 2;
constexpr std::size_t pseudo_header_length = 12;
// More Fragments and the 13-bit fragment offset.
constexpr std::uint16_t fragment_bits = 0x3FFF;

std::uint16_t read16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] << 8 | at[1]);
}

struct frame_skip_row {
    frame_skip skip;
    const char* label;
};

constexpr std::array frame_skip_catalogue{
    frame_skip_row{frame_skip::not_ipv4_udp, "not IPv4 UDP"},
    frame_skip_row{frame_skip::fragment, "fragment"},
    frame_skip_row{frame_skip::oversize, "oversize frame"},
    frame_skip_row{frame_skip::ring_full, "ring full"},
    frame_skip_row{frame_skip::unconfigured_source, "unconfigured source"},
};

static_assert(rows_follow_enum<&frame_skip_row::skip>(frame_skip_catalogue),
              "catalogue rows must follow the enum order");
static_assert(frame_skip_catalogue.size() == frame_skip_count);

// Where the IPv4 header of a frame starts, behind any number of VLAN tags; false when the frame
// carries no IPv4 header whose fixed part lies within it.
bool locate_ipv4(const std::uint8_t* data, std::size_t length, std::size_t& ip_at) {
    std::size_t type_at = ethertype_at;
    for (;; type_at += vlan_tag_length) {
        if (length < type_at + 2) return false;
        const std::uint16_t type = read16(data + type_at);
        if (type == ethertype_ipv4) break;
        if (std::find(std::begin(vlan_ethertypes), std::end(vlan_ethertypes), type) ==
            std::end(vlan_ethertypes))
            return false;
    }
    ip_at = type_at + 2;
    return length >= ip_at + min_ipv4_header_length && data[ip_at] >> 4 == 4;
}

// Verifies the UDP checksum of the frame in a slot over the pseudo-header, the UDP header and
// everything after it to the end of the captured frame. The pseudo-header is built in place from
// the IPv4 header's tail, so the slot's copy keeps a time-to-live of zero and the UDP length in
// place of the header checksum; the payload is not touched.
bool udp_checksum_good(std::uint8_t* frame, std::size_t ip_at, std::size_t udp_at, std::size_t length) {
    frame[ip_at + ttl_at] = 0;
    frame[ip_at + header_checksum_at] = frame[udp_at + 4];
    frame[ip_at + header_checksum_at + 1] = frame[udp_at + 5];
    std::uint64_t sum = checksum_add(0, frame + ip_at + ttl_at, pseudo_header_length);
    sum = checksum_add(sum, frame + udp_at, length - udp_at);
    return checksum_fold(sum) == 0xFFFF;
}

}  // namespace

std::array<input_address, junction_box_count> input_addresses(
    const std::array<std::string, junction_box_count>& sources,
    const std::array<std::string, junction_box_count>& destinations,
    const std::array<std::int32_t, junction_box_count>& ports) {
    std::array<input_address, junction_box_count> inputs{};
    for (std::size_t input = 0; input < inputs.size(); ++input) {
        input_address& address = inputs[input];
        const bool usable =
            inet_pton(AF_INET, sources[input].c_str(), address.source.data()) == 1 &&
            inet_pton(AF_INET, destinations[input].c_str(), address.destination.data()) == 1 &&
            ports[input] >= 1 && ports[input] <= 65535;
        address = usable ? input_address{address.source, address.destination,
                                         static_cast<std::uint16_t>(ports[input])}
                         : input_address{};
    }
    return inputs;
}

// A fragment is refused whole: the first one would give a datagram cut short (its checksum
// fails, or worse its first lines pass), and the later ones carry no UDP header at all.
bool locate_headers(const std::uint8_t* data, std::size_t length, std::size_t& ip_at, std::size_t& udp_at,
                    frame_skip& why) {
    why = frame_skip::not_ipv4_udp;
    if (!locate_ipv4(data, length, ip_at)) return false;
    if (length < ip_at + min_ipv4_header_length + udp_header_length) return false;
    const std::size_t ipv4_header_length = 4 * (data[ip_at] & 0x0F);
    if (ipv4_header_length < min_ipv4_header_length) return false;
    if (data[ip_at + protocol_at] != protocol_udp) return false;
    if ((read16(data + ip_at + flags_and_offset_at) & fragment_bits) != 0) {
        why = frame_skip::fragment;
        return false;
    }
    udp_at = ip_at + ipv4_header_length;
    return length >= udp_at + udp_header_length;
}

const char* label_of(frame_skip skip) {
    return frame_skip_catalogue[static_cast<std::size_t>(skip)].label;
}

FrameRing::FrameRing() : slot_storage(std::make_unique<rx_datagram[]>(frame_ring_slots)) {
    for (std::size_t k = 0; k < frame_ring_slots; ++k)
        slot_storage[k].link = &slot_storage[(k + 1) % frame_ring_slots];
    write_pos = read_pos = &slot_storage[0];
}

void FrameRing::set_inputs(const std::array<input_address, junction_box_count>& configured) {
    inputs = configured;
}

std::int32_t FrameRing::input_of(const std::uint8_t* ip_header, const std::uint8_t* udp_header) const {
    for (std::int32_t input = 0; input < junction_box_count; ++input) {
        const input_address& configured = inputs[static_cast<std::size_t>(input)];
        if (configured.source == ipv4_octets{} ||
            !std::equal(configured.source.begin(), configured.source.end(), ip_header + source_at) ||
            !std::equal(configured.destination.begin(), configured.destination.end(),
                        ip_header + destination_at))
            continue;
        if (udp_header == nullptr ||
            read16(udp_header + udp_destination_port_at) == configured.destination_port)
            return input;
    }
    return -1;
}

void FrameRing::skip_frame(const std::uint8_t* data, std::size_t length, frame_skip why) {
    std::size_t row = unknown_source_row;
    std::size_t ip_at = 0;
    std::size_t udp_at = 0;
    frame_skip ignored = why;
    if (data != nullptr && locate_ipv4(data, length, ip_at)) {
        const bool has_udp = locate_headers(data, length, ip_at, udp_at, ignored);
        if (const std::int32_t input = input_of(data + ip_at, has_udp ? data + udp_at : nullptr); input >= 0)
            row = static_cast<std::size_t>(input);
    }
    skipped_frames[row][static_cast<std::size_t>(why)].fetch_add(1, std::memory_order_relaxed);
}

bool FrameRing::store_frame(const std::uint8_t* data, std::size_t length, frame_skip* why) {
    const auto skip = [&](frame_skip reason) {
        skip_frame(data, length, reason);
        if (why != nullptr) *why = reason;
        return false;
    };
    if (data == nullptr) return false;
    std::size_t ip_at = 0;
    std::size_t udp_at = 0;
    if (frame_skip reason; !locate_headers(data, length, ip_at, udp_at, reason))
        return skip(length > max_frame_length ? frame_skip::oversize : reason);
    // The datagram ends where its IPv4 header says, not where the frame does: a PRP node puts a
    // 6-byte redundancy trailer behind it, and a short frame carries Ethernet padding. Either,
    // summed in, would fail a good checksum or lengthen the payload. Only the datagram is kept,
    // so the trailer does not count against the slot either.
    const std::size_t datagram_end = ip_at + read16(data + ip_at + total_length_at);
    if (datagram_end < udp_at + udp_header_length) return skip(frame_skip::not_ipv4_udp);
    if (datagram_end > length || datagram_end > max_frame_length) return skip(frame_skip::oversize);
    length = datagram_end;
    const std::int32_t input = input_of(data + ip_at, data + udp_at);
    if (input < 0) return skip(frame_skip::unconfigured_source);

    rx_datagram* slot = nullptr;
    {
        const std::lock_guard guard(lock);
        if (write_pos->link != read_pos) slot = write_pos;
    }
    if (slot == nullptr) return skip(frame_skip::ring_full);
    std::memcpy(slot->frame, data, length);
    std::memset(slot->frame + length, 0, 4);
    slot->frame_length = static_cast<std::int32_t>(length);
    const bool has_checksum = slot->frame[udp_at + 6] != 0 || slot->frame[udp_at + 7] != 0;
    slot->bad_checksum = has_checksum && !udp_checksum_good(slot->frame, ip_at, udp_at, length);
    slot->input_index = input;
    slot->payload_offset = static_cast<std::int32_t>(udp_at + udp_header_length);

    const std::lock_guard guard(lock);
    write_pos = write_pos->link;
    return true;
}

bool FrameRing::store_captured(const std::uint8_t* data, std::size_t captured, std::size_t wire_length,
                               frame_skip* why) {
    // The wire length may count bytes behind the datagram that the capture left off (a frame
    // check sequence, padding); what matters is whether the IPv4 datagram itself is whole.
    std::size_t ip_at = 0;
    const bool cut_short =
        wire_length > captured && (data == nullptr || !locate_ipv4(data, captured, ip_at) ||
                                   ip_at + read16(data + ip_at + total_length_at) > captured);
    if (cut_short) {
        skip_frame(data, captured, frame_skip::oversize);
        if (why != nullptr) *why = frame_skip::oversize;
        return false;
    }
    return store_frame(data, captured, why);
}

bool FrameRing::take_datagram(rx_datagram* record) {
    if (record == nullptr) return false;
    const rx_datagram* slot = nullptr;
    {
        const std::lock_guard guard(lock);
        if (read_pos == write_pos) {
            // Under the lock: a frame stored after this point sees the flag clear and notifies.
            notification_pending = false;
            return false;
        }
        slot = read_pos;
    }
    // The frame and its four zero bytes, not the whole slot: most datagrams are far shorter than
    // a slot. Bytes beyond them mean nothing in the record.
    std::memcpy(record->frame, slot->frame, static_cast<std::size_t>(slot->frame_length) + 4);
    record->frame_length = slot->frame_length;
    record->payload_offset = slot->payload_offset;
    record->bad_checksum = slot->bad_checksum;
    record->input_index = slot->input_index;
    record->link = nullptr;

    const std::lock_guard guard(lock);
    read_pos = read_pos->link;
    return true;
}

}  // namespace vorlane
