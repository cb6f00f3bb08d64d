// Datagrams of both inputs through the stream manager, with batches taken in between and both
// queues drained at the end. Whatever leaves output k must be whole CR LF lines that an input-k
// datagram delivered and that the validator accepts, in batches that fit their buffer. Input 0
// reads the 8-byte header, input 1 the IEC 61162-450 token and TAG blocks.
//
// Input: records of a control byte, a 16-bit little-endian length and that many payload bytes.
// Control bits: 0 input number, 1 bad UDP checksum, 2 take a batch of that output afterwards,
// 3-5 which batch capacity, 6 make the input number invalid (2 or -1), 7 hand the datagram
// over repeatedly, so that short inputs can fill a queue: twice, then on while the queue could
// still fill during this input, up to 16 times in all, and only until one hand-over has run on
// a full queue.
//
// In a short run libFuzzer grows no input beyond the largest seed, and what a full queue costs
// dominates the rate: the seed largest_group keeps that limit above a group of the most lines a
// group may have, and full_queue fills its queue with short sentences, only just.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
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

// Calls `take(line)` for each line of a payload as the manager splits it: behind the header or
// token, up to the first NUL or the length, at runs of CR and LF. The separators are found with
// memchr, each searched again only once passed: a loop over the characters here costs more
// than the manager's own splitting, since every comparison in it is traced for the fuzzer.
template <typename Take>
void for_each_line(std::string_view payload, datagram_format format, Take take) {
    const std::size_t skipped = static_cast<std::size_t>(
        format == datagram_format::iec450 ? iec450_token_size : datagram_header_size);
    if (payload.size() < skipped) return;
    const char* next = payload.data() + skipped;
    const char* end = payload.data() + payload.size();
    if (const void* nul = std::memchr(next, 0, static_cast<std::size_t>(end - next)))
        end = static_cast<const char*>(nul);
    const auto find = [&end](const char* from, char c) {
        const void* found = std::memchr(from, c, static_cast<std::size_t>(end - from));
        return found != nullptr ? static_cast<const char*>(found) : end;
    };
    const char* cr = find(next, '\r');
    const char* lf = find(next, '\n');
    while (next != end) {
        const char* const stop = std::min(cr, lf);
        if (stop != next) take(std::string_view(next, static_cast<std::size_t>(stop - next)));
        if (stop == end) break;
        next = stop + 1;
        if (stop == cr) cr = find(next, '\r');
        if (stop == lf) lf = find(next, '\n');
    }
}

// The lines one input has delivered to an output, as views into the fuzzer's data, and how many
// it delivered in all. Every line that leaves is looked up here, and the validator's judgement of
// a line is remembered, so that a queue full of one repeated line costs one validation, not a
// thousand. An open-addressing table keyed by a hash that reads no more than the length and the
// two ends of a line: a lookup is a probe and one comparison, where a search of a sorted list
// compared a dozen lines. Kept for the whole run, and emptied by a new generation rather than
// by clearing it, so that an input allocates nothing and touches no slot it does not use once
// the run has warmed up.
class delivered_lines {
  public:
    void clear() {
        ++generation_;
        used_ = 0;
        delivered_ = 0;
        accepted_ = 0;
        taken_ = 0;
    }

    // Lines of this output that the validator accepted in a hand-over, each of which may have
    // taken a slot of the queue.
    void count_accepted(std::size_t lines) { accepted_ += lines; }
    // The most sentences the queue can hold now: it was empty when the input began.
    std::size_t queued_at_most() const { return accepted_ > taken_ ? accepted_ - taken_ : 0; }

    // The lines of a payload that was handed over `handovers` times. A line may lose its TAG
    // block on the way.
    void add(std::string_view payload, datagram_format format, int handovers) {
        for_each_line(payload, format, [&](std::string_view line) {
            insert(line);
            if (const std::size_t close = line.find('\\', 1);
                line[0] == '\\' && close != std::string_view::npos)
                insert(line.substr(close + 1));
            delivered_ += static_cast<std::size_t>(handovers);
        });
    }

