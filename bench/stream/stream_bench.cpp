// Throughput of the stream manager: IEC 61162-450 datagrams through decoding, validation and
// queueing, drained the way the 100 ms sender drains them, and the worst case of a backed-up
// queue in which every sentence scans all waiting slots for the one it replaces.
//
// Every run also counts heap allocations per datagram through the replaced global operator new
// below; the data path must show 0.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "stream/nmea_manager.h"
#include "tests/support/nmea_text.h"
#include "validation/nmea_tables.h"
#include "validation/nmea_validator.h"

namespace {
std::atomic<std::size_t> heap_allocations{0};
}  // namespace

// Kept out of line: inlined into a call site, GCC pairs the builtin new with the free below and
// warns of a mismatch that is not there.
[[gnu::noinline]] void* operator new(std::size_t size) {
    heap_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace vorlane {
namespace {

// What the capture store hands over: a UDP payload of at most 1480 bytes (a 1522-byte frame less
// its Ethernet, IPv4 and UDP headers) with room for the NUL behind it.
constexpr std::size_t max_payload = 1480;
constexpr std::size_t typical_payload = 1400;
constexpr std::int32_t service_capacity = 4800;
const std::string header = std::string("UdPbC\0\0\0", 8);
const std::string standard_token = std::string(iec450_sentence_token, iec450_token_size);

struct datagram {
    std::int32_t input;
    std::string payload;
    std::size_t lines;
};

// Packs consecutive lines into datagrams of at most `max_lines` lines and 1,400 bytes,
// alternating the two inputs; each datagram begins with `lead`.
std::vector<datagram> pack(const std::vector<std::string>& lines, std::size_t max_lines,
                           const std::string& lead = header) {
    std::vector<datagram> out;
    datagram current{0, lead, 0};
    for (const std::string& line : lines) {
        const bool full =
            current.lines == max_lines || current.payload.size() + line.size() + 2 > typical_payload;
        if (full && current.lines > 0) {
            out.push_back(current);
            current = {static_cast<std::int32_t>(out.size() % output_count), lead, 0};
        }
        current.payload += line + "\r\n";
        ++current.lines;
    }
    if (current.lines > 0) out.push_back(current);
    return out;
}

std::vector<std::string> corpus_lines() {
    std::vector<std::string> lines;
    std::ifstream corpus(VORLANE_SHARED_CORPUS);
    for (std::string line; std::getline(corpus, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// Valid sentences of formatters whose rules are in place, several talkers, replaceable and not.
std::vector<std::string> synthetic_lines() {
    const char* const bodies[] = {
        "$GPGGA,125110,3854.5087,N,07726.4523,W,1,10,2.0,268.8,M,-33.9,M,,",
        "$GPGLL,3854.5087,N,07726.4523,W,125108,A,A",
        "$GPRMC,125106,A,3854.5087,N,07726.4523,W,0.0,0.0,241011,10.5,W,A,V",
        "$GPVTG,224.44,T,224.44,M,5.81,N,10.76,K,A",
        "$GPZDA,193223.00,23,12,2007,00,00",
        "$GPGSV,3,1,10,03,41,050,46,07,60,317,49,08,34,315,45,11,35,148,45,1",
        "$GPGSV,3,2,10,13,38,213,46,16,27,068,43,19,72,076,51,23,09,182,37,1",
        "$GPGSA,A,3,03,07,08,11,13,16,19,23,24,28,,,3.6,2.0,3.0,1",
        "$HEHDG,229.8,,,1.3,E",
        "$WIMWD,,,,,08.16,N,04.20,M",
        "$VWVLW,115.2,N,12.3,N,0.0,N,0.0,N",
        "$GPDTM,W84,,0.0,N,0.0,E,0.0,W84",
        "$GNGNS,112257.00,3844.24011,N,00908.43828,W,AN,03,10.5,,,,,V",
        "$GNGGA,125112,3854.5087,N,07726.4523,W,1,10,2.0,268.8,M,-33.9,M,,",
        "$GNRMC,125112,A,3854.5087,N,07726.4523,W,0.0,0.0,241011,10.5,W,A,V",
        "$GLGSV,2,1,08,65,41,050,46,66,60,317,49,67,34,315,45,68,35,148,45,1",
        "$GPRTE,2,1,c,0,WP1,WP2,WP3",
        "$GPWPL,3854.508,N,07726.452,W,WP1",
        "$GPZDA,193224.00,23,12,2007,00,00",
        "$GPGGA,125111,3854.5087,N,07726.4523,W,1,10,2.0,268.8,M,-33.9,M,,",
    };
    std::vector<std::string> lines;
    for (const char* body : bodies) lines.push_back(test::with_checksum(body));
    return lines;
}

std::size_t accepted_count(const std::vector<std::string>& lines) {
    std::size_t accepted = 0;
    for (std::string line : lines) {
        nmea_sentence_info info;
        nmea_error_counts counts;
        accepted += nmea_validate_sentence(line.c_str(), line.data(), info, counts) ? 1 : 0;
    }
    return accepted;
}

// What the outputs do besides serving every line bare.
struct output_choice {
    const char* sources = "";
    output_tags tags;
};

// One datagram after another through the manager, each followed by the batch the sender takes
// for that output.
void run_datagrams(benchmark::State& state, const std::vector<datagram>& datagrams,
                   datagram_format format = datagram_format::header8, const output_choice& outputs = {}) {
    auto manager = std::make_unique<nmea_manager>();
    source_filter sources;
    sources.parse(outputs.sources);
    for (std::int32_t input = 0; input < output_count; ++input) {
        manager->set_input_format(input, format);
        manager->set_output_sources(input, sources, std::chrono::seconds(3));
        manager->set_output_tags(input, outputs.tags);
    }
    auto frame = std::make_unique<std::uint8_t[]>(max_payload + 1);
    auto batch = std::make_unique<char[]>(service_capacity + 1);
    std::size_t next = 0;
    std::size_t lines = 0;
    std::size_t bytes = 0;
    std::size_t taken = 0;
    const std::size_t allocations_before = heap_allocations.load();
    for (auto _ : state) {
        const datagram& d = datagrams[next];
        next = next + 1 == datagrams.size() ? 0 : next + 1;
        std::memcpy(frame.get(), d.payload.data(), d.payload.size());
        frame[d.payload.size()] = 0;
        manager->process_datagram(d.input, d.input, frame.get(), static_cast<std::int32_t>(d.payload.size()),
                                  false);
        std::int32_t capacity = service_capacity;
        if (manager->take_output(d.input, batch.get(), capacity)) taken += static_cast<std::size_t>(capacity);
        lines += d.lines;
        bytes += d.payload.size();
    }
    const auto allocations = static_cast<double>(heap_allocations.load() - allocations_before);
    benchmark::DoNotOptimize(taken);
    state.SetItemsProcessed(static_cast<std::int64_t>(lines));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["allocs_per_datagram"] = allocations / static_cast<double>(state.iterations());
    state.counters["lines_per_datagram"] =
        static_cast<double>(lines) / static_cast<double>(state.iterations());
    state.counters["bytes_per_datagram"] =
        static_cast<double>(bytes) / static_cast<double>(state.iterations());
}

void BM_real_corpus_datagrams(benchmark::State& state) {
    const std::vector<std::string> lines = corpus_lines();
    if (lines.empty()) {
        state.SkipWithError("real sentence corpus not found at " VORLANE_SHARED_CORPUS);
        return;
    }
    run_datagrams(state, pack(lines, static_cast<std::size_t>(state.range(0))));
    char label[64];
    std::snprintf(label, sizeof label, "%zu of %zu corpus lines accepted", accepted_count(lines),
                  lines.size());
    state.SetLabel(label);
}
// 20 lines to a datagram, and as many as fit in 1,400 bytes.
BENCHMARK(BM_real_corpus_datagrams)->ArgName("max_lines")->Arg(20)->Arg(1000);

// The same lines as a standard sender puts them: each behind a TAG block with source, line
// count and time, as the published example has it.
void BM_real_corpus_standard_datagrams(benchmark::State& state) {
    std::vector<std::string> lines = corpus_lines();
    if (lines.empty()) {
        state.SkipWithError("real sentence corpus not found at " VORLANE_SHARED_CORPUS);
        return;
    }
    for (std::size_t k = 0; k < lines.size(); ++k)
        lines[k] = test::with_checksum("\\s:GP0001,n:" + std::to_string(k % 1000) + ",c:1683881316755") +
                   "\\" + lines[k];
    run_datagrams(state, pack(lines, static_cast<std::size_t>(state.range(0)), standard_token),
                  datagram_format::iec450);
}
BENCHMARK(BM_real_corpus_standard_datagrams)->ArgName("max_lines")->Arg(20);

// Two receivers sending the same lines in turn, each with its own count, through an output that
// serves the first and tags each line it serves with source and time: the cost of the choice.
void BM_real_corpus_two_sources_selected_and_tagged(benchmark::State& state) {
    std::vector<std::string> lines = corpus_lines();
    if (lines.empty()) {
        state.SkipWithError("real sentence corpus not found at " VORLANE_SHARED_CORPUS);
        return;
    }
    for (std::size_t k = 0; k < lines.size(); ++k)
        lines[k] = test::with_checksum(std::string(k % 2 == 0 ? "\\s:GP0001" : "\\s:GP0002") +
                                       ",n:" + std::to_string(k / 2 % 1000) + ",c:1683881316755") +
                   "\\" + lines[k];
    run_datagrams(state, pack(lines, 20, standard_token), datagram_format::iec450,
                  {"GP0001,GP0002", {.source = true, .time = true}});
}
BENCHMARK(BM_real_corpus_two_sources_selected_and_tagged);

void BM_synthetic_datagrams(benchmark::State& state) {
    const std::vector<std::string> lines = synthetic_lines();
    run_datagrams(state, pack(lines, lines.size()));
    char label[64];
    std::snprintf(label, sizeof label, "%zu of %zu lines accepted", accepted_count(lines), lines.size());
    state.SetLabel(label);
}
BENCHMARK(BM_synthetic_datagrams);

// The validator alone on the same real lines: the baseline that shows what the manager adds.
void BM_real_corpus_validator_only(benchmark::State& state) {
    const std::vector<std::string> lines = corpus_lines();
    if (lines.empty()) {
        state.SkipWithError("real sentence corpus not found at " VORLANE_SHARED_CORPUS);
        return;
    }
    char work[max_payload + 1];
    std::size_t next = 0;
    for (auto _ : state) {
        const std::string& line = lines[next];
        next = next + 1 == lines.size() ? 0 : next + 1;
        std::memcpy(work, line.c_str(), line.size() + 1);
        nmea_sentence_info info;
        nmea_error_counts counts;
        benchmark::DoNotOptimize(nmea_validate_sentence(work, work, info, counts));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_real_corpus_validator_only);

// Nobody takes anything: the queue of output 0 holds 1023 latest-value sentences of distinct
// kinds, the kinds of the incoming datagram waiting last, so every incoming sentence scans the
// whole queue before it replaces its older copy.
void BM_full_queue_of_replaceable_sentences(benchmark::State& state) {
    std::vector<std::string> incoming;
    std::vector<std::pair<std::uint32_t, std::int32_t>> incoming_kinds;
    for (const std::string& line : synthetic_lines()) {
        nmea_sentence_info info;
        nmea_error_counts counts;
        std::string work = line;
        if (nmea_validate_sentence(work.c_str(), work.data(), info, counts) &&
            nmea_manager::is_replaceable_formatter(info.formatter_index)) {
            incoming.push_back(line);
            if (std::find(incoming_kinds.begin(), incoming_kinds.end(),
                          std::pair{info.formatter_index, info.talker_index}) == incoming_kinds.end())
                incoming_kinds.emplace_back(info.formatter_index, info.talker_index);
        }
    }
    const datagram d = pack(incoming, incoming.size()).front();

    auto manager = std::make_unique<nmea_manager>();
    std::size_t filled = 0;
    const std::size_t fillers = queue_slot_count - 1 - incoming_kinds.size();
    for (std::int32_t talker = 1; filled < fillers; ++talker) {
        for (std::uint32_t formatter = 1; formatter <= formatter_count && filled < fillers; ++formatter) {
            if (!nmea_manager::is_replaceable_formatter(formatter) ||
                std::find(incoming_kinds.begin(), incoming_kinds.end(), std::pair{formatter, talker}) !=
                    incoming_kinds.end())
                continue;
            nmea_message_out filler;
            filler.info.formatter_index = formatter;
            filler.info.talker_index = talker;
            std::snprintf(filler.text, sizeof filler.text, "$%02d%s,filler\r\n", talker % 100,
                          std::string(formatter_name(formatter)).c_str());
            filler.destinations.add(0);
            manager->queue_sentence(filler);
            ++filled;
        }
    }

    auto frame = std::make_unique<std::uint8_t[]>(max_payload + 1);
    const auto feed = [&] {
        std::memcpy(frame.get(), d.payload.data(), d.payload.size() + 1);
        manager->process_datagram(0, 0, frame.get(), static_cast<std::int32_t>(d.payload.size()), false);
    };
    feed();
    const std::size_t allocations_before = heap_allocations.load();
    for (auto _ : state) feed();
    const auto allocations = static_cast<double>(heap_allocations.load() - allocations_before);

    std::size_t waiting = 0;
    std::int32_t capacity = service_capacity;
    auto batch = std::make_unique<char[]>(service_capacity + 1);
    for (; manager->take_output(0, batch.get(), capacity); capacity = service_capacity)
        for (std::int32_t i = 0; i < capacity; ++i) waiting += batch[i] == '\n' ? 1 : 0;

    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.lines));
    state.counters["allocs_per_datagram"] = allocations / static_cast<double>(state.iterations());
    state.counters["lines_per_datagram"] = static_cast<double>(d.lines);
    state.counters["queue_length"] = static_cast<double>(waiting);
}
BENCHMARK(BM_full_queue_of_replaceable_sentences);

// The same for AIS: 1023 waiting VDM sentences of one talker from distinct senders, so every
// slot has the kind of the incoming sentence and its key text is compared. Queued directly,
// because this measures the queue alone.
void BM_full_queue_of_ais_sentences(benchmark::State& state) {
    const auto vdm = [](unsigned sender) {
        nmea_message_out m;
        m.info.formatter_index = formatter_index_of("VDM");
        m.info.talker_index = talker_index_of("AI");
        std::snprintf(m.text, sizeof m.text, "!AIVDM,1,1,,A,13%05u0P00PD;88MD5MTDww@2D7k,0*00\r\n", sender);
        m.destinations.add(0);
        return m;
    };
    auto manager = std::make_unique<nmea_manager>();
    for (unsigned sender = 0; sender < queue_slot_count - 1; ++sender) manager->queue_sentence(vdm(sender));
    const nmea_message_out newest = vdm(queue_slot_count - 2);
    for (auto _ : state) manager->queue_sentence(newest);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_full_queue_of_ais_sentences);

}  // namespace
}  // namespace vorlane

BENCHMARK_MAIN();
