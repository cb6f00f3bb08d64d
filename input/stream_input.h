#pragma once

#include <string>
#include <vector>

#include "config/config_manager.h"
#include "stream/lan_copies.h"
#include "stream/nmea_manager.h"

namespace vorlane {

// Gives the stream manager each junction box's datagram format, source list and editions, each
// output's source list, failover time and TAG block fields, and the sender check of each LAN each
// box's configured Ethernet address, from the settings. An input whose format, source list or
// Ethernet address cannot be used is set to serve nothing rather than be read some other way, and
// one whose editions cannot be read keeps the current edition's layouts only; an output's list or
// fields that cannot be used are left off. The answer holds one error text for each such setting.
std::vector<std::string> apply_input_formats(const config_manager& config, nmea_manager& manager,
                                             lan_receivers& receivers);

}  // namespace vorlane
