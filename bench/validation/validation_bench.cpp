// Full validation against a pass that only checks framing and checksum over the same lines.
// The ratio of the two is the cost of the field rules; the allocation counter shows that
// judging a sentence allocates nothing.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "validation/nmea_validator.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace vorlane;

std::vector<std::string> read_corpus() {
    std::vector<std::string> lines;
    std::ifstream in(VORLANE_SHARED_CORPUS, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() <= 120) lines.push_back(line);
    }
    return lines;
}

std::string with_checksum(const std::string& body) {
    unsigned sum = 0;
    for (std::size_t i = 1; i < body.size(); ++i) sum ^= static_cast<unsigned char>(body[i]);
    char tail[4];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return body + tail;
}

// A bridge-like mix: position and time every second, heading and speed often, AIS bursts.
std::vector<std::string> synthetic_mix() {
    const char* bodies[] = {
        "$GPGGA,081502.00,5354.2134,N,00857.3521,E,1,09,0.9,12.4,M,46.1,M,,",
        "$GPRMC,081502.00,A,5354.2134,N,00857.3521,E,11.8,271.4,071226,1.9,E,A,S",
        "$GPGLL,5354.2134,N,00857.3521,E,081502.00,A,A",
        "$GPVTG,271.4,T,269.5,M,11.8,N,21.9,K,A",
        "$GPZDA,081502.00,07,12,2026,00,00",
        "$HEHDT,272.1,T",
        "$HETHS,272.1,A",
        "$TIROT,-2.4,A",
        "$VDVHW,272.1,T,270.2,M,11.9,N,22.0,K",
        "$SDDPT,19.0,0.5,100",
        "$WIMWV,312.0,R,18.4,N,A",
        "!AIVDM,1,1,,A,13u?etPv2;0n:dDPwUM1U1Cb069D,0",
        "!AIVDM,1,1,,B,15MgK45P3@G?fl0E`JbR0OwT0@MS,0",
        "$RATTM,01,2.35,045.1,T,8.4,182.3,T,1.10,12.5,N,PILOT,T,,081503.00,A",
        "$GPGSV,3,1,09,02,45,120,42,05,30,055,38,12,60,270,45,15,10,310,30,1",
    };
    std::vector<std::string> lines;
    for (const char* b : bodies) lines.push_back(with_checksum(b));
    return lines;
}

// Framing and checksum only: the cheapest judgement that still reads every character.
bool checksum_only(const char* text, char* buffer) {
    const std::size_t n = std::strlen(text);
    std::memmove(buffer, text, n + 1);
    if (n < 8 || n > 80 || (buffer[0] != '$' && buffer[0] != '!') || buffer[n - 3] != '*') return false;
    unsigned sum = 0;
    for (std::size_t i = 1; i < n - 3; ++i) sum ^= static_cast<unsigned char>(buffer[i]);
    auto hex = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
    return static_cast<int>(sum) == hex(buffer[n - 2]) * 16 + hex(buffer[n - 1]);
}

template <bool Full>
void run(benchmark::State& state, const std::vector<std::string>& lines) {
    if (lines.empty()) {
        state.SkipWithError("real corpus not found at " VORLANE_SHARED_CORPUS);
        return;
    }
    char buffer[256];
    long accepted = 0;
    const long before = allocations.load();
    for (auto _ : state) {
        for (const std::string& line : lines) {
            bool ok;
            if constexpr (Full) {
                nmea_sentence_info info;
                nmea_error_counts counts;
                ok = nmea_validate_sentence(line.c_str(), buffer, info, counts);
            } else {
                ok = checksum_only(line.c_str(), buffer);
            }
            accepted += ok;
            benchmark::DoNotOptimize(buffer);
        }
    }
    const double sentences = static_cast<double>(state.iterations()) * static_cast<double>(lines.size());
    state.counters["sentences/s"] = benchmark::Counter(sentences, benchmark::Counter::kIsRate);
    state.counters["allocs/sentence"] = static_cast<double>(allocations.load() - before) / sentences;
    state.counters["accepted"] = static_cast<double>(accepted) / static_cast<double>(state.iterations());
}

const std::vector<std::string>& corpus() {
    static const std::vector<std::string> lines = read_corpus();
    return lines;
}
const std::vector<std::string>& mix() {
    static const std::vector<std::string> lines = synthetic_mix();
    return lines;
}

void BM_ChecksumOnly_RealCorpus(benchmark::State& s) {
    run<false>(s, corpus());
}
void BM_Validate_RealCorpus(benchmark::State& s) {
    run<true>(s, corpus());
}
void BM_ChecksumOnly_SyntheticMix(benchmark::State& s) {
    run<false>(s, mix());
}
void BM_Validate_SyntheticMix(benchmark::State& s) {
    run<true>(s, mix());
}

BENCHMARK(BM_ChecksumOnly_RealCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Validate_RealCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChecksumOnly_SyntheticMix)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Validate_SyntheticMix)->Unit(benchmark::kMicrosecond);

// Prints the ratio the target is stated in, measured in this process.
class ratio_reporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) per_name_[r.benchmark_name()] = r.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        print("RealCorpus");
        print("SyntheticMix");
    }

  private:
    void print(const std::string& set) {
        const double base = per_name_["BM_ChecksumOnly_" + set];
        const double full = per_name_["BM_Validate_" + set];
        if (base > 0 && full > 0)
            std::printf("%s: full validation costs %.2f times the checksum-only pass (target: at most 5)\n",
                        set.c_str(), full / base);
    }
    std::map<std::string, double> per_name_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    ratio_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
