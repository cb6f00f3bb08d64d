// Sends numbered sentences from both junction boxes at a steady rate and reads them back on
// both ports: how many arrive, how late, and what the gateway (its capture helper included) costs
// in CPU and memory meanwhile.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/gateway_process.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/nmea_text.h"

namespace {

using namespace vorlane;
using clock_type = std::chrono::steady_clock;

struct options {
    int rate = 500;        // sentences per second per junction box
    int per_datagram = 5;  // sentences per datagram
    int seconds = 20;
    // Both outputs also as UDP datagrams to a loopback receiver, in this format; empty: TCP only.
    std::string udp;
};

// Waypoint sentences are never replaced in a queue, so every one sent must arrive.
std::string numbered_sentence(int box, long number) {
    return test::with_checksum("$GPWPL,4917.16,N,12310.64,W,B" + std::to_string(box) + "N" +
                               std::to_string(number)) +
           "\r\n";
}

long number_in(const std::string& line) {
    const auto at = line.find('N', line.find(",W,B") + 4);
    return at == std::string::npos ? -1 : std::strtol(line.c_str() + at + 1, nullptr, 10);
}

double own_cpu_seconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    if (text.empty()) return 0;
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoul(field);
        if (i == 15) stime = std::stoul(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The program's CPU with that of its capture helper's processes, which do the capturing.
double cpu_seconds(pid_t pid) {
    double total = own_cpu_seconds(pid);
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    for (pid_t child; children >> child;) total += cpu_seconds(child);
    return total;
}

long peak_resident_kib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

double percentile(std::vector<double>& values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1,
                           static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    options o;
    // Another build of the program, to compare with.
    std::string program = VORLANE_PROGRAM;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--program") program = argv[i + 1];
        const int value = std::atoi(argv[i + 1]);
        if (arg == "--rate") o.rate = value;
        if (arg == "--per-datagram") o.per_datagram = value;
        if (arg == "--seconds") o.seconds = value;
        if (arg == "--udp") o.udp = argv[i + 1];
    }
    if (geteuid() != 0) {
        std::fprintf(stderr, "bench_e2e needs root: packet capture on lo and a raw socket\n");
        return 2;
    }

    test::temp_dir dir;
    const int first_port = test::free_port_pair();
    const int udp_port = 40000 + getpid() % 20000;
    test::junction_boxes boxes(udp_port);
    test::udp_receiver udp_reader[2];
    std::string settings = test::gateway_settings("127.0.0.1", first_port, test::loopback_boxes(udp_port));
    for (int output = 0; output < 2 && !o.udp.empty(); ++output) {
        const std::string key = "output_" + std::to_string(output) + "_";
        settings += key + "udp=" + udp_reader[output].destination() + "\n" + key + "udp_format=" + o.udp +
                    "\n" + key + "sfi=VR000" + std::to_string(output + 1) + "\n";
    }
    test::gateway_process gateway(dir, program, settings);
    if (!gateway.wait_for_status("Ready", std::chrono::seconds(10))) {
        std::fprintf(stderr, "the gateway did not become ready\n");
        return 1;
    }
    test::loopback_peer reader[2] = {test::loopback_peer(static_cast<std::uint16_t>(first_port)),
                                     test::loopback_peer(static_cast<std::uint16_t>(first_port + 1))};
    for (auto& r : reader)
        if (!r.wait_connected(2000)) return 1;

    std::map<long, clock_type::time_point> sent_at[2];
    std::vector<double> latency_ms;
    std::size_t consumed[2] = {0, 0};
    long received[2] = {0, 0};
    long udp_lines[2] = {0, 0};
    long udp_datagrams[2] = {0, 0};
    auto collect = [&] {
        const auto now = clock_type::now();
        for (int output = 0; output < 2 && !o.udp.empty(); ++output) {
            udp_reader[output].read_available();
            for (const std::string& datagram : udp_reader[output].datagrams)
                for (std::size_t at = datagram.find("\r\n"); at != std::string::npos;
                     at = datagram.find("\r\n", at + 2))
                    ++udp_lines[output];
            udp_datagrams[output] += static_cast<long>(udp_reader[output].datagrams.size());
            udp_reader[output].datagrams.clear();
        }
        for (int box = 0; box < 2; ++box) {
            reader[box].read_available();
            const std::string& text = reader[box].received();
            for (std::size_t end; (end = text.find("\r\n", consumed[box])) != std::string::npos;
                 consumed[box] = end + 2) {
                const long number = number_in(text.substr(consumed[box], end - consumed[box]));
                const auto it = sent_at[box].find(number);
                if (it == sent_at[box].end()) continue;
                latency_ms.push_back(std::chrono::duration<double, std::milli>(now - it->second).count());
                sent_at[box].erase(it);
                ++received[box];
            }
        }
    };

    const double cpu_before = cpu_seconds(gateway.pid);
    const auto started = clock_type::now();
    const auto interval = std::chrono::microseconds(1000000L * o.per_datagram / o.rate);
    long next = 0;
    auto due = started;
    while (clock_type::now() - started < std::chrono::seconds(o.seconds)) {
        for (int box = 0; box < 2; ++box) {
            std::string lines;
            const auto now = clock_type::now();
            for (int k = 0; k < o.per_datagram; ++k) {
                lines += numbered_sentence(box, next + k);
                sent_at[box][next + k] = now;
            }
            boxes.send(box, lines);
        }
        next += o.per_datagram;
        due += interval;
        while (clock_type::now() < due) {
            collect();
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
    const auto drain_until = clock_type::now() + std::chrono::seconds(2);
    while (clock_type::now() < drain_until && (!sent_at[0].empty() || !sent_at[1].empty())) {
        collect();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double elapsed = std::chrono::duration<double>(clock_type::now() - started).count();
    const double cpu = cpu_seconds(gateway.pid) - cpu_before;
    const long peak = peak_resident_kib(gateway.pid);

    std::printf("rate: %d sentences/s per junction box, %d per datagram, %d s\n", o.rate, o.per_datagram,
                o.seconds);
    for (int box = 0; box < 2; ++box)
        std::printf("box %d: delivered %ld of %ld\n", box + 1, received[box], next);
    for (int output = 0; output < 2 && !o.udp.empty(); ++output)
        std::printf("output %d UDP (%s): %ld lines in %ld datagrams\n", output + 1, o.udp.c_str(),
                    udp_lines[output], udp_datagrams[output]);
    const double p50 = percentile(latency_ms, 0.50);
    const double p99 = percentile(latency_ms, 0.99);
    const double max = latency_ms.empty() ? 0 : latency_ms.back();
    std::printf("latency send to receipt: p50 %.1f ms, p99 %.1f ms, max %.1f ms (target p99 <= 110)\n", p50,
                p99, max);
    std::printf("gateway CPU: %.2f %% of one core (target < 5)\n", 100.0 * cpu / elapsed);
    const double frames = 2.0 * static_cast<double>(next) / o.per_datagram;
    std::printf("gateway CPU per 1,000 frames: %.2f ms (%.0f frames)\n", 1000.0 * 1000.0 * cpu / frames,
                frames);
    std::printf("gateway peak resident memory: %.1f MB (target < 60)\n", static_cast<double>(peak) / 1024.0);
    return 0;
}
