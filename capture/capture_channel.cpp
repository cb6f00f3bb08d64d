#include "capture/capture_channel.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace vorlane {

namespace {

constexpr int lowest_nice = 19;
constexpr std::size_t session_at = 0;
constexpr std::size_t kind_at = 8;
constexpr std::size_t failure_at = 9;
constexpr std::size_t text_length_size = 2;

void write_header(std::uint8_t* message, const message_header& header) {
    std::memcpy(message + session_at, &header.session, sizeof header.session);
    message[kind_at] = static_cast<std::uint8_t>(header.kind);
    message[failure_at] = header.input_failure ? 1 : 0;
}

void write32(std::uint8_t* at, std::uint32_t value) {
    std::memcpy(at, &value, sizeof value);
}

std::uint32_t read32(const std::uint8_t* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

bool send_bytes(int channel, const std::uint8_t* message, std::size_t length) {
    for (;;) {
        if (::send(channel, message, length, MSG_NOSIGNAL) == static_cast<ssize_t>(length)) return true;
        if (errno != EINTR) return false;
    }
}

// One length-prefixed text of an open request; false when it runs past the end or holds a NUL,
// which would cut it short where the capture library reads it.
bool read_text(const std::uint8_t*& at, const std::uint8_t* end, std::string& text) {
    if (end - at < static_cast<std::ptrdiff_t>(text_length_size)) return false;
    std::uint16_t length;
    std::memcpy(&length, at, sizeof length);
    at += text_length_size;
    if (end - at < length || std::find(at, at + length, '\0') != at + length) return false;
    text.assign(reinterpret_cast<const char*>(at), length);
    at += length;
    return true;
}

// The open request in a whole message whose header said open; the request is left as it was
// unless the message is well-formed.
bool read_open_request(const std::uint8_t* message, std::size_t length, open_request& request) {
    if (length > max_request_length || length < message_header_length) return false;
    const std::uint8_t* at = message + message_header_length;
    const std::uint8_t* end = message + length;
    open_request read;
    bool whole = read_text(at, end, read.address) && read_text(at, end, read.filter);
    for (std::string& destination : read.destinations) whole = whole && read_text(at, end, destination);
    if (!whole || at != end) return false;
    request = std::move(read);
    return true;
}

}  // namespace

bool make_capture_channel(int ends[2]) {
    return ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) == 0;
}

bool send_message(int channel, const message_header& header, std::string_view body) {
    std::string message(message_header_length + body.size(), '\0');
    write_header(reinterpret_cast<std::uint8_t*>(message.data()), header);
    std::copy(body.begin(), body.end(), message.begin() + message_header_length);
    return send_bytes(channel, reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
}

std::string open_request_message(std::uint64_t session, const open_request& request) {
    std::string message(message_header_length, '\0');
    write_header(reinterpret_cast<std::uint8_t*>(message.data()), {session, message_kind::open, false});
    const auto append = [&message](const std::string& text) {
        if (text.size() > max_request_length) return false;
        const auto length = static_cast<std::uint16_t>(text.size());
        message.append(reinterpret_cast<const char*>(&length), sizeof length);
        message += text;
        return true;
    };
    if (!append(request.address) || !append(request.filter) ||
        !std::all_of(request.destinations.begin(), request.destinations.end(), append) ||
        message.size() > max_request_length)
        return {};
    return message;
}

open_sent send_open_request(int channel, std::uint64_t session, const open_request& request) {
    const std::string message = open_request_message(session, request);
    if (message.empty()) return open_sent::too_long;
    return send_bytes(channel, reinterpret_cast<const std::uint8_t*>(message.data()), message.size())
               ? open_sent::sent
               : open_sent::channel_closed;
}

bool read_header(const std::uint8_t* message, std::size_t length, message_header& header) {
    if (length < message_header_length) return false;
    const std::uint8_t kind = message[kind_at];
    if (kind < static_cast<std::uint8_t>(message_kind::open) ||
        kind > static_cast<std::uint8_t>(message_kind::ended))
        return false;
    std::memcpy(&header.session, message + session_at, sizeof header.session);
    header.kind = static_cast<message_kind>(kind);
    header.input_failure = message[failure_at] != 0;
    return true;
}

bool read_request(const std::uint8_t* message, std::size_t length, message_header& header,
                  open_request& request) {
    message_header read;
    if (!read_header(message, length, read)) return false;
    const bool well_formed =
        (read.kind == message_kind::open && read_open_request(message, length, request)) ||
        (read.kind == message_kind::close && length == message_header_length);
    if (well_formed) header = read;
    return well_formed;
}

frame_batch::frame_batch() : buffer(std::make_unique<std::uint8_t[]>(max_response_length)) {}

bool frame_batch::add(const std::uint8_t* data, std::uint32_t captured, std::uint32_t wire_length) {
    if (captured > snapshot_length || max_response_length - length < frame_record_header_length + captured)
        return false;
    std::uint8_t* at = buffer.get() + length;
    write32(at, captured);
    write32(at + 4, wire_length);
    std::memcpy(at + frame_record_header_length, data, captured);
    length += frame_record_header_length + captured;
    return true;
}

bool frame_batch::send(int channel, std::uint64_t session) {
    if (empty()) return true;
    write_header(buffer.get(), {session, message_kind::frames, false});
    const bool sent = send_bytes(channel, buffer.get(), length);
    length = message_header_length;
    return sent;
}

bool frame_batch_reader::next(const std::uint8_t*& data, std::uint32_t& captured,
                              std::uint32_t& wire_length) {
    if (at == end || bad) return false;
    if (end - at < static_cast<std::ptrdiff_t>(frame_record_header_length)) {
        bad = true;
        return false;
    }
    captured = read32(at);
    wire_length = read32(at + 4);
    if (captured > snapshot_length || end - at - static_cast<std::ptrdiff_t>(frame_record_header_length) <
                                          static_cast<std::ptrdiff_t>(captured)) {
        bad = true;
        return false;
    }
    data = at + frame_record_header_length;
    at = data + captured;
    return true;
}

long receive_message(int channel, std::uint8_t* buffer, std::size_t capacity, int timeout_ms) {
    pollfd readable{channel, POLLIN, 0};
    const int ready = ::poll(&readable, 1, timeout_ms);
    if (ready == 0 || (ready < 0 && errno == EINTR)) return 0;
    if (ready < 0) return -1;
    for (;;) {
        // MSG_TRUNC: the whole length, so that a cut message is told from a whole one.
        const ssize_t length = ::recv(channel, buffer, capacity, MSG_TRUNC);
        if (length > 0) return length;
        if (length < 0 && errno == EINTR) continue;
        return -1;
    }
}

void lower_own_priority() {
    const pid_t thread_id = gettid();
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, thread_id);
    if (nice == -1 && errno != 0) return;
    setpriority(PRIO_PROCESS, thread_id, std::min(nice + capture_nice_increment, lowest_nice));
}

}  // namespace vorlane
