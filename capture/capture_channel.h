#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/junction_boxes.h"

namespace vorlane {

// The channel between the receive thread and the capture helper, the one process that holds the
// right to capture. A pair of local SOCK_SEQPACKET sockets made before the helper is started:
// every message arrives whole or not at all, even from a helper that dies while writing, and
// only the two ends of the pair can speak on it.
//
// Each message starts with the session (the receive thread's request number that it opened the
// capture for, so that the thread can tell a late answer of an earlier capture from the current
// one) and its kind. The thread sends open, and close when it leaves that capture for whatever
// reason; the helper answers an open with reports, opened, timeouts and frames, and ends it with
// ended, unless a newer request came first. What the helper says of no particular session (a
// refused request, a worker started again) carries any_session.
enum class message_kind : std::uint8_t {
    // Receive thread to helper.
    open = 1,   // address, filter, two destinations: four texts
    close = 2,  // no body
    // Helper to receive thread.
    report = 3,   // a status text; input_failure counts it as a failed attempt to open the input
    opened = 4,   // adapter open, filter installed: frames follow
    timeout = 5,  // no frame within the read time-out
    frames = 6,   // frames as the capture library delivered them, each with both its lengths
    ended = 7,    // the session is over: the open failed, or the capture ended by itself
};

inline constexpr std::uint64_t any_session = 0;
// Session, kind, input failure flag.
inline constexpr std::size_t message_header_length = 10;
// The longest frame the helper captures. Frames longer than the frame ring's slots still travel
// whole, because the ring counts each skipped frame against the junction box it came from.
inline constexpr std::size_t snapshot_length = 65536;
// Bounds: an open request of today's settings is well under 2 KiB; the helper refuses anything
// longer than this. A batch of frames holds at least one frame of the full snapshot length.
inline constexpr std::size_t max_request_length = 16384;
inline constexpr std::size_t frame_record_header_length = 8;
inline constexpr std::size_t max_response_length = 2 * snapshot_length + 4096;

struct message_header {
    std::uint64_t session = any_session;
    message_kind kind = message_kind::close;
    bool input_failure = false;
};

// What an open request asks for, as the helper takes it off the channel.
struct open_request {
    std::string address;
    std::string filter;
    std::array<std::string, junction_box_count> destinations;
};

// Makes the pair: [0] for the receive thread, [1] for the helper. Both ends are closed on exec.
bool make_capture_channel(int ends[2]);

// Sends one message; false when the channel is closed or broken. Never raises SIGPIPE.
bool send_message(int channel, const message_header& header, std::string_view body = {});
// The open request as one whole message; empty when it would exceed max_request_length.
std::string open_request_message(std::uint64_t session, const open_request& request);
enum class open_sent { sent, too_long, channel_closed };
// Encodes and sends an open request; too_long when it would exceed max_request_length.
open_sent send_open_request(int channel, std::uint64_t session, const open_request& request);

// Reads the header; false when the message is shorter than one or of an unknown kind.
bool read_header(const std::uint8_t* message, std::size_t length, message_header& header);
// A request as the helper takes it off the channel, `length` being the message's whole length
// (it may be longer than the bytes read of it): an open whose four texts, each a 16-bit length
// and its bytes, fill the message exactly and hold no NUL, or a close with no body. False, with
// header and request left as they were, for anything else: the helper refuses it.
bool read_request(const std::uint8_t* message, std::size_t length, message_header& header,
                  open_request& request);

// Frames gathered into one message, in a buffer allocated once.
class frame_batch {
  public:
    frame_batch();
    // False, and nothing added, when the frame does not fit behind those already gathered; a
    // frame of at most snapshot_length bytes always fits into an empty batch.
    bool add(const std::uint8_t* data, std::uint32_t captured, std::uint32_t wire_length);
    bool empty() const { return length == message_header_length; }
    // Sends the gathered frames, if any, and empties the batch; false when sending failed.
    bool send(int channel, std::uint64_t session);

  private:
    std::unique_ptr<std::uint8_t[]> buffer;
    std::size_t length = message_header_length;
};

// Walks the frames of a frames message's body. A record whose lengths run past the body, or
// claim more than snapshot_length bytes, ends the walk as malformed.
class frame_batch_reader {
  public:
    frame_batch_reader(const std::uint8_t* body, std::size_t length) : at(body), end(body + length) {}
    // The next frame; false at the end or on a malformed record.
    bool next(const std::uint8_t*& data, std::uint32_t& captured, std::uint32_t& wire_length);
    bool malformed() const { return bad; }

  private:
    const std::uint8_t* at;
    const std::uint8_t* end;
    bool bad = false;
};

// Waits up to timeout_ms (-1: without limit) for the next message and reads at most capacity
// bytes of it into buffer: the message's whole length, which exceeds capacity when it was cut,
// 0 when none came in time, -1 when the channel is closed or broken.
long receive_message(int channel, std::uint8_t* buffer, std::size_t capacity, int timeout_ms);

// The capture runs below the program's main thread: nice_increment above the process's nice
// value. Under a saturated CPU a thread at +5 still gets about a third of the share of a normal
// one, far more than reading and copying frames needs, while the main thread wins when both are
// ready. The capture library's kernel buffer absorbs the bursts meanwhile.
inline constexpr int capture_nice_increment = 5;
// Lowers the calling thread's priority so; on failure it keeps the normal one.
void lower_own_priority();

}  // namespace vorlane
