#include "app/datagram_hand_over.h"

namespace vorlane {

bool hand_over_datagram(nmea_manager& manager, rx_datagram& datagram) {
    if (datagram.input_index != 0 && datagram.input_index != 1) return false;
    const std::int32_t length = datagram.frame_length - datagram.payload_offset;
    if (datagram.payload_offset < 0 || length < 0) return false;
    manager.process_datagram(datagram.input_index, datagram.input_index,
                             datagram.frame + datagram.payload_offset, length, datagram.bad_checksum);
    return true;
}

}  // namespace vorlane
