// End to end: the vorlane program captures what two junction boxes send on loopback and serves
// each box's accepted sentences on its own port, whether the boxes send the 8-byte header and
// bare sentences or standard datagrams with a TAG block in front of every sentence.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/gateway_process.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/nmea_text.h"
#include "tools/tag_writer.h"

namespace vorlane {
namespace {

using namespace std::chrono_literals;
using test::gateway_process;
using test::junction_boxes;
using test::with_checksum;

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

std::string line(const std::string& body) {
    return with_checksum(body) + "\r\n";
}

struct datagram_format_case {
    const char* name;
    std::string header;          // in front of the lines of every datagram
    bool tagged;                 // a TAG block in front of every sentence
    const char* input_settings;  // [QXInput] lines of the settings file
};

// The junction boxes' sender: writes each box's lines the way the row's format lays them out.
class tagging_boxes {
  public:
    tagging_boxes(const datagram_format_case& format, int udp_port)
        : row(format), boxes(udp_port, format.header) {}

    bool usable() const { return boxes.usable(); }

    void send(int box, const std::vector<std::string>& lines,
              udp_checksum_kind checksum = udp_checksum_kind::correct) {
        std::string payload;
        for (const std::string& text : lines) {
            if (row.tagged)
                append_tag_block(payload, {.source = box == 0 ? "GP0001" : "GP0002",
                                           .line_count = ++line_count[box],
                                           .unix_ms = 1'796'652'906'206u + line_count[box]});
            payload += text;
        }
        boxes.send(box, payload, checksum);
    }

  private:
    const datagram_format_case& row;
    junction_boxes boxes;
    std::uint32_t line_count[2] = {0, 0};
};

class Gateway : public testing::TestWithParam<datagram_format_case> {};

TEST_P(Gateway, ServesEachJunctionBoxOnItsOwnPortWithOnlyAcceptedSentences) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to capture on lo and to send through a raw socket";
    test::temp_dir dir;
    const int first_port = test::free_port_pair();
    const int udp_port = 40000 + getpid() % 20000;
    tagging_boxes boxes(GetParam(), udp_port);
    ASSERT_TRUE(boxes.usable());

    gateway_process gateway(dir, VORLANE_PROGRAM, first_port, udp_port, GetParam().input_settings);
    ASSERT_GT(gateway.pid, 0);
    ASSERT_TRUE(gateway.wait_for_status("Ready", 10s)) << test::read_file(dir / "status.txt");

    test::loopback_peer box1_a(static_cast<std::uint16_t>(first_port));
    test::loopback_peer box1_b(static_cast<std::uint16_t>(first_port));
    test::loopback_peer box2(static_cast<std::uint16_t>(first_port + 1));
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
    boxes.send(0, {gga_old, hdt, broken, bad_rule, gga_new});
    boxes.send(0, {vtg}, udp_checksum_kind::wrong);
    boxes.send(1, {vtg, zda});
    boxes.send(0, {end1});
    boxes.send(1, {end2});
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

INSTANTIATE_TEST_SUITE_P(
    Formats, Gateway,
    testing::Values(datagram_format_case{"header8", std::string("UdPbC\0\0\0", 8), false, ""},
                    datagram_format_case{"iec450", std::string("UdPbC\0", 6), true,
                                         "input_0_format=iec450\ninput_1_format=iec450\n"}),
    [](const testing::TestParamInfo<datagram_format_case>& row) { return row.param.name; });

}  // namespace
}  // namespace vorlane
