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

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "tests/support/free_ports.h"
#include "tests/support/temp_dir.h"
#include "tools/raw_udp.h"

extern char** environ;

// The vorlane program run for real in a scratch directory, and the two junction boxes that feed
// it through a raw socket: shared by the end-to-end test and the end-to-end benchmark.
namespace vorlane::test {

using namespace std::chrono_literals;

// The program, copied into a scratch directory so that its settings and log live there.
class gateway_process {
  public:
    // `input_settings`: further [QXInput] lines, "key=value\n" each.
    gateway_process(const temp_dir& scratch, const std::filesystem::path& program_file, int first_port,
                    int udp_port, const std::string& input_settings = {})
        : dir(scratch) {
        std::filesystem::copy_file(program_file, dir / "vorlane");
        std::ofstream(dir / "Vorlane.ini") << "[Vorlane]\ninput_ip=127.0.0.1\noutput_ip=127.0.0.1\n"
                                           << "first_output_port=" << first_port << "\n[QXInput]\n"
                                           << "input_0_port=" << udp_port << "\ninput_0_src_ip=127.0.0.10\n"
                                           << "input_0_dest_ip=127.0.0.1\ninput_1_port=" << udp_port
                                           << "\ninput_1_src_ip=127.0.0.11\ninput_1_dest_ip=127.0.0.1\n"
                                           << input_settings;
        const std::string program = (dir / "vorlane").string();
        const std::string status = (dir / "status.txt").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, status.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        // Headless whatever the desktop: the status text then also goes to standard error.
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
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

class junction_boxes {
  public:
    // `datagram_header`: what precedes the lines of every datagram.
    explicit junction_boxes(int udp_port, std::string datagram_header = std::string("UdPbC\0\0\0", 8))
        : port(udp_port), header(std::move(datagram_header)) {}

    bool usable() const { return socket.is_open(); }

    void send(int box, const std::string& lines, udp_checksum_kind checksum = udp_checksum_kind::correct) {
        udp_packet_spec spec;
        parse_ipv4_address(box == 0 ? "127.0.0.10" : "127.0.0.11", spec.source);
        parse_ipv4_address("127.0.0.1", spec.destination);
        spec.source_port = 50000;
        spec.destination_port = static_cast<std::uint16_t>(port);
        spec.checksum = checksum;
        const std::string payload = header + lines;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(payload.data());
        if (!socket.send(build_udp_packet(spec, {bytes, payload.size()})))
            throw std::runtime_error("raw send failed: " + socket.error());
    }

  private:
    int port;
    std::string header;
    raw_udp_socket socket;
};

}  // namespace vorlane::test
