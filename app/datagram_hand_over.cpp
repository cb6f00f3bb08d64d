#include "app/datagram_hand_over.h"

#include "app/error_texts.h"

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
    return error_text(reported_error::other_sender,
                      {junction_box(input, source_ip), text_of(warning.other), text_of(warning.box)});
}

std::string missing_sender_text(int input, const std::string& source_ip, const ethernet_address& expected) {
    return error_text(reported_error::missing_sender, {junction_box(input, source_ip), text_of(expected)});
}

}  // namespace vorlane
