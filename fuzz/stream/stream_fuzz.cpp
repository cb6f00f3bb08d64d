// Datagrams of both inputs through the stream manager, with batches taken in between and both
// queues drained at the end. Whatever leaves output k must be whole CR LF lines that an input-k
// datagram delivered and that the validator accepts, in batches that fit their buffer. Input 0
// reads the 8-byte header, input 1 the IEC 61162-450 token and TAG blocks.
//
// Input: records of a control byte, a 16-bit little-endian length and that many payload bytes.
// Control bits: 0 input number, 1 bad UDP checksum, 2 take a batch of that output afterwards,
// 3-5 which batch capacity, 6 make the input number invalid (2 or -1), 7 hand the datagram
// over 16 times (so that short inputs can fill a queue).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "stream/nmea_manager.h"
#include "validation/nmea_validator.h"

namespace {

using namespace vorlane;

constexpr std::array<std::int32_t, 8> batch_capacities{82, 83, 84, 100, 165, 1000, 4800, 83};
constexpr std::int32_t drain_capacity = 4800;

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "stream fuzz: %s\n", what);
    std::abort();
}

constexpr std::array<datagram_format, output_count> input_formats{datagram_format::header8,
                                                                  datagram_format::iec450};

// The lines an input has delivered, as the manager splits them: behind the header or token, up
// to the first NUL or the length, at runs of CR and LF. A line may lose its TAG block on the way.
void remember_lines(std::string_view payload, datagram_format format, std::set<std::string>& lines) {
    const std::size_t skipped = static_cast<std::size_t>(
        format == datagram_format::iec450 ? iec450_token_size : datagram_header_size);
    if (payload.size() < skipped) return;
    std::string_view text = payload.substr(skipped);
    text = text.substr(0, text.find('\0'));
    while (!text.empty()) {
        const std::size_t start = text.find_first_not_of("\r\n");
        if (start == std::string_view::npos) break;
        text.remove_prefix(start);
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = text.substr(0, end);
        lines.emplace(line);
        if (const std::size_t close = line.find('\\', 1); line[0] == '\\' && close != std::string_view::npos)
            lines.emplace(line.substr(close + 1));
        text.remove_prefix(end);
    }
}

void check_batch(const char* batch, std::int32_t taken, std::int32_t capacity,
                 const std::set<std::string>& sent) {
    require(taken > 0 && taken < capacity, "batch size outside (0, capacity)");
    for (std::int32_t i = taken; i < capacity; ++i)
        require(batch[i] == '\0', "batch not cleared behind the text");
    std::string_view rest(batch, static_cast<std::size_t>(taken));
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        require(end != std::string_view::npos, "batch holds a line without CR LF");
        std::string line(rest.substr(0, end));
        require(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
                "line holds CR, LF or NUL");
        require(sent.contains(line), "line that its input never delivered");
        nmea_sentence_info info;
        nmea_error_counts counts;
        require(nmea_validate_sentence(line.c_str(), line.data(), info, counts),
                "line the validator refuses");
        rest.remove_prefix(end + 2);
    }
}

// Takes one batch; answers whether one was taken.
bool take_batch(nmea_manager& manager, std::int32_t output, std::int32_t capacity,
                const std::set<std::string>& sent) {
    const bool waiting = manager.has_output(output);
    // Exactly `capacity` bytes, so AddressSanitizer sees any write past the end.
    const auto batch = std::make_unique<char[]>(static_cast<std::size_t>(capacity));
    std::int32_t size = capacity;
    if (!manager.take_output(output, batch.get(), size)) {
        require(size == capacity, "refused take changed the capacity");
        // What was waiting may all have been dropped on the way (a group this buffer cannot hold).
        require(!waiting || capacity < min_take_capacity || !manager.has_output(output),
                "nothing taken although a sentence was waiting");
        return false;
    }
    require(waiting, "batch from an empty queue");
    check_batch(batch.get(), size, capacity, sent);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One manager for the whole run, like the program's: the ring positions carry over from one
    // input to the next, so the queues wrap around their end.
    static const auto manager = [] {
        auto made = std::make_unique<nmea_manager>();
        for (std::int32_t input = 0; input < output_count; ++input)
            made->set_input_format(input, input_formats[static_cast<std::size_t>(input)]);
        return made;
    }();
    std::set<std::string> sent[output_count];

    while (size >= 3) {
        const std::uint8_t control = data[0];
        const std::size_t length = std::min<std::size_t>(data[1] | data[2] << 8, size - 3);
        const std::string_view payload(reinterpret_cast<const char*>(data + 3), length);
        data += 3 + length;
        size -= 3 + length;

        const std::int32_t output = control & 1;
        const bool checksum_bad = (control & 2) != 0;
        const bool invalid_input = (control & 0x40) != 0;
        const std::int32_t input = invalid_input ? (output == 0 ? 2 : -1) : output;
        if (!checksum_bad && !invalid_input)
            remember_lines(payload, input_formats[static_cast<std::size_t>(output)], sent[output]);

        const int repeats = (control & 0x80) != 0 ? 16 : 1;
        for (int i = 0; i < repeats; ++i) {
            std::vector<std::uint8_t> frame(payload.begin(), payload.end());
            frame.push_back(0);
            manager->process_datagram(input, input, frame.data(), static_cast<std::int32_t>(length),
                                      checksum_bad);
        }

        if (control & 4) take_batch(*manager, output, batch_capacities[(control >> 3) & 7], sent[output]);
    }

    for (std::int32_t output = 0; output < output_count; ++output) {
        // A group still arriving belongs to this run's lines: setting the format drops it.
        manager->set_input_format(output, input_formats[static_cast<std::size_t>(output)]);
        std::size_t batches = 0;
        while (take_batch(*manager, output, drain_capacity, sent[output]))
            require(++batches < queue_slot_count, "queue does not drain");
        require(!manager->has_output(output), "sentences left after draining");
    }
    return 0;
}
