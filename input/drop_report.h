#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capture/frame_ring.h"
#include "stream/drop_statistics.h"
#include "stream/output_datagrams.h"
#include "stream/source_selection.h"

namespace vorlane {

// Everything counted for one input: the frames the receive thread skipped and what the stream
// manager dropped, accepted and rejected.
struct input_drops {
    std::array<std::uint64_t, frame_skip_count> frames{};
    input_tally stream;
    // Clients of the input's output closed because they took nothing for too long.
    std::uint64_t clients_not_reading = 0;
    // What the input's output sent as UDP.
    udp_traffic udp;
    // Changes of the source the input's output serves for a formatter.
    std::uint64_t source_switches = 0;

    // The counts since an earlier copy.
    input_drops since(const input_drops& baseline) const;
    // Everything dropped: skipped frames, datagrams dropped whole, rejected sentences and
    // accepted ones that were never served.
    std::uint64_t dropped() const;
    // What arrived, counted the way dropped() counts: frames skipped, datagrams dropped whole,
    // lines dropped before the validator saw them, and sentences judged.
    std::uint64_t received() const;
};

struct drop_reason_count {
    std::string label;  // "RMC fewer fields", "bad UDP checksum"
    std::uint64_t count = 0;
};

// The source an output serves for each formatter that has one, "RMC GP0001, HDT HE0001"; empty
// without a source list or before a listed source was heard.
std::string served_sources_text(const source_selection& selection);

// The reasons that dropped anything, biggest first, at most `limit` of them.
std::vector<drop_reason_count> biggest_reasons(const input_drops& drops, std::size_t limit);

// One line for the event log, `input_number` counted from 1 as the operator knows the junction
// boxes: "Dropped in the last hour on input 1: 1212 of 5012 (RMC fewer fields 1200, ...)",
// with at most the five biggest reasons, then "; accepted in an earlier layout: RMC 12, GSA 3"
// and "; clients dropped on output 1: 2" when there were any.
std::string drop_line(std::string_view lead, int input_number, const input_drops& drops);

}  // namespace vorlane
