#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/raw_udp.h"

namespace vorlane::bench {

inline constexpr std::size_t frame_length = 1400;

// A junction box's 1,400-byte frame with a correct UDP checksum.
inline std::vector<std::uint8_t> sample_frame() {
    udp_packet_spec spec;
    spec.source = {172, 31, 24, 10};
    spec.destination = {172, 31, 24, 1};
    spec.source_port = 50001;
    spec.destination_port = 10021;
    std::vector<std::uint8_t> payload(frame_length - 42);
    for (std::size_t k = 0; k < payload.size(); ++k) payload[k] = static_cast<std::uint8_t>('A' + k % 26);
    return ethernet_frame(build_udp_packet(spec, payload));
}

}  // namespace vorlane::bench
