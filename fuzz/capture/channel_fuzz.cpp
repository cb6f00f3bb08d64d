// Whatever the program's side of the capture channel sends, the helper (which keeps the right to
// capture) must take nothing from it but a request of exact shape; and whatever arrives as a
// batch of frames, the receive thread must take only frames that lie within the message.
//
// Each input is used twice, with no socket, adapter or capture library involved:
// - as a whole request message: one the helper accepts must encode back to the same bytes (the
//   input failure flag aside, which a request does not use); one it refuses must leave what it
//   was to fill untouched;
// - as the body of a frames message: the frames walked must follow one another from the body's
//   start, lie within it and respect snapshot_length, and a walk that is not malformed must end
//   exactly at the body's end. Each frame then goes to a frame ring as the receive thread hands
//   it over, and whatever the ring stores must stay within a slot.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capture/capture_channel.h"
#include "capture/frame_ring.h"

namespace {

using namespace vorlane;

constexpr std::size_t failure_flag_at = 9;

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "channel fuzz: %s\n", what);
    std::abort();
}

void check_request(const std::uint8_t* data, std::size_t size) {
    const message_header untouched_header{0x5A5A5A5A5A5A5A5AU, message_kind::ended, true};
    const open_request untouched_request{"untouched address", "untouched filter", {"first", "second"}};
    message_header header = untouched_header;
    open_request request = untouched_request;
    if (!read_request(data, size, header, request)) {
        require(header.session == untouched_header.session && header.kind == untouched_header.kind &&
                    header.input_failure == untouched_header.input_failure,
                "a refused request changed the header");
        require(request.address == untouched_request.address && request.filter == untouched_request.filter &&
                    request.destinations == untouched_request.destinations,
                "a refused request changed the open request");
        return;
    }
    std::uint64_t session = 0;
    std::memcpy(&session, data, sizeof session);
    require(header.session == session, "the session is not the message's");
    if (header.kind == message_kind::close) {
        require(size == message_header_length, "a close with a body was accepted");
        return;
    }
    require(header.kind == message_kind::open, "a request neither open nor close was accepted");
    const std::string message = open_request_message(session, request);
    const std::string input(reinterpret_cast<const char*>(data), size);
    require(message.size() == size && message.compare(0, failure_flag_at, input, 0, failure_flag_at) == 0 &&
                message.compare(failure_flag_at + 1, std::string::npos, input, failure_flag_at + 1) == 0,
            "an accepted open request does not encode back to its message");
}

// The ring as the receive thread keeps it, made once: it is large, and its state across inputs
// (full or not) is as the receive thread would meet it. Junction box 1 sends from 10.0.0.1 to
// 239.192.0.1 port 60001, box 2 from 10.0.0.2 to 10.0.0.9 port 60002.
FrameRing& ring() {
    static FrameRing made;
    static const bool configured = [] {
        made.set_inputs(
            input_addresses({"10.0.0.1", "10.0.0.2"}, {"239.192.0.1", "10.0.0.9"}, {60001, 60002}));
        return true;
    }();
    (void)configured;
    return made;
}

void check_frames(const std::uint8_t* body, std::size_t size) {
    frame_batch_reader frames(body, size);
    const std::uint8_t* expected_at = body;
    const std::uint8_t* data = nullptr;
    std::uint32_t captured = 0;
    std::uint32_t wire_length = 0;
    while (frames.next(data, captured, wire_length)) {
        require(data == expected_at + frame_record_header_length, "a frame does not follow the one before");
        require(captured <= snapshot_length, "a frame longer than the snapshot length");
        require(captured <= static_cast<std::size_t>(body + size - data), "a frame runs past the body");
        expected_at = data + captured;
        ring().store_captured(data, captured, wire_length);
    }
    require(frames.malformed() || expected_at == body + size, "a walk ended early without a fault");
    require(!frames.next(data, captured, wire_length), "a frame after the walk ended");

    rx_datagram record;
    while (ring().take_datagram(&record)) {
        require(record.frame_length >= 0 && static_cast<std::size_t>(record.frame_length) <= max_frame_length,
                "a stored frame longer than a slot");
        require(record.payload_offset <= record.frame_length, "a payload that starts behind its frame");
        require(record.input_index == 0 || record.input_index == 1, "a frame of no junction box stored");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check_request(data, size);
    check_frames(data, size);
    return 0;
}
