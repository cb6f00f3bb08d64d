// End to end: the vorlane program captures what two junction boxes send on loopback and serves
// each box's accepted sentences on its own port.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTcpServer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/loopback_peer.h"
#include "tests/support/nmea_text.h"
#include "tests/support/temp_dir.h"
#include "tools/raw_udp.h"

extern char** environ;

namespace vorlane {
namespace {

using namespace std::chrono_literals;
using test::with_checksum;

int free_port_pair() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) continue;
        const int port = probe.serverPort();
        probe.close();
        QTcpServer next;
        if (port < 65535 && next.listen(QHostAddress::LocalHost, port + 1)) return port;
    }
    throw std::runtime_error("no free pair of ports on 127.0.0.1");
}

// The program, copied into a scratch directory so that its settings and log live there.
class gateway_process {
public:
    gateway_process(const test::temp_dir& dir, int first_port, int udp_port) : dir(dir) {
        std::filesystem::copy_file(VORLANE_PROGRAM, dir / "vorlane");
        std::ofstream(dir / "Vorlane.ini") << "[Vorlane]\ninput_ip=127.0.0.1\noutput_ip=127.0.0.1\n"
                                           << "first_output_port=" << first_port << "\n[QXInput]\n"
                                           << "input_0_port=" << udp_port << "\ninput_0_src_ip=127.0.0.10\n"
                                           << "input_0_dest_ip=127.0.0.1\ninput_1_port=" << udp_port
                                           << "\ninput_1_src_ip=127.0.0.11\ninput_1_dest_ip=127.0.0.1\n";
        const std::string program = (dir / "vorlane").string();
        const std::string status = (dir / "status.txt").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, status.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~gateway_process() { stop(); }

    // Waits until the status line has said `text`.
    bool wait_for_status(const std::string& text, std::chrono::milliseconds limit) const {
        for (auto waited = 0ms; waited < limit; waited += 50ms) {
            if (test::read_file(dir / "status.txt").find(text + "\n") != std::string::npos) return true;
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
    const test::temp_dir& dir;
};

class junction_boxes {
public:
    explicit junction_boxes(int udp_port) : port(udp_port) {}

    bool usable() const { return socket.is_open(); }

    void send(int box, const std::string& lines, udp_checksum_kind checksum = udp_checksum_kind::correct) {
        udp_packet_spec spec;
        parse_ipv4_address(box == 0 ? "127.0.0.10" : "127.0.0.11", spec.source);
        parse_ipv4_address("127.0.0.1", spec.destination);
        spec.source_port = 50000;
        spec.destination_port = static_cast<std::uint16_t>(port);
        spec.checksum = checksum;
        const std::string payload = std::string("UdPbC\0\0\0", 8) + lines;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(payload.data());
        ASSERT_TRUE(socket.send(build_udp_packet(spec, {bytes, payload.size()}))) << socket.error();
    }

private:
    int port;
    raw_udp_socket socket;
};

// Reads both peers until each has received at least `until` or the time is up.
void read_until(std::initializer_list<std::pair<test::loopback_peer*, std::string>> peers) {
    for (auto waited = 0ms; waited < 5000ms; waited += 20ms) {
        bool all = true;
        for (const auto& [peer, until] : peers) {
            peer->read_available();
            all = all && peer->received().find(until) != std::string::npos;
        }
        if (all) return;
        std::this_thread::sleep_for(20ms);
    }
}

std::string line(const std::string& body) { return with_checksum(body) + "\r\n"; }

TEST(Gateway, ServesEachJunctionBoxOnItsOwnPortWithOnlyAcceptedSentences) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to capture on lo and to send through a raw socket";
    test::temp_dir dir;
    const int first_port = free_port_pair();
    const int udp_port = 40000 + getpid() % 20000;
    junction_boxes boxes(udp_port);
    ASSERT_TRUE(boxes.usable());

    gateway_process gateway(dir, first_port, udp_port);
    ASSERT_GT(gateway.pid, 0);
    ASSERT_TRUE(gateway.wait_for_status("Ready", 10s)) << test::read_file(dir / "status.txt");

    test::loopback_peer box1_a(static_cast<quint16>(first_port));
    test::loopback_peer box1_b(static_cast<quint16>(first_port));
    test::loopback_peer box2(static_cast<quint16>(first_port + 1));
    for (auto* peer : {&box1_a, &box1_b, &box2}) ASSERT_TRUE(peer->wait_connected(2000));
    read_until({{&box1_a, "\r\n"}, {&box1_b, "\r\n"}, {&box2, "\r\n"}});

    const std::string gga_old = line("$GPGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    const std::string gga_new = line("$GPGGA,120001,4807.040,N,01131.002,E,1,08,0.9,545.4,M,46.9,M,,");
    const std::string hdt = line("$HEHDT,271.1,T");
    const std::string broken = "$HEHDT,271.2,T*00\r\n";
    const std::string bad_rule = line("$GPGGA,120002,,,,,1,08,0.9,545.4,M,46.9,M,,");
    const std::string vtg = line("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A");
    const std::string zda = line("$GPZDA,120003.00,07,12,2026,00,00");
    const std::string end1 = line("$GPWPL,4917.16,N,12310.64,W,END1");
    const std::string end2 = line("$GPWPL,4917.16,N,12310.64,W,END2");

    // One datagram, one tick: the newer GGA takes the older one's place ahead of the HDT.
    boxes.send(0, gga_old + hdt + broken + bad_rule + gga_new);
    boxes.send(0, vtg, udp_checksum_kind::wrong);
    boxes.send(1, vtg + zda);
    boxes.send(0, end1);
    boxes.send(1, end2);
    // Markers that no later sentence replaces tell when everything sent has arrived.
    read_until({{&box1_a, end1}, {&box1_b, end1}, {&box2, end2}});

    const std::string banner = "KestavTranslator\r\n";
    EXPECT_EQ(box1_a.received(), banner + gga_new + hdt + end1);
    EXPECT_EQ(box1_b.received(), box1_a.received());
    EXPECT_EQ(box2.received(), banner + vtg + zda + end2);

    const int status = gateway.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string log = test::read_file(dir / "Vorlane.log");
    EXPECT_NE(log.find(" Kestav Translator starting...\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" Vorlane shutting down\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace vorlane
