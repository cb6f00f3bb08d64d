#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "config/config_manager.h"

namespace vorlane {

// The values a numeric setting may take; a file's value outside them keeps the current one.
struct value_range {
    std::int32_t low;
    std::int32_t high;

    constexpr bool holds(std::int32_t value) const { return value >= low && value <= high; }
};

// Each output listens on the port after the one before it, and port 0 would let the system choose
// a port nobody asked for: the first output port and those after it must all be ports to listen on.
inline constexpr value_range first_output_ports{1, 65535 - (output_count - 1)};
// 0 turns the status listener off.
inline constexpr value_range status_ports{0, 65535};
// A cap of 0 would refuse every display.
inline constexpr value_range client_caps{1, 65535};
inline constexpr value_range any_value{INT32_MIN, INT32_MAX};
// A failover time under a second would switch sensors on one late datagram; beyond a minute the
// display keeps a dead sensor's last value for too long.
inline constexpr value_range failover_times{1, 60};

// When a key goes into the file: always, or only once it holds something other than its default
// or is there already, so that a file written before the key existed stays line for line as it
// was.
enum class key_written : std::uint8_t { always, unless_default };

// The field of the record a key is read into and written from. A field that is an array holds one
// value per input; the first output port is the one key that fills only element 0 of
// its array, the next ports being derived from it.
using setting_field =
    std::variant<std::string config_manager::*, std::string (config_manager::*)[junction_box_count],
                 std::int32_t config_manager::*, std::int32_t (config_manager::*)[junction_box_count],
                 bool config_manager::*>;

// One key of the settings file, the only place its name is spelled.
struct setting_key {
    const char* section;
    // "first_output_port"; "input_%d_port" for a key of each input, with its number 0 or 1.
    const char* name;
    setting_field field;
    // The default of a text, for input 0 and input 1; of a number or flag, for both.
    std::array<const char*, junction_box_count> text_default;
    std::int32_t number_default;
    value_range range;
    key_written written;
};

// Every key in the order a freshly written file holds them: the general section, then each
// input's keys, input 0 first.
std::span<const setting_key> setting_keys();

// The key's name in the file: "%d" replaced by the input number.
std::string key_name(const setting_key& key, int input);
// True for a key of each input, false for a general one.
bool is_per_input(const setting_key& key);

// A first output port that may be typed in the configuration window: one the settings accept,
// outside the bands reserved for other equipment on the bridge network, 1993 to 3500 and 59993
// to 60064. The bands are refused where a port is chosen, not where it is read: a file that
// names such a port already had its displays set up for it, and moving them elsewhere at the
// next start would leave the conning display without data.
bool is_valid_output_port(int port);

}  // namespace vorlane
