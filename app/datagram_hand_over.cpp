#include "app/datagram_hand_over.h"

namespace vorlane {

namespace {

std::string junction_box(int input, const std::string& source_ip) {
    return "junction box " + std::to_string(input + 1) + " (" + source_ip + ")";
}

}  // namespace

bool hand_over_datagram(nmea_manager& manager, sender_identity& senders, rx_datagram& datagram) {
    if (datagram.input_index != 0 && datagram.input_index != 1) return false;
    const std::int32_t length = datagram.frame_length - datagram.payload_offset;
    if (datagram.payload_offset < 0 || length < 0) return false;
    if (!senders.accept(datagram.input_index, datagram.frame + ethernet_source_offset)) {
        manager.drop_datagram(datagram.input_index, stream_drop::other_sender);
        return true;
    }
    manager.process_datagram(datagram.input_index, datagram.input_index,
                             datagram.frame + datagram.payload_offset, length, datagram.bad_checksum);
    return true;
}

std::string other_sender_text(int input, const std::string& source_ip, const sender_warning& warning) {
    return "Error QXE-120: " + junction_box(input, source_ip) + " also sent from " + text_of(warning.other) +
           "; dropped (the box sends from " + text_of(warning.box) + ")";
}

std::string missing_sender_text(int input, const std::string& source_ip, const ethernet_address& expected) {
    return "Error QXE-121: " + junction_box(input, source_ip) + " has sent nothing from " +
           text_of(expected) + " since the input opened";
}

}  // namespace vorlane
