#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/raw_udp.h"

namespace vorlane::test {

// An Ethernet frame carrying one UDP datagram from the junction box whose source address ends
// in source_last_byte to 172.31.24.1, port 10021.
inline std::vector<std::uint8_t> box_frame(std::uint8_t source_last_byte, const std::string& payload,
                                           udp_checksum_kind checksum = udp_checksum_kind::correct) {
    udp_packet_spec spec;
    spec.source = {172, 31, 24, source_last_byte};
    spec.destination = {172, 31, 24, 1};
    spec.source_port = 50001;
    spec.destination_port = 10021;
    spec.checksum = checksum;
    const std::vector<std::uint8_t> bytes(payload.begin(), payload.end());
    return ethernet_frame(build_udp_packet(spec, bytes));
}

// A frame of exactly `length` bytes (at least 42), its payload filled with a repeating pattern.
inline std::vector<std::uint8_t> frame_of_length(std::size_t length,
                                                 udp_checksum_kind checksum = udp_checksum_kind::correct) {
    std::string payload(length - 42, '\0');
    for (std::size_t k = 0; k < payload.size(); ++k) payload[k] = static_cast<char>('A' + k % 26);
    return box_frame(10, payload, checksum);
}

// The frame with VLAN tags (tag protocol identifier, tag control information) inserted behind
// its MAC addresses, outermost first.
inline std::vector<std::uint8_t> with_tags(std::vector<std::uint8_t> frame,
                                           const std::vector<std::pair<std::uint16_t, std::uint16_t>>& tags) {
    std::vector<std::uint8_t> inserted;
    for (const auto& [protocol, control] : tags)
        inserted.insert(inserted.end(),
                        {static_cast<std::uint8_t>(protocol >> 8), static_cast<std::uint8_t>(protocol),
                         static_cast<std::uint8_t>(control >> 8), static_cast<std::uint8_t>(control)});
    frame.insert(frame.begin() + 12, inserted.begin(), inserted.end());
    return frame;
}

}  // namespace vorlane::test
