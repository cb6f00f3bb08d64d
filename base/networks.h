#pragma once

namespace vorlane {

// How many bridge networks the gateway captures on: LAN A, on the adapter `input_ip` names, and
// LAN B, its redundant twin, on the adapter `input_ip_b` names when that is set. A frame keeps the
// number of the LAN it came on (0 for A, 1 for B) as far as the stream layer, which serves each
// line once whichever LAN brought it first.
inline constexpr int lan_count = 2;
inline constexpr int lan_a = 0;
inline constexpr int lan_b = 1;
// A LAN that brought a junction box's frame within this many seconds carries; one that has
// carried and then brings none for this long while the other still carries is reported. The
// boxes send several datagrams a second.
inline constexpr int lan_silence_seconds = 10;

// "A" or "B", as the operator's texts name a LAN.
inline constexpr const char* lan_name(int lan) {
    return lan == lan_b ? "B" : "A";
}

}  // namespace vorlane
