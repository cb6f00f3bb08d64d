#include "input/stream_input.h"

#include "base/error_texts.h"

namespace vorlane {

std::vector<std::string> apply_input_formats(const config_manager& config, nmea_manager& manager,
                                             sender_identity& senders) {
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
        senders.configure(input, sender);
        manager.set_input_format(input, format, sources);
        // A value the gateway does not know keeps the strict judgement rather than loosen it.
        nmea_editions editions = nmea_editions::current;
        if (!parse_editions(config.input_editions[input], editions))
            errors.push_back(
                error_text(reported_error::unknown_editions, {config.input_editions[input], box}));
        manager.set_input_editions(input, editions);
    }
    return errors;
}

}  // namespace vorlane
