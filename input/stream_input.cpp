#include "input/stream_input.h"

#include <algorithm>
#include <chrono>

#include "base/error_texts.h"
#include "config/setting_keys.h"

namespace vorlane {

namespace {

// Output k serves input k. A list or tags the output cannot use are reported and left off: the
// display still gets every line, as it did before the settings existed, rather than nothing.
void apply_output_settings(const config_manager& config, int output, datagram_format format,
                           const std::string& box, nmea_manager& manager, std::vector<std::string>& errors) {
    const std::string name = "output " + std::to_string(output + 1);
    const std::string& list = config.output_sources[output];
    source_filter sources;
    if (!sources.parse(list)) {
        errors.push_back(error_text(reported_error::bad_source_list, {list, name}));
        sources = {};
    } else if (!sources.takes_every_line() && format == datagram_format::header8) {
        errors.push_back(error_text(reported_error::output_sources_without_tags, {list, name, box}));
        sources = {};
    }
    const std::int32_t failover =
        std::clamp(config.output_failover[output], failover_times.low, failover_times.high);
    manager.set_output_sources(output, sources, std::chrono::seconds(failover));
    output_tags tags;
    if (!parse_output_tags(config.output_tags[output], tags))
        errors.push_back(error_text(reported_error::bad_output_tags, {config.output_tags[output], name}));
    manager.set_output_tags(output, tags);
}

}  // namespace

std::vector<std::string> apply_input_formats(const config_manager& config, nmea_manager& manager,
                                             lan_receivers& receivers) {
    receivers.two_lans = !config.input_ip_b.empty();
    receivers.pairing.forget_all();
    manager.set_lans(receivers.lans());
    std::vector<std::string> errors;
    for (int input = 0; input < junction_box_count; ++input) {
        const std::string box = "VDR Junction box " + std::to_string(input + 1);
        datagram_format format = datagram_format::unusable;
        if (!parse_datagram_format(config.input_format[input], format))
            errors.push_back(
                error_text(reported_error::unknown_datagram_format, {config.input_format[input], box}));
        source_filter sources;
        if (!sources.parse(config.input_sources[input])) {
            errors.push_back(error_text(reported_error::bad_source_list, {config.input_sources[input], box}));
            format = datagram_format::unusable;
        }
        std::optional<ethernet_address> sender;
        if (const std::string& text = config.input_src_mac[input]; !text.empty()) {
            sender.emplace();
            if (!parse_ethernet_address(text, *sender)) {
                errors.push_back(error_text(reported_error::bad_sender_address, {text, box}));
                format = datagram_format::unusable;
                sender.reset();
            }
        }
        receivers.senders[lan_a].configure(input, sender);
        // A PRP node sends from one Ethernet address on both LANs; a box with an address of its
        // own on LAN B has another port there, whose sender LAN B confirms for itself.
        const bool same_node = source_ip(config, lan_b, input) == config.input_src_ip[input];
        receivers.senders[lan_b].configure(input, same_node ? sender : std::nullopt);
        manager.set_input_format(input, format, sources);
        // A value the gateway does not know keeps the strict judgement rather than loosen it.
        nmea_editions editions = nmea_editions::current;
        if (!parse_editions(config.input_editions[input], editions))
            errors.push_back(
                error_text(reported_error::unknown_editions, {config.input_editions[input], box}));
        manager.set_input_editions(input, editions);
        apply_output_settings(config, input, format, box, manager, errors);
    }
    return errors;
}

}  // namespace vorlane
