#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/networks.h"
#include "input/drop_report.h"
#include "stream/nmea_manager.h"
#include "stream/output_datagrams.h"

namespace vorlane {

// What an output has written to its clients since start: a batch counts once for every client
// it was written to.
struct output_traffic {
    std::uint64_t batches = 0;
    std::uint64_t bytes = 0;
};

struct input_facts {
    std::string adapter;  // the address of the adapter captured on, as set
    std::string source;   // the junction box's address
    std::string destination;
    std::int32_t port = 0;
    std::string format;
    bool open = false;
    input_drops counts;  // since start; the Statistics window's Reset leaves them alone
    // Each LAN in use (A, or A and B): the junction box's frames it brought since the input
    // opened, and whether it carries them now.
    int lans = 1;
    std::array<std::uint64_t, lan_count> lan_frames{};
    std::array<bool, lan_count> lan_carries{};
};

struct output_facts {
    std::string address;
    std::int32_t port = 0;
    bool listening = false;
    int clients = 0;
    output_traffic sent;
    // Clients the output closed on because they took nothing for too long.
    std::uint64_t clients_dropped = 0;
    // Where the output also sends UDP datagrams, as set; empty when it does not.
    std::string udp_destination;
    udp_traffic udp;
    // The source served for each formatter that has one, "RMC GP0001, HDT HE0001", and how often
    // a formatter's served source changed; both empty without a source list.
    std::string served_sources;
    std::uint64_t source_switches = 0;
};

// The gateway as the ship's monitoring sees it, read on the main thread when a request comes.
struct status_facts {
    std::string status;
    std::array<input_facts, junction_box_count> inputs;
    std::array<output_facts, output_count> outputs;
};

// Where the status listener reads the gateway's state: the controller answers with a copy, so a
// request never reaches into the data path.
class status_source {
  public:
    virtual status_facts current_status() const = 0;

  protected:
    ~status_source() = default;
};

inline std::uint64_t accepted_sentences(const input_drops& counts) {
    std::uint64_t total = 0;
    for (const formatter_tally& formatter : counts.stream.formatters) total += formatter.accepted;
    return total;
}

inline std::uint64_t rejected_sentences(const input_drops& counts) {
    std::uint64_t total = 0;
    for (const formatter_tally& formatter : counts.stream.formatters) total += formatter.rejected_total();
    return total;
}

// Every kind of frame, datagram or line dropped outside the validator, in the order of the
// capture's and the stream manager's tables, so that a kind added there appears everywhere the
// status is shown: visit(layer, label, count).
template <typename Visit>
void for_each_drop_kind(const input_drops& drops, Visit visit) {
    for (std::size_t k = 0; k < frame_skip_count; ++k)
        visit("capture", label_of(static_cast<frame_skip>(k)), drops.frames[k]);
    for (std::size_t k = 0; k < stream_drop_count; ++k)
        visit("stream", label_of(static_cast<stream_drop>(k)), drops.stream.dropped[k]);
}

}  // namespace vorlane
