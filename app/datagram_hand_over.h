#pragma once

#include "capture/frame_ring.h"
#include "stream/nmea_manager.h"

namespace vorlane {

// Hands one frame taken from the ring to the stream manager, as the junction box's datagram on
// its input. False, and nothing handed over, for a frame from neither junction box or without a
// payload. The gateway and the checker of capture files take this one path.
bool hand_over_datagram(nmea_manager& manager, rx_datagram& datagram);

}  // namespace vorlane
