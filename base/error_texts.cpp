#include "base/error_texts.h"

#include <array>

#include "base/exception_name.h"

namespace vorlane {

namespace {

// What stands in the {} of a row: nothing, the class of the exception that caused the error,
// or details that the reporting code knows.
enum class error_kind : std::uint8_t { fixed, exception, details };

struct error_row {
    reported_error error;
    int number;
    // What follows "Error QXE-nnn", byte for byte as operators and their scripts know it,
    // spelling included.
    const char* text;
    error_kind kind;
    // What stands before the number: "RECV-" for the receive thread's own series.
    std::string_view series = "";
};

using enum reported_error;
constexpr error_kind F = error_kind::fixed;
constexpr error_kind E = error_kind::exception;
constexpr error_kind D = error_kind::details;
constexpr std::string_view receive = "RECV-";

constexpr std::array catalogue{
    error_row{capture_start_failed, 100, ": {}", E},
    error_row{capture_start_without_thread, 102, ": Receive thread not running", F},
    error_row{capture_stop_failed, 106, ": {}", E},
    error_row{capture_stop_without_thread, 107, ": Receive thread not running", F},
    error_row{batch_service_failed, 110, ": {}", E},
    error_row{other_sender, 120, ": {} also sent from {}; dropped (the box sends from {})", D},
    error_row{missing_sender, 121, ": {} has sent nothing from {} since the input opened", D},
    error_row{two_senders, 122, ": {}: two senders, {} and {}", D},
    error_row{count_conflict, 123,
              ": {}: source {} sent line count {} twice with different sentences; both served", D},
    error_row{source_failed_over, 130, ": {}: {} now from {}: {} silent for {} s", D},
    error_row{source_returned, 131, ": {}: {} back to {}", D},
    error_row{source_preferred, 132, ": {}: {} now from {}: listed before {}", D},
    error_row{lan_silent, 150, ": LAN {} (adapter {}) carries nothing for {} s; LAN {} carries on", D},
    error_row{lan_back, 151, ": LAN {} (adapter {}) carries again", D},
    error_row{output_listen_failed, 200, " (port {}): {}, {}", D},
    error_row{output_open_unknown, 201, ": Illegal ouput port ID {}", D},
    error_row{outputs_close_failed, 202, ": {}", E},
    error_row{output_close_failed, 203, ": {}", E},
    error_row{output_close_unknown, 204, ": Illegal ouput port ID {}", D},
    error_row{output_port_not_passed, 205,
              " (port {}): port {} is not among the sockets of vorlane.socket; listening here, and free "
              "while the program restarts",
              D},
    error_row{output_host_limit, 206,
              " (port {}): connections beyond {} from one address refused in the last minute: {}, the latest "
              "from {}",
              D},
    error_row{output_port_limit, 207,
              " (port {}): connections beyond {} in all refused in the last minute: {}, the latest from {}",
              D},
    error_row{output_client_talking, 208,
              " (port {}): clients no longer read for sending more than {} bytes in the last minute: {}, the "
              "latest from {}",
              D},
    // Reported once until a datagram of that output goes out again.
    error_row{udp_send_failed, 260, ": Output {} UDP datagrams to {} not sent: {}", D},
    error_row{log_append_failed, 500, ": {}", E},
    error_row{log_shorten_failed, 501, ": {}", E},
    error_row{log_read_failed, 504, ": {}", E},
    error_row{log_write_failed, 505, ": {}", E},
    error_row{log_view_missing, 506, ": Log file '{}' not found", D},
    error_row{log_view_empty, 507, ": Log file '{}' is empty", D},
    error_row{log_view_failed, 508, ": {}", E},
    // The store's own text, when it has one, is reported in place of these bare numbers.
    error_row{settings_read_failed, 603, "", F},
    error_row{settings_create_failed, 604, "", F},
    error_row{restart_failed, 605, ": {}", E},
    error_row{settings_file_unwritable, 609, ": Failed to write config file", F},
    error_row{settings_write_failed, 610, ": {}", E},
    error_row{settings_read_raised, 611, ": {}", E},
    error_row{settings_file_unreadable, 612, ": Failed to read config file", F},
    error_row{settings_save_failed, 614, "", F},
    error_row{unknown_datagram_format, 615,
              ": Unknown datagram format \"{}\" of {}, expected header8 or iec450", D},
    error_row{
        bad_source_list, 616,
        ": Source list \"{}\" of {} is not up to 16 identifiers of 1 to 15 letters and digits separated "
        "by commas",
        D},
    error_row{bad_sender_address, 620,
              ": Ethernet address \"{}\" of {} is not six pairs of hex digits separated by colons", D},
    error_row{output_sources_without_tags, 630,
              ": Source list \"{}\" of {} needs iec450 datagrams, whose lines name their source; {} sends "
              "header8, so every line is served",
              D},
    error_row{bad_output_tags, 631,
              ": TAG block fields \"{}\" of {} are not s, c or s,c; its lines are served without TAG blocks",
              D},
    error_row{unknown_editions, 640, ": Unknown editions \"{}\" of {}, expected current or all", D},
    // A UDP output whose settings are refused stays off; its TCP port serves as ever.
    error_row{
        bad_udp_destination, 660,
        ": UDP destination \"{}\" of output {} is not an IPv4 address and a port 1 to 65535 (ADDRESS:PORT); "
        "its UDP output stays off",
        D},
    error_row{unknown_udp_format, 661,
              ": Unknown UDP format \"{}\" of output {}, expected plain or iec450; its UDP output stays off",
              D},
    error_row{
        bad_system_function_id, 662,
        ": System function ID \"{}\" of output {} is not two capital letters and four digits, which iec450 "
        "needs; its UDP output stays off",
        D},
    error_row{bad_udp_hop_limit, 663,
              ": UDP hop limit {} of output {} is not 1 to 255; its UDP output stays off", D},
    error_row{configuration_load_failed, 802, ": {}", E},
    // The receive thread's and its helper's; an exception's detail is its class and its message.
    error_row{receive_thread_failed, 100, ": {}", D, receive},
    error_row{capture_cycle_failed, 101, ": {}", D, receive},
    error_row{frames_not_taken, 102, ": {}", D, receive},
    error_row{no_capture_address, 103, ": No connection IP address specified", F, receive},
    error_row{no_adapter_for_address, 104, ": No netword device found for IP {}", D, receive},
    error_row{adapter_not_opened, 105, ": Unable to open adapter '{}'", D, receive},
    error_row{adapter_not_ethernet, 106, ": Non-ethernet network detected (unsupported).", F, receive},
    error_row{no_capture_filter, 107, ": No packet filter specified.", F, receive},
    error_row{capture_filter_syntax, 108, ": Packet filter syntax error.", F, receive},
    error_row{capture_filter_not_set, 109, ": Error setting capture filter.", F, receive},
    error_row{multicast_not_joined, 110, ": Unable to join multicast group {}", D, receive},
    error_row{capture_library_missing, 112, ": WinPCap is not installed", F, receive},
    error_row{capture_helper_restarted, 113, ": Capture helper ended by {}; started again", D, receive},
    error_row{capture_helper_gone, 114, ": Capture helper not running; restart Vorlane", F, receive},
    error_row{capture_request_malformed, 115, ": Malformed capture request refused", F, receive},
    error_row{capture_answer_malformed, 116, ": Malformed message from the capture helper", F, receive},
};

constexpr std::size_t placeholders(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = text.find("{}"); at != std::string_view::npos; at = text.find("{}", at + 2))
        ++count;
    return count;
}

// Rows in the enum's order, series after series and by rising number within one, so that no
// number is given twice; a fixed text has nothing to fill in and an exception's exactly its class.
constexpr bool catalogue_in_order() {
    for (std::size_t k = 0; k < catalogue.size(); ++k) {
        const error_row& row = catalogue[k];
        if (static_cast<std::size_t>(row.error) != k || row.number < 100 || row.number > 999) return false;
        if (k > 0) {
            const error_row& before = catalogue[k - 1];
            if (row.series == before.series ? row.number <= before.number : row.series < before.series)
                return false;
        }
        const std::size_t holes = placeholders(row.text);
        if ((row.kind == F && holes != 0) || (row.kind == E && holes != 1) || (row.kind == D && holes == 0))
            return false;
    }
    return true;
}
static_assert(catalogue_in_order(), "catalogue rows must follow the enum order with rising numbers");
static_assert(catalogue.size() == reported_error_count);

}  // namespace

std::string error_text(reported_error error, std::initializer_list<std::string_view> details) {
    const error_row& row = catalogue[static_cast<std::size_t>(error)];
    std::string text = "Error QXE-";
    text.append(row.series).append(std::to_string(row.number));
    const std::string_view pattern = row.text;
    const std::string_view* next = details.begin();
    std::size_t from = 0;
    for (std::size_t at = pattern.find("{}"); at != std::string_view::npos; at = pattern.find("{}", from)) {
        text.append(pattern.substr(from, at - from));
        if (next != details.end()) text.append(*next++);
        from = at + 2;
    }
    text.append(pattern.substr(from));
    return text;
}

std::string error_text(reported_error error, const std::exception& cause) {
    return error_text(error, {exception_name(cause)});
}

}  // namespace vorlane