    // One line taken from the output: it must have been delivered, no more lines can leave than
    // were delivered, and the validator must accept it.
    void check_taken(std::string_view line) {
        require(++taken_ <= delivered_, "more lines taken than delivered");
        slot* const found = find(line, hash_of(line));
        if (found->generation != generation_) {
            // No delivered line holds these, so the lookup has already refused such a line.
            for (const char c : {'\r', '\n', '\0'})
                require(std::memchr(line.data(), c, line.size()) == nullptr, "line holds CR, LF or NUL");
            require(false, "line that its input never delivered");
        }
        if (found->accepted) return;
        char copy[max_queued_text + 1];
        require(line.size() < sizeof copy, "line longer than a queue slot");
        line.copy(copy, line.size());
        copy[line.size()] = 0;
        nmea_sentence_info info;
        nmea_error_counts counts;
        require(nmea_validate_sentence(copy, copy, info, counts), "line the validator refuses");
        found->accepted = true;
    }

  private:
    struct slot {
        std::string_view text;
        std::uint64_t hash = 0;
        std::uint64_t generation = 0;
        bool accepted = false;
    };

    static std::uint64_t hash_of(std::string_view line) {
        std::uint64_t head = 0;
        std::uint64_t tail = 0;
        const std::size_t n = std::min<std::size_t>(line.size(), sizeof head);
        std::memcpy(&head, line.data(), n);
        std::memcpy(&tail, line.data() + line.size() - n, n);
        return ((head * 0x9E3779B97F4A7C15u) ^ (tail * 0xC2B2AE3D27D4EB4Fu) ^ line.size()) *
               0x165667B19E3779F9u;
    }

    // The slot that holds `line`, or the free one where it would go.
    slot* find(std::string_view line, std::uint64_t hash) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash >> 40;; ++i) {
            slot& s = slots_[i & mask];
            if (s.generation != generation_ || (s.hash == hash && s.text == line)) return &s;
        }
    }

    void insert(std::string_view line) {
        // At most half full, so that a probe ends soon.
        if (2 * (used_ + 1) > slots_.size()) grow();
        const std::uint64_t hash = hash_of(line);
        slot* const s = find(line, hash);
        if (s->generation == generation_) return;
        *s = {line, hash, generation_, false};
        ++used_;
    }

    void grow() {
        std::vector<slot> old(2 * slots_.size());
        old.swap(slots_);
        for (const slot& s : old)
            if (s.generation == generation_) *find(s.text, s.hash) = s;
    }

    std::vector<slot> slots_ = std::vector<slot>(256);
    std::uint64_t generation_ = 1;
    std::size_t used_ = 0;
    std::size_t delivered_ = 0;
    std::size_t accepted_ = 0;
    std::size_t taken_ = 0;
};

void check_batch(const char* batch, std::int32_t taken, std::int32_t capacity, delivered_lines& sent) {
    require(taken > 0 && taken < capacity, "batch size outside (0, capacity)");
    require(batch[taken] == '\0', "batch without its NUL");
    const char* next = batch;
    const char* const end = batch + taken;
    while (next != end) {
        const auto* lf =
            static_cast<const char*>(std::memchr(next, '\n', static_cast<std::size_t>(end - next)));
        require(lf != nullptr && lf != next && lf[-1] == '\r', "batch holds a line without CR LF");
        sent.check_taken(std::string_view(next, static_cast<std::size_t>(lf - 1 - next)));
        next = lf + 1;
    }
}

// Takes one batch; answers whether one was taken.
bool take_batch(nmea_manager& manager, std::int32_t output, std::int32_t capacity, delivered_lines& sent) {
    // The batch ends exactly at the end of the storage, so AddressSanitizer sees any write past
    // `capacity`; one storage for the run, since a fresh one per batch cost more than the batch.
    static char storage[drain_capacity];
    char* const batch = storage + drain_capacity - capacity;
    const bool waiting = manager.has_output(output);
    std::int32_t size = capacity;
    if (!manager.take_output(output, batch, size)) {
        require(size == capacity, "refused take changed the capacity");
        // What was waiting may all have been dropped on the way (a group this buffer cannot hold).
        require(!waiting || capacity < min_take_capacity || !manager.has_output(output),
                "nothing taken although a sentence was waiting");
        return false;
    }
    require(waiting, "batch from an empty queue");
    check_batch(batch, size, capacity, sent);
    return true;
}

// One record of the input.
struct record {
    std::uint8_t control = 0;
    std::string_view payload;

    std::int32_t output() const { return control & 1; }
    bool checksum_bad() const { return (control & 2) != 0; }
    bool invalid_input() const { return (control & 0x40) != 0; }
    bool repeated() const { return (control & 0x80) != 0; }
    // Whether its lines reach the manager's splitting at all.
    bool delivers() const { return !checksum_bad() && !invalid_input(); }
};

