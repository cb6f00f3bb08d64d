#pragma once

#include <string>

#include "base/networks.h"
#include "capture/pcap_receive_thread.h"
#include "config/config_manager.h"

namespace vorlane {

// The capture filter for both junction boxes on `lan`, one clause per box with its destination
// port, source host and destination host, for untagged frames and for frames with one or two VLAN
// tags.
std::string build_capture_filter(const config_manager& config, int lan = lan_a);
// The settings of the receive thread that captures `lan`, taken from the configuration.
capture_request build_capture_request(const config_manager& config, int lan = lan_a);

// Starts the capture of `lan` on its adapter through the filter for both junction boxes. On
// true the controller marks its input idle until traffic arrives; on false the failure has been
// reported and counted through target.
bool open_input(TPCapReceiveThread* thread, const config_manager& config, rx_target& target, int lan = lan_a);
// Asks the receive thread to stop capturing.
void close_input(TPCapReceiveThread* thread, rx_target& target);

}  // namespace vorlane
