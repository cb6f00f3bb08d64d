#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "base/junction_boxes.h"
#include "base/networks.h"

namespace vorlane {

// Where the read-only status listener for the ship's monitoring answers unless the settings say
// otherwise: this computer only.
inline constexpr const char* default_status_ip = "127.0.0.1";
inline constexpr std::int32_t default_status_port = 14080;
// Any number of displays may connect, but no host on the network may take every descriptor and
// the main loop's time: a bridge has a handful of displays, a few per computer.
inline constexpr std::int32_t default_max_clients_per_host = 16;
inline constexpr std::int32_t default_max_clients_per_port = 512;
// How long an output's served source of a value (position, heading, depth) may be silent before
// the next listed source takes over: three lines of a 1 Hz sensor, so that one lost datagram
// does not move the display to another sensor.
inline constexpr std::int32_t default_failover_seconds = 3;

// Every setting of the program in one record. The process builds one instance at start-up
// and every part reads its fields directly; after start-up only the configuration window
// changes them (and the reload after its Save).
struct config_manager {
    std::string input_ip;
    std::string output_ip;
    std::int32_t max_log_lines = 0;
    std::int32_t output_port[output_count] = {};
    std::string input_src_ip[junction_box_count];
    std::string input_dest_ip[junction_box_count];
    std::int32_t input_port[junction_box_count] = {};
    // How each junction box lays out its datagrams, "header8" or "iec450"; read as written and
    // judged where it is used. A file without the key means the boxes the gateway was made for,
    // also for a record that never had its defaults set.
    std::string input_format[junction_box_count] = {"header8", "header8"};
    // For "iec450": the TAG block sources taken, comma-separated; empty takes every line.
    std::string input_sources[junction_box_count];
    // The Ethernet address each junction box sends from, "02:00:5e:10:00:01"; empty takes the
    // first sender seen after the input opens.
    std::string input_src_mac[junction_box_count];
    // Whose sentence layouts each junction box's sentences may follow: "current" (the current
    // edition's only) or "all" (also the shorter layouts of earlier editions).
    std::string input_editions[junction_box_count] = {"current", "current"};
    // For each output on an iec450 input: the TAG block sources it serves, in order of
    // preference, comma-separated (empty serves every line); the seconds a served source may be
    // silent before the next takes over; the TAG block fields written in front of each line,
    // "s", "c" or "s,c" (empty writes none).
    std::string output_sources[junction_box_count];
    std::int32_t output_failover[junction_box_count] = {default_failover_seconds, default_failover_seconds};
    std::string output_tags[junction_box_count];
    bool locked = false;
    // The status listener's address and port; port 0 turns it off.
    std::string status_ip = default_status_ip;
    std::int32_t status_port = default_status_port;
    // Names the monitoring reaches the status listener by, comma-separated, which a request's
    // Host may give besides its address and localhost.
    std::string status_hosts;
    // The display connections each output takes at once from one remote address, and in all.
    std::int32_t max_clients_per_host = default_max_clients_per_host;
    std::int32_t max_clients_per_port = default_max_clients_per_port;
    // Each output also as UDP datagrams: "ADDRESS:PORT" (empty: TCP only), "plain" or "iec450",
    // the output's own system function ID (iec450 only) and the multicast hop limit; read as
    // written and judged where they are used.
    std::string output_udp[output_count];
    std::string output_udp_format[output_count] = {"plain", "plain"};
    std::string output_sfi[output_count];
    std::int32_t output_udp_ttl[output_count] = {1, 1};
    // LAN B, the redundant twin of the network `input_ip` captures on: its adapter's address
    // (empty: one LAN), and each junction box's source and destination address there (empty:
    // the same as on LAN A).
    std::string input_ip_b;
    std::string input_src_ip_b[junction_box_count];
    std::string input_dest_ip_b[junction_box_count];
    std::string last_error;
};

// The settings file beside the executable.
inline constexpr const char* config_file_name = "Vorlane.ini";

void set_defaults(config_manager& config);
// Read the file over the current values; a missing key, a missing file or a number that
// cannot be read keeps the current value. False with last_error set when the file cannot be
// read.
bool read_config(config_manager& config, const std::filesystem::path& file);
// Write the current values, keeping every other line of an existing file. The file is
// replaced as a whole, so a failure leaves the old one intact. False with last_error set when
// it cannot be written.
bool write_config(config_manager& config, const std::filesystem::path& file);
// last_error, emptied.
std::string take_error(config_manager& config);

// Junction box `box`'s source and destination address on `lan`: on LAN B its own where set, else
// the same as on LAN A.
const std::string& source_ip(const config_manager& config, int lan, int box);
const std::string& destination_ip(const config_manager& config, int lan, int box);
// The address of the adapter that captures `lan`; empty for LAN B when there is only one LAN.
const std::string& lan_adapter_ip(const config_manager& config, int lan);

}  // namespace vorlane