// Takes the next record off the front of the input; false when none is left.
bool next_record(const std::uint8_t*& data, std::size_t& size, record& next) {
    if (size < 3) return false;
    const std::size_t length = std::min<std::size_t>(data[1] | data[2] << 8, size - 3);
    next = {data[0], std::string_view(reinterpret_cast<const char*>(data + 3), length)};
    data += 3 + length;
    size -= 3 + length;
    return true;
}

constexpr int most_handovers = 16;

// What the records of an input could offer each output's queue, so that repeating a datagram
// stops once the queue can no longer fill: every line that reaches the manager, as often as its
// datagram may be handed over.
class offer_plan {
  public:
    void make(const std::uint8_t* data, std::size_t size) {
        per_record_.clear();
        later_ = {};
        next_ = 0;
        for (record next; next_record(data, size, next);) {
            std::size_t lines = 0;
            if (next.delivers())
                for_each_line(next.payload, input_formats[static_cast<std::size_t>(next.output())],
                              [&lines](std::string_view) { ++lines; });
            const std::size_t offered = lines * (next.repeated() ? most_handovers : 1);
            per_record_.push_back(offered);
            later_[static_cast<std::size_t>(next.output())] += offered;
        }
    }

    // Takes the next record off the plan; answers what the records behind it offer its output.
    std::size_t later_than_next(std::int32_t output) {
        std::size_t& later = later_[static_cast<std::size_t>(output)];
        later -= per_record_[next_++];
        return later;
    }

  private:
    std::vector<std::size_t> per_record_;
    std::array<std::size_t, output_count> later_{};
    std::size_t next_ = 0;
};

// Hands the datagram of `next` to the manager once, or for bit 7 repeatedly, so that short
// inputs can fill a queue; answers how often. Repeating goes on while the queue could still
// fill during this input (what the validator accepted so far less what was taken, this
// datagram's accepted lines once per hand-over left, and `later`, what the records behind it
// offer), but at least twice, so that a second copy replaces or repeats the first. It stops
// after a hand-over that ran on a full queue: nothing leaves a queue in between, so further
// ones would only do the same again.
int hand_over(nmea_manager& manager, const record& next, std::size_t later, delivered_lines& sent) {
    const std::int32_t output = next.output();
    const std::int32_t input = next.invalid_input() ? (output == 0 ? 2 : -1) : output;
    const std::size_t length = next.payload.size();
    const input_tally& counted = manager.statistics().input(output);
    const std::uint64_t& queue_full = counted.dropped[static_cast<std::size_t>(stream_drop::queue_full)];
    static std::vector<std::uint8_t> frame;
    bool ran_full = false;
    int given = 0;
    while (true) {
        // The manager splits the payload in place: each hand-over gets a fresh copy.
        frame.resize(length + 1);
        std::memcpy(frame.data(), next.payload.data(), length);
        frame[length] = 0;
        const std::uint64_t full_before = queue_full;
        const std::uint64_t judged_before = counted.lines;
        const std::size_t rejected_before = manager.statistics().rejected_seen();
        manager.process_datagram(input, input, frame.data(), static_cast<std::int32_t>(length),
                                 next.checksum_bad());
        ++given;
        // Only this input's lines were judged, and each rejected one is among the recent ones.
        const std::size_t accepted =
            (counted.lines - judged_before) - (manager.statistics().rejected_seen() - rejected_before);
        sent.count_accepted(accepted);
        if (!next.repeated() || given == most_handovers || ran_full) return given;
        ran_full = queue_full != full_before;
        const std::size_t could_hold =
            sent.queued_at_most() + accepted * static_cast<std::size_t>(most_handovers - given) + later;
        if (given >= 2 && !ran_full && could_hold < queue_slot_count - 1) return given;
    }
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
    static std::array<delivered_lines, output_count> sent;
    for (delivered_lines& lines : sent) lines.clear();
    static offer_plan plan;
    plan.make(data, size);

    for (record next; next_record(data, size, next);) {
        const std::int32_t output = next.output();
        const int given = hand_over(*manager, next, plan.later_than_next(output), sent[output]);
        const auto format = input_formats[static_cast<std::size_t>(output)];
        if (next.delivers()) sent[output].add(next.payload, format, given);

        if (next.control & 4)
            take_batch(*manager, output, batch_capacities[(next.control >> 3) & 7], sent[output]);
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
