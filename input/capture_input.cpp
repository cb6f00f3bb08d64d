#include "input/capture_input.h"

#include <exception>

#include "base/error_texts.h"

namespace vorlane {

std::string build_capture_filter(const config_manager& config, int lan) {
    std::string untagged = "ip and udp and ( ";
    for (int box = 0; box < junction_box_count; ++box) {
        if (box > 0) untagged += "or ";
        untagged += "( dst port " + std::to_string(config.input_port[box]) + " and src host " +
                    source_ip(config, lan, box) + " and dst host " + destination_ip(config, lan, box) + " ) ";
    }
    untagged += ")";
    // The same behind one VLAN tag and behind two. The kernel takes the outer tag off before the
    // filter runs but leaves an inner one in the data, where only "vlan" (which moves every later
    // offset past the tag) lets the match find the IPv4 header. Operators of the same priority
    // group to the left in this language, hence the brackets.
    return untagged + " or ( vlan and ( " + untagged + " or ( vlan and " + untagged + " ) ) )";
}

capture_request build_capture_request(const config_manager& config, int lan) {
    capture_request request{lan_adapter_ip(config, lan),
                            build_capture_filter(config, lan),
                            {},
                            {},
                            std::to_array(config.input_port)};
    for (int box = 0; box < junction_box_count; ++box) {
        request.source_ips[box] = source_ip(config, lan, box);
        request.destination_ips[box] = destination_ip(config, lan, box);
    }
    return request;
}

bool open_input(TPCapReceiveThread* thread, const config_manager& config, rx_target& target, int lan) {
    bool started = false;
    try {
        if (thread == nullptr) {
            target.update_status(error_text(reported_error::capture_start_without_thread), true);
        } else {
            thread->start_capture(build_capture_request(config, lan));
            started = true;
        }
    } catch (const std::exception& e) {
        target.update_status(error_text(reported_error::capture_start_failed, e), true);
    }
    if (!started) target.add_input_failure();
    return started;
}

void close_input(TPCapReceiveThread* thread, rx_target& target) {
    try {
        if (thread == nullptr)
            target.update_status(error_text(reported_error::capture_stop_without_thread), true);
        else
            thread->stop_capture();
    } catch (const std::exception& e) {
        target.update_status(error_text(reported_error::capture_stop_failed, e), true);
    }
}

}  // namespace vorlane
