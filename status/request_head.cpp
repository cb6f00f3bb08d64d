#include "status/request_head.h"

#include <algorithm>
#include <charconv>

namespace vorlane {

namespace {

// A request announcing more than this is oversized whatever the listener's bound: the number
// is read without overflow.
constexpr std::size_t max_content_length_digits = 9;

bool is_token_character(char c) {
    constexpr std::string_view others = "!#$%&'*+-.^_`|~";
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           others.find(c) != std::string_view::npos;
}

bool is_token(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), is_token_character);
}

// Visible characters and, in a header value, spaces and tabs; never CR, LF or another control.
bool is_field_text(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte == '\t' || (byte >= ' ' && byte != 0x7f);
    });
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Whether a comma-separated list (Connection) holds the token.
bool list_holds(std::string_view list, std::string_view token) {
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (equal_ignoring_case(trimmed(list.substr(0, comma)), token)) return true;
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

bool is_digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

request_head malformed() {
    request_head head;
    head.fault = refusal::malformed;
    return head;
}

}  // namespace

request_head read_request_head(std::string_view text) {
    request_head head;
    const std::size_t line_end = text.find("\r\n");
    const std::string_view request_line = text.substr(0, line_end);
    std::string_view fields =
        line_end == std::string_view::npos ? std::string_view() : text.substr(line_end + 2);

    // METHOD SP target SP HTTP/1.x
    const std::size_t first_space = request_line.find(' ');
    const std::size_t last_space = request_line.rfind(' ');
    if (first_space == std::string_view::npos || first_space == last_space) return malformed();
    head.method = request_line.substr(0, first_space);
    const std::string_view target = request_line.substr(first_space + 1, last_space - first_space - 1);
    const std::string_view version = request_line.substr(last_space + 1);
    if (!is_token(head.method) || target.empty() || !is_field_text(target) ||
        target.find_first_of(" \t") != std::string_view::npos)
        return malformed();
    if (version == "HTTP/1.1")
        head.http_1_1 = true;
    else if (version != "HTTP/1.0")
        return malformed();
    head.path = target.substr(0, target.find('?'));

    bool close = false;
    bool content_length_seen = false;
    while (!fields.empty()) {
        const std::size_t end = fields.find("\r\n");
        const std::string_view line = fields.substr(0, end);
        fields = end == std::string_view::npos ? std::string_view() : fields.substr(end + 2);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) return malformed();
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trimmed(line.substr(colon + 1));
        // A name that is no token covers a folded line (it starts with a space) and a space
        // before the colon, both of which readers disagree on.
        if (!is_token(name) || !is_field_text(value)) return malformed();
        if (equal_ignoring_case(name, "host")) {
            if (head.host) return malformed();
            head.host = value;
        } else if (equal_ignoring_case(name, "content-length")) {
            if (content_length_seen || !is_digits(value)) head.fault = refusal::content_length;
            content_length_seen = true;
            if (value.size() > max_content_length_digits)
                head.content_length = SIZE_MAX;
            else
                std::from_chars(value.data(), value.data() + value.size(), head.content_length);
        } else if (equal_ignoring_case(name, "transfer-encoding")) {
            head.coded_body = true;
        } else if (equal_ignoring_case(name, "upgrade")) {
            head.upgrade = true;
        } else if (equal_ignoring_case(name, "connection")) {
            close = close || list_holds(value, "close");
        }
    }
    if (head.fault) return head;
    // Both say where the body ends, and two readers may each believe another.
    if (content_length_seen && head.coded_body) head.fault = refusal::content_length;
    // An HTTP/1.0 client is answered and the connection closed, whatever it offers.
    head.keep_alive = head.http_1_1 && !close;
    return head;
}

std::optional<std::string_view> host_name_of(std::string_view host) {
    std::string_view name = host;
    std::string_view port;
    if (host.starts_with('[')) {
        const std::size_t close = host.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        name = host.substr(1, close - 1);
        const std::string_view rest = host.substr(close + 1);
        if (!rest.empty()) {
            if (!rest.starts_with(':')) return std::nullopt;
            port = rest.substr(1);
            if (!is_digits(port)) return std::nullopt;
        }
    } else if (const std::size_t colon = host.find(':'); colon != std::string_view::npos) {
        name = host.substr(0, colon);
        port = host.substr(colon + 1);
        if (!is_digits(port)) return std::nullopt;
    }
    if (name.empty() || port.size() > 5) return std::nullopt;
    return name;
}

}  // namespace vorlane
