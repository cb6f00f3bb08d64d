// Whatever a client on the network sends, in whatever pieces TCP hands it over, the status
// listener's request reader must read inside each head only, and a head it accepts must say the
// same when written out plainly and read again: a reader that let two readings of one head
// differ could be told one request and act on another.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "status/request_head.h"

namespace {

using vorlane::request_head;

// The listener's bound on what one connection sends in its life.
constexpr std::size_t max_bytes_per_connection = 16 * 1024;
// Content-Length values the reader reads as numbers; longer ones it reads as oversized.
constexpr std::size_t largest_read_length = 999'999'999;

void require(bool holds) {
    if (!holds) std::abort();
}

bool lies_within(std::string_view part, std::string_view whole) {
    return part.empty() ||
           (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

bool holds_any(std::string_view text, std::string_view characters) {
    return text.find_first_of(characters) != std::string_view::npos;
}

// The head as a plain client would write what the reader took from it.
std::string written_out(const request_head& head) {
    std::string text = std::string(head.method) + ' ' + std::string(head.path) + "?q " +
                       (head.http_1_1 ? "HTTP/1.1" : "HTTP/1.0") + "\r\n";
    if (head.host) text += "Host: " + std::string(*head.host) + "\r\n";
    if (head.content_length > 0) text += "Content-Length: " + std::to_string(head.content_length) + "\r\n";
    if (head.coded_body) text += "Transfer-Encoding: chunked\r\n";
    if (head.upgrade) text += "Upgrade: h2c\r\n";
    if (head.http_1_1 && !head.keep_alive) text += "Connection: close\r\n";
    return text;
}

bool same_reading(const request_head& a, const request_head& b) {
    return a.method == b.method && a.path == b.path && a.keep_alive == b.keep_alive &&
           a.http_1_1 == b.http_1_1 && a.host == b.host && a.content_length == b.content_length &&
           a.coded_body == b.coded_body && a.upgrade == b.upgrade && a.fault == b.fault;
}

// Reads one head from a buffer of exactly its size, so that a read past it is caught, and
// checks what the reader says of it. Returns the body length that follows, or nothing when the
// listener would close the connection after this head.
std::optional<std::size_t> check_head(std::string_view bytes) {
    const auto copy = std::make_unique<char[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), copy.get());
    const std::string_view text(copy.get(), bytes.size());
    const request_head head = vorlane::read_request_head(text);

    require(lies_within(head.method, text) && lies_within(head.path, text));
    if (head.host) require(lies_within(*head.host, text));
    if (head.fault) return std::nullopt;

    require(!head.method.empty() && !holds_any(head.method, std::string_view(" \t\r\n\0:", 6)));
    require(!holds_any(head.path, std::string_view(" \t\r\n\0?", 6)));
    require(head.content_length <= largest_read_length || head.content_length == SIZE_MAX);
    require(!(head.content_length > 0 && head.coded_body));
    require(!head.keep_alive || head.http_1_1);
    if (head.host) {
        require(!holds_any(*head.host, std::string_view("\r\n\0", 3)));
        if (const auto name = vorlane::host_name_of(*head.host))
            require(!name->empty() && lies_within(*name, *head.host));
    }

    // The written-out head names no SIZE_MAX: a length that large is never read.
    if (head.content_length != SIZE_MAX)
        require(same_reading(vorlane::read_request_head(written_out(head)), head));
    if (head.coded_body || !head.keep_alive || head.upgrade) return std::nullopt;
    return head.content_length;
}

// Splits the stream as the listener does: heads end at an empty line, a body of a given length
// is skipped, and the connection ends at its byte bound or at a head it would close after.
// Each head is checked as it is found; returns the heads in order.
std::vector<std::string> frame(std::string_view stream, std::uint32_t chunking) {
    std::vector<std::string> heads;
    std::string pending;
    std::size_t received = 0;
    std::size_t body_left = 0;
    std::uint32_t state = chunking;
    while (!stream.empty()) {
        state = state * 1'103'515'245u + 12'345u;
        const std::size_t size = std::min<std::size_t>(stream.size(), 1 + (state >> 16) % 64);
        received += size;
        if (received >= max_bytes_per_connection) return heads;
        pending.append(stream.substr(0, size));
        stream.remove_prefix(size);
        for (;;) {
            if (body_left > 0) {
                const std::size_t taken = std::min(body_left, pending.size());
                pending.erase(0, taken);
                body_left -= taken;
                if (body_left > 0) break;
            }
            const std::size_t head_end = pending.find("\r\n\r\n");
            if (head_end == std::string::npos) break;
            heads.push_back(pending.substr(0, head_end));
            pending.erase(0, head_end + 4);
            const std::optional<std::size_t> body = check_head(heads.back());
            if (!body || *body >= max_bytes_per_connection) return heads;
            body_left = *body;
        }
    }
    return heads;
}

}  // namespace

// The bytes themselves choose how they are cut into pieces, so that every change to them cuts
// them differently and the seeds stay plain requests.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    std::uint32_t chunking = 0;
    for (const char byte : stream) chunking = chunking * 31 + static_cast<std::uint8_t>(byte);
    // However the bytes arrive, the heads are the same, but for those past the byte bound, which
    // one split reaches before another.
    const std::vector<std::string> one = frame(stream, chunking);
    const std::vector<std::string> other = frame(stream, ~chunking);
    require(std::equal(one.begin(),
                       one.begin() + static_cast<std::ptrdiff_t>(std::min(one.size(), other.size())),
                       other.begin()));
    return 0;
}
