#include "app/stream_input.h"

namespace vorlane {

std::vector<std::string> apply_input_formats(const config_manager& config, nmea_manager& manager,
                                             sender_identity& senders) {
    std::vector<std::string> errors;
    for (int input = 0; input < 2; ++input) {
        const std::string box = "VDR Junction box " + std::to_string(input + 1);
        datagram_format format = datagram_format::unusable;
        if (!parse_datagram_format(config.input_format[input], format))
            errors.push_back("Error QXE-615: Unknown datagram format \"" + config.input_format[input] +
                             "\" of " + box + ", expected header8 or iec450");
        source_filter sources;
        if (!sources.parse(config.input_sources[input])) {
            errors.push_back(
                "Error QXE-616: Source list \"" + config.input_sources[input] + "\" of " + box +
                " is not up to 16 identifiers of 1 to 15 letters and digits separated by commas");
            format = datagram_format::unusable;
        }
        std::optional<ethernet_address> sender;
        if (const std::string& text = config.input_src_mac[input]; !text.empty()) {
            sender.emplace();
            if (!parse_ethernet_address(text, *sender)) {
                errors.push_back("Error QXE-620: Ethernet address \"" + text + "\" of " + box +
                                 " is not six pairs of hex digits separated by colons");
                format = datagram_format::unusable;
                sender.reset();
            }
        }
        senders.configure(input, sender);
        manager.set_input_format(input, format, sources);
    }
    return errors;
}

}  // namespace vorlane
