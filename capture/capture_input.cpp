#include "capture/capture_input.h"

#include <exception>

#include "base/exception_name.h"

namespace vorlane {

std::string build_capture_filter(const config_manager& config) {
    std::string filter = "ip and udp and ( ";
    for (int box = 0; box < 2; ++box) {
        if (box > 0) filter += "or ";
        filter += "( dst port " + std::to_string(config.input_port[box]) + " and src host " +
                  config.input_src_ip[box] + " and dst host " + config.input_dest_ip[box] + " ) ";
    }
    filter += ")";
    return filter;
}

bool open_input(TPCapReceiveThread* thread, const config_manager& config, rx_target& target) {
    bool started = false;
    try {
        if (thread == nullptr) {
            target.update_status("Error QXE-102: Receive thread not running", true);
        } else {
            thread->start_capture(config.input_ip, build_capture_filter(config));
            started = true;
        }
    } catch (const std::exception& e) {
        target.update_status("Error QXE-100: " + exception_name(e), true);
    }
    if (!started) target.add_input_failure();
    return started;
}

void close_input(TPCapReceiveThread* thread, rx_target& target) {
    try {
        if (thread == nullptr)
            target.update_status("Error QXE-107: Receive thread not running", true);
        else
            thread->stop_capture();
    } catch (const std::exception& e) {
        target.update_status("Error QXE-106: " + exception_name(e), true);
    }
}

}  // namespace vorlane
