#include "input/datagram_hand_over.h"

#include "base/error_texts.h"

namespace vorlane {

namespace {

std::string junction_box(int input, const std::string& source_ip) {
    return "junction box " + std::to_string(input + 1) + " (" + source_ip + ")";
}

}  // namespace

bool hand_over_datagram(nmea_manager& manager, lan_receivers& receivers, rx_datagram& datagram,
                        sender_identity::clock::time_point now) {
    if (datagram.input_index < 0 || datagram.input_index >= junction_box_count) return false;
    if (datagram.lan < 0 || datagram.lan >= lan_count) return false;
    const std::int32_t length = datagram.frame_length - datagram.payload_offset;
    if (datagram.payload_offset < 0 || length < 0) return false;
    sender_identity& senders = receivers.senders[static_cast<std::size_t>(datagram.lan)];
    if (!senders.accept(datagram.input_index, datagram.frame + ethernet_source_offset, now)) {
        manager.drop_datagram(datagram.input_index, stream_drop::other_sender);
        return true;
    }
    // A damaged datagram is no copy of anything: it neither cancels one nor waits for one. An
    // iec450 datagram's second copy is known by its lines' counts instead.
    const std::uint8_t* payload = datagram.frame + datagram.payload_offset;
    if (receivers.two_lans && !datagram.bad_checksum &&
        manager.input_format(datagram.input_index) == datagram_format::header8 &&
        receivers.pairing.second_copy(datagram.input_index, datagram.lan, payload,
                                      static_cast<std::size_t>(length), now)) {
        manager.drop_datagram(datagram.input_index, stream_drop::other_lan_copy);
        return true;
    }
    manager.set_lan(datagram.lan);
    manager.process_datagram(datagram.input_index, datagram.input_index,
                             datagram.frame + datagram.payload_offset, length, datagram.bad_checksum);
    return true;
}

std::string sender_warning_text(int input, const std::string& source_ip, const sender_warning& warning) {
    if (warning.what == sender_warning::kind::two_senders)
        return error_text(reported_error::two_senders,
                          {junction_box(input, source_ip), text_of(warning.box), text_of(warning.other)});
    return error_text(reported_error::other_sender,
                      {junction_box(input, source_ip), text_of(warning.other), text_of(warning.box)});
}

std::string missing_sender_text(int input, const std::string& source_ip, const ethernet_address& expected) {
    return error_text(reported_error::missing_sender, {junction_box(input, source_ip), text_of(expected)});
}

std::string count_conflict_text(int input, const std::string& source_ip,
                                const line_count_conflict& conflict) {
    return error_text(reported_error::count_conflict,
                      {junction_box(input, source_ip), conflict.source, std::to_string(conflict.line_count)});
}

std::string source_switch_text(int output, const source_switch& change) {
    const std::string name = "output " + std::to_string(output + 1);
    const char* formatter = formatter_row_name(formatter_row(change.formatter_index));
    switch (change.reason) {
        case source_switch::why::silent:
            return error_text(reported_error::source_failed_over, {name, formatter, change.to, change.from,
                                                                   std::to_string(change.silent_seconds)});
        case source_switch::why::back:
            return error_text(reported_error::source_returned, {name, formatter, change.to});
        case source_switch::why::preferred:
            break;
    }
    return error_text(reported_error::source_preferred, {name, formatter, change.to, change.from});
}

}  // namespace vorlane
