#include "config/setting_keys.h"

#include <string_view>

namespace vorlane {

namespace {

constexpr const char* general = "Vorlane";
constexpr const char* inputs = "QXInput";
constexpr key_written always = key_written::always;
constexpr key_written unless_default = key_written::unless_default;

using config = config_manager;

// Section, key, field, text defaults for input 0 and 1, number default, range, when written.
// clang-format off
constexpr setting_key keys[] = {
    {general, "input_ip",          &config::input_ip,      {"0.0.0.0", "0.0.0.0"},                 0,                   any_value,          always},
    {general, "output_ip",         &config::output_ip,     {"0.0.0.0", "0.0.0.0"},                 0,                   any_value,          always},
    {general, "first_output_port", &config::output_port,   {},                                     14001,               first_output_ports, always},
    {general, "max_log_lines",     &config::max_log_lines, {},                                     1024,                any_value,          always},
    {general, "locked",            &config::locked,        {},                                     0,                   any_value,          always},
    {general, "status_ip",         &config::status_ip,     {default_status_ip, default_status_ip}, 0,                   any_value,          unless_default},
    {general, "status_port",       &config::status_port,   {},                                     default_status_port, status_ports,       unless_default},
    {general, "status_host_names", &config::status_hosts,  {"", ""},                               0,                   any_value,          unless_default},
    {general, "max_clients_per_host", &config::max_clients_per_host, {}, default_max_clients_per_host, client_caps, unless_default},
    {general, "max_clients_per_port", &config::max_clients_per_port, {}, default_max_clients_per_port, client_caps, unless_default},
    // The redundant network: a file for one LAN stays as it always was.
    {general, "input_ip_b",        &config::input_ip_b,    {"", ""},                               0,                   any_value,          unless_default},
    // A port outside 1 to 65535 is kept as it is: it gives an input that matches nothing.
    {inputs,  "input_%d_port",     &config::input_port,    {},                                     10021,               any_value,          always},
    {inputs,  "input_%d_src_ip",   &config::input_src_ip,  {"172.31.24.10", "172.31.24.11"},       0,                   any_value,          always},
    {inputs,  "input_%d_dest_ip",  &config::input_dest_ip, {"172.31.24.1", "172.31.24.1"},         0,                   any_value,          always},
    // Keys added later: a file of junction boxes with the 8-byte header stays as it always was.
    {inputs,  "input_%d_format",   &config::input_format,  {"header8", "header8"},                 0,                   any_value,          unless_default},
    {inputs,  "input_%d_sources",  &config::input_sources, {"", ""},                               0,                   any_value,          unless_default},
    {inputs,  "input_%d_src_mac",  &config::input_src_mac, {"", ""},                               0,                   any_value,          unless_default},
    {inputs,  "input_%d_editions", &config::input_editions, {"current", "current"},                0,                   any_value,          unless_default},
    // Each output also as UDP; a hop limit outside 1 to 255 is kept, to be reported where it is used.
    {inputs,  "output_%d_udp",        &config::output_udp,        {"", ""},           0, any_value, unless_default},
    {inputs,  "output_%d_udp_format", &config::output_udp_format, {"plain", "plain"}, 0, any_value, unless_default},
    {inputs,  "output_%d_sfi",        &config::output_sfi,        {"", ""},           0, any_value, unless_default},
    {inputs,  "output_%d_udp_ttl",    &config::output_udp_ttl,    {},                 1, any_value, unless_default},
    // Each output serves its own input's lines; without these keys it serves every line bare.
    {inputs,  "output_%d_sources",  &config::output_sources,  {"", ""}, 0,                        any_value,      unless_default},
    {inputs,  "output_%d_failover", &config::output_failover, {},       default_failover_seconds, failover_times, unless_default},
    {inputs,  "output_%d_tags",     &config::output_tags,     {"", ""}, 0,                        any_value,      unless_default},
    {inputs,  "input_%d_src_ip_b", &config::input_src_ip_b, {"", ""},                              0,                   any_value,          unless_default},
    {inputs,  "input_%d_dest_ip_b", &config::input_dest_ip_b, {"", ""},                            0,                   any_value,          unless_default},
};
// clang-format on

constexpr bool per_input(const setting_key& key) {
    return std::string_view(key.name).find("%d") != std::string_view::npos;
}

// The general keys come first, a key of each input has a field for each, and a text has a
// default for each input.
constexpr bool keys_well_formed() {
    bool inputs_reached = false;
    for (const setting_key& key : keys) {
        const bool of_each_input = per_input(key);
        if (inputs_reached && !of_each_input) return false;
        inputs_reached = inputs_reached || of_each_input;
        const bool text = std::holds_alternative<std::string config::*>(key.field) ||
                          std::holds_alternative<std::string(config::*)[junction_box_count]>(key.field);
        bool every_default = true;
        for (const char* text_default : key.text_default)
            every_default = every_default && text_default != nullptr;
        if (text != every_default) return false;
        const bool array = std::holds_alternative<std::string(config::*)[junction_box_count]>(key.field) ||
                           std::holds_alternative<std::int32_t(config::*)[junction_box_count]>(key.field);
        if (of_each_input && !array) return false;
    }
    return true;
}
static_assert(keys_well_formed(), "setting keys out of order or of the wrong shape");

}  // namespace

std::span<const setting_key> setting_keys() {
    return keys;
}

std::string key_name(const setting_key& key, int input) {
    std::string name = key.name;
    if (const std::size_t at = name.find("%d"); at != std::string::npos)
        name.replace(at, 2, std::to_string(input));
    return name;
}

bool is_per_input(const setting_key& key) {
    return per_input(key);
}

bool is_valid_output_port(int port) {
    if (!first_output_ports.holds(port)) return false;
    if (port >= 1993 && port <= 3500) return false;
    if (port >= 59993 && port <= 60064) return false;
    return true;
}

}  // namespace vorlane
