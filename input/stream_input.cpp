#include "input/stream_input.h"

#include "base/error_texts.h"

namespace vorlane {

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
    }
    return errors;
}

}  // namespace vorlane
