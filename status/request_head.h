#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vorlane {

// What the status listener turns away, connections and requests alike; each has one row in the
// catalogue in status_listener.cpp, which says whether it is answered and how it is counted.
enum class refusal : std::uint8_t {
    listener_full,   // a connection beyond the listener's bound, closed at once
    address_limit,   // a connection beyond the bound for one peer address, closed at once
    slow_request,    // a request not whole within its time after the accept or the last answer
    oversized,       // a request larger than any the listener reads, closed unread
    malformed,       // a head that is not an HTTP/1.0 or HTTP/1.1 request
    content_length,  // Content-Length given twice (alike or in conflict) or not a number
    upgrade,         // a request to change protocol
    body,            // a GET or HEAD that carries a body
    foreign_host,    // a Host that names neither this listener nor a name configured for it
};
inline constexpr std::size_t refusal_count = static_cast<std::size_t>(refusal::foreign_host) + 1;

// The parts of a request head the listener acts on, viewing the text it was read from.
struct request_head {
    std::string_view method;
    // The target up to its query.
    std::string_view path;
    // HTTP/1.1 without "Connection: close": the connection stays open for the next request.
    bool keep_alive = false;
    bool http_1_1 = false;
    // Empty when the head has no Host.
    std::optional<std::string_view> host;
    std::size_t content_length = 0;
    // Transfer-Encoding: a body of a length the head does not say.
    bool coded_body = false;
    bool upgrade = false;
    // Set when the head cannot be acted on: malformed or content_length.
    std::optional<refusal> fault;
};

// Reads a request head: the request line and the header lines, each ended by CR LF, without the
// empty line that ends the head. Strict where a lenient reader and a strict one in front of it
// could disagree on where a request ends or what it asks: no folded lines, no space before a
// colon, no bare CR or LF, no control characters, one Content-Length of digits only.
request_head read_request_head(std::string_view head);

// The name or address of a Host value without its port, an IPv6 address without its brackets;
// empty when the value is no host[:port].
std::optional<std::string_view> host_name_of(std::string_view host);

}  // namespace vorlane
