// One well-behaved display reads output 1 of the real program while other connections to the
// same port misbehave, with junction box 1 sending numbered sentences at a steady rate: how many
// lines the good display gets, its longest silence, and when the gateway lets the others go.
//
//   bench-display-pace --scenario hung|slow|periodic|many|none [--seconds 30] [--rate 100]
//                      [--program path/to/vorlane]
//
// hung: one connection that never reads; slow: one that reads 20 bytes a second; periodic: one
// more non-reading connection every 10 s; many: 200 non-reading connections. The misbehaving
// connections ask for a 4 KiB receive buffer, so that their window closes within seconds.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/gateway_process.h"
#include "tests/support/nmea_text.h"

namespace {

using namespace vorlane;
using clock_type = std::chrono::steady_clock;
using seconds_d = std::chrono::duration<double>;

// A display connection on a plain non-blocking socket, so that the benchmark decides when and
// how much it reads.
class display {
  public:
    display(int port, int receive_buffer) : opened(clock_type::now()) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (receive_buffer > 0)
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    ~display() { ::close(fd); }
    display(const display&) = delete;
    display& operator=(const display&) = delete;

    // Reads at most `limit` bytes; answers how many line ends they held.
    long read(std::size_t limit) {
        char chunk[65536];
        long lines = 0;
        while (limit > 0) {
            const ssize_t got = ::recv(fd, chunk, std::min(limit, sizeof chunk), 0);
            if (got <= 0) break;
            lines += std::count(chunk, chunk + got, '\n');
            limit -= static_cast<std::size_t>(got);
        }
        return lines;
    }

    // Notes when the banner arrived (peeking, so that nothing is read) and when the gateway
    // reset the connection.
    void look() {
        char first = 0;
        if (accepted_after < 0 && ::recv(fd, &first, 1, MSG_PEEK | MSG_DONTWAIT) == 1)
            accepted_after = seconds_d(clock_type::now() - opened).count();
        if (closed_after >= 0) return;
        pollfd state{fd, 0, 0};
        if (::poll(&state, 1, 0) == 1 && (state.revents & (POLLERR | POLLHUP)) != 0)
            closed_after = seconds_d(clock_type::now() - opened).count();
    }

    int fd = -1;
    clock_type::time_point opened;
    double accepted_after = -1;
    double closed_after = -1;
};

std::string numbered_sentence(long number) {
    return test::with_checksum("$GPWPL,4917.16,N,12310.64,W,N" + std::to_string(number)) + "\r\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::string scenario = "none";
    std::string program = VORLANE_PROGRAM;
    int seconds = 30;
    int rate = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--scenario") scenario = argv[i + 1];
        if (arg == "--program") program = argv[i + 1];
        if (arg == "--seconds") seconds = std::atoi(argv[i + 1]);
        if (arg == "--rate") rate = std::atoi(argv[i + 1]);
    }
    if (geteuid() != 0) {
        std::fprintf(stderr, "bench-display-pace needs root: packet capture on lo and a raw socket\n");
        return 2;
    }

    test::temp_dir dir;
    const int port = test::free_port_pair();
    const int udp_port = 40000 + getpid() % 20000;
    test::junction_boxes boxes(udp_port);
    test::gateway_process gateway(dir, program, port, udp_port);
    if (!gateway.wait_for_status("Ready", std::chrono::seconds(10))) {
        std::fprintf(stderr, "the gateway did not become ready\n");
        return 1;
    }
    display good(port, 0);
    std::vector<std::unique_ptr<display>> others;
    const int non_readers = scenario == "hung" ? 1 : scenario == "many" ? 200 : 0;
    for (int i = 0; i < non_readers; ++i) others.push_back(std::make_unique<display>(port, 4096));
    if (scenario == "slow") others.push_back(std::make_unique<display>(port, 4096));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    good.read(SIZE_MAX);  // the banner

    const auto started = clock_type::now();
    const auto interval = std::chrono::microseconds(1000000 / rate);
    auto due = started;
    auto last_arrival = started;
    auto next_slow_read = started;
    auto next_newcomer = started + std::chrono::seconds(10);
    seconds_d longest_silence{0};
    long lines = 0;
    long sent = 0;
    while (clock_type::now() - started < std::chrono::seconds(seconds)) {
        boxes.send(0, numbered_sentence(sent++));
        due += interval;
        while (clock_type::now() < due) {
            const auto now = clock_type::now();
            if (const long got = good.read(SIZE_MAX); got > 0) {
                lines += got;
                longest_silence = std::max<seconds_d>(longest_silence, now - last_arrival);
                last_arrival = now;
            }
            if (scenario == "slow" && now >= next_slow_read) {
                others.front()->read(2);
                next_slow_read += std::chrono::milliseconds(100);
            }
            if (scenario == "periodic" && now >= next_newcomer) {
                others.push_back(std::make_unique<display>(port, 4096));
                next_newcomer += std::chrono::seconds(10);
            }
            for (auto& other : others) other->look();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    longest_silence = std::max<seconds_d>(longest_silence, clock_type::now() - last_arrival);

    std::printf("scenario %s: %d sentences/s on input 1 for %d s, %zu other connection(s)\n",
                scenario.c_str(), rate, seconds, others.size());
    std::printf("good display: %ld lines of %ld sent, longest silence %.2f s\n", lines, sent,
                longest_silence.count());
    long still_open = 0;
    long accepted = 0;
    double latest_accept = 0;
    double latest_close = 0;
    for (const auto& other : others) {
        if (other->accepted_after >= 0) {
            ++accepted;
            latest_accept = std::max(latest_accept, other->accepted_after);
        }
        if (other->closed_after < 0)
            ++still_open;
        else
            latest_close = std::max(latest_close, other->closed_after);
    }
    std::printf("others: %ld accepted (the last banner %.1f s after connecting)\n", accepted, latest_accept);
    std::printf("others: %zu closed by the gateway (the last %.1f s after it connected), %ld still open\n",
                others.size() - static_cast<std::size_t>(still_open), latest_close, still_open);
    std::ifstream log(dir / "Vorlane.log");
    long logged = 0;
    for (std::string line; std::getline(log, line);)
        if (line.find("dropped: not reading") != std::string::npos) ++logged;
    std::printf("gateway log: %ld line(s) of clients dropped for not reading\n", logged);
    return 0;
}
