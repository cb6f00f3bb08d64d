#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vorlane {

// The errors the program reports as "Error QXE-nnn ...", each with one row in the catalogue in
// error_texts.cpp; the hundreds name the part: 1 input, 2 outputs, 5 event log, 6 settings,
// 8 start-up. The receive thread and its capture helper number theirs apart, "Error QXE-RECV-nnn".
enum class reported_error : std::uint8_t {
    capture_start_failed,          // 100
    capture_start_without_thread,  // 102
    capture_stop_failed,           // 106
    capture_stop_without_thread,   // 107
    batch_service_failed,          // 110
    other_sender,                  // 120
    missing_sender,                // 121
    two_senders,                   // 122
    count_conflict,                // 123
    source_failed_over,            // 130
    source_returned,               // 131
    source_preferred,              // 132
    lan_silent,                    // 150
    lan_back,                      // 151
    output_listen_failed,          // 200
    output_open_unknown,           // 201
    outputs_close_failed,          // 202
    output_close_failed,           // 203
    output_close_unknown,          // 204
    output_port_not_passed,        // 205
    output_host_limit,             // 206
    output_port_limit,             // 207
    output_client_talking,         // 208
    udp_send_failed,               // 260
    log_append_failed,             // 500
    log_shorten_failed,            // 501
    log_read_failed,               // 504
    log_write_failed,              // 505
    log_view_missing,              // 506
    log_view_empty,                // 507
    log_view_failed,               // 508
    settings_read_failed,          // 603
    settings_create_failed,        // 604
    restart_failed,                // 605
    settings_file_unwritable,      // 609
    settings_write_failed,         // 610
    settings_read_raised,          // 611
    settings_file_unreadable,      // 612
    settings_save_failed,          // 614
    unknown_datagram_format,       // 615
    bad_source_list,               // 616
    bad_sender_address,            // 620
    output_sources_without_tags,   // 630
    bad_output_tags,               // 631
    unknown_editions,              // 640
    bad_udp_destination,           // 660
    unknown_udp_format,            // 661
    bad_system_function_id,        // 662
    bad_udp_hop_limit,             // 663
    configuration_load_failed,     // 802
    receive_thread_failed,         // RECV-100
    capture_cycle_failed,          // RECV-101
    frames_not_taken,              // RECV-102
    no_capture_address,            // RECV-103
    no_adapter_for_address,        // RECV-104
    adapter_not_opened,            // RECV-105
    adapter_not_ethernet,          // RECV-106
    no_capture_filter,             // RECV-107
    capture_filter_syntax,         // RECV-108
    capture_filter_not_set,        // RECV-109
    multicast_not_joined,          // RECV-110
    capture_library_missing,       // RECV-112
    capture_helper_restarted,      // RECV-113
    capture_helper_gone,           // RECV-114
    capture_request_malformed,     // RECV-115
    capture_answer_malformed,      // RECV-116
};
inline constexpr std::size_t reported_error_count =
    static_cast<std::size_t>(reported_error::capture_answer_malformed) + 1;

// The error's text with each {} of its row replaced by the next of `details`:
// error_text(reported_error::output_open_unknown, {"3"}) is "Error QXE-201: Illegal ouput port ID 3".
std::string error_text(reported_error error, std::initializer_list<std::string_view> details = {});
// An error whose detail is the class of the exception that caused it: "Error QXE-100: std::bad_alloc".
std::string error_text(reported_error error, const std::exception& cause);

}  // namespace vorlane
