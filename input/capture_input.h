#pragma once

#include <string>

#include "capture/pcap_receive_thread.h"
#include "config/config_manager.h"

namespace vorlane {

// The capture filter for both junction boxes, one clause per box with its destination port,
// source host and destination host, for untagged frames and for frames with one or two VLAN tags.
std::string build_capture_filter(const config_manager& config);
// The receive thread's settings taken from the configuration.
capture_request build_capture_request(const config_manager& config);

// Starts the capture on the configured input adapter through the filter for both junction boxes.
// On true the controller marks its input idle until traffic arrives; on false the failure has
// been reported and counted through target.
bool open_input(TPCapReceiveThread* thread, const config_manager& config, rx_target& target);
// Asks the receive thread to stop capturing.
void close_input(TPCapReceiveThread* thread, rx_target& target);

}  // namespace vorlane
