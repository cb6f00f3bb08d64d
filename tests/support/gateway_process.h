#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/free_ports.h"
#include "tests/support/temp_dir.h"
#include "tools/raw_udp.h"

extern char** environ;

// The vorlane program run for real in a scratch directory, and the two junction boxes that feed
// it through a raw socket: shared by the end-to-end test and the end-to-end benchmark.
namespace vorlane::test {

using namespace std::chrono_literals;

// Where a junction box sends its datagrams from and to, and how it lays them out: "header8" or
// "iec450", or empty to leave the gateway's setting at its default (header8).
struct junction_box {
    std::string source;
    std::string destination;
    int port = 0;
    std::string format;
};
using junction_box_pair = std::array<junction_box, 2>;

// Both boxes on loopback, at 127.0.0.10 and 127.0.0.11, sending to 127.0.0.1.
inline junction_box_pair loopback_boxes(int udp_port) {
    return {{{"127.0.0.10", "127.0.0.1", udp_port, ""}, {"127.0.0.11", "127.0.0.1", udp_port, ""}}};
}

// The settings of a gateway that captures on the adapter with input_ip and serves on loopback.
inline std::string gateway_settings(const std::string& input_ip, int first_port,
                                    const junction_box_pair& boxes) {
    std::string text = "[Vorlane]\ninput_ip=" + input_ip +
                       "\noutput_ip=127.0.0.1\nfirst_output_port=" + std::to_string(first_port) +
                       "\n[QXInput]\n";
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const std::string key = "input_" + std::to_string(i) + "_";
        text += key + "port=" + std::to_string(boxes[i].port) + "\n" + key + "src_ip=" + boxes[i].source +
                "\n" + key + "dest_ip=" + boxes[i].destination + "\n";
        if (!boxes[i].format.empty()) text += key + "format=" + boxes[i].format + "\n";
    }
    return text;
}

// How a service manager starts the program: through a launcher command, which gets the
// program's path as its last argument, and with listening sockets handed over as descriptors
// 3, 4, ... in the order given. Empty, the program starts by itself.
struct service_launch {
    std::vector<std::string> command;
    std::vector<int> sockets;
};

// The program, copied into a scratch directory so that its settings and log live there. It
// runs in the network namespace of the thread that makes it.
class gateway_process {
  public:
    gateway_process(const temp_dir& scratch, const std::filesystem::path& program_file, int first_port,
                    int udp_port)
        : gateway_process(scratch, program_file,
                          gateway_settings("127.0.0.1", first_port, loopback_boxes(udp_port))) {}
    gateway_process(const temp_dir& scratch, const std::filesystem::path& program_file,
                    const std::string& settings, const service_launch& launch = {})
        : dir(scratch) {
        std::filesystem::copy_file(program_file, dir / "vorlane");
        // Empty settings leave the settings path as the caller made it.
        if (!settings.empty()) std::ofstream(dir / "Vorlane.ini") << settings;
        const std::string program = (dir / "vorlane").string();
        const std::string status = (dir / "status.txt").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, status.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        // Moved out of the way first, so that no socket is overwritten before it is handed on.
        std::vector<int> high;
        for (std::size_t k = 0; k < launch.sockets.size(); ++k) {
            high.push_back(::fcntl(launch.sockets[k], F_DUPFD_CLOEXEC, 100));
            posix_spawn_file_actions_adddup2(&actions, high.back(), 3 + static_cast<int>(k));
        }
        std::vector<char*> argv;
        for (const std::string& word : launch.command) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(const_cast<char*>(program.c_str()));
        argv.push_back(nullptr);
        // Headless whatever the desktop: the status text then also goes to standard error.
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        for (const int fd : high) ::close(fd);
    }
    ~gateway_process() { stop(); }

    // Waits until the status line has said `text`.
    bool wait_for_status(const std::string& text, std::chrono::milliseconds limit) const {
        for (auto waited = 0ms; waited < limit; waited += 50ms) {
            if (read_file(dir / "status.txt").find(text + "\n") != std::string::npos) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    int stop() {
        if (pid <= 0) return -1;
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }

    pid_t pid = -1;

  private:
    const temp_dir& dir;
};

// The two junction boxes, sending through a raw socket of the network namespace of the thread
// that makes them.
class junction_boxes {
  public:
    explicit junction_boxes(int udp_port) : junction_boxes(loopback_boxes(udp_port)) {}
    explicit junction_boxes(const junction_box_pair& sending) : boxes(sending) {}

    bool usable() const { return socket.is_open(); }

    // One datagram of `lines` behind the header (header8) or token (iec450) of the box's format.
    void send(int box, const std::string& lines, udp_checksum_kind checksum = udp_checksum_kind::correct) {
        const junction_box& from = boxes[static_cast<std::size_t>(box)];
        udp_packet_spec spec;
        parse_ipv4_address(from.source, spec.source);
        parse_ipv4_address(from.destination, spec.destination);
        spec.source_port = 50000;
        spec.destination_port = static_cast<std::uint16_t>(from.port);
        spec.checksum = checksum;
        const std::string payload =
            (from.format == "iec450" ? std::string("UdPbC\0", 6) : std::string("UdPbC\0\0\0", 8)) + lines;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(payload.data());
        if (!socket.send(build_udp_packet(spec, {bytes, payload.size()})))
            throw std::runtime_error("raw send failed: " + socket.error());
    }

  private:
    junction_box_pair boxes;
    raw_udp_socket socket;
};

}  // namespace vorlane::test
