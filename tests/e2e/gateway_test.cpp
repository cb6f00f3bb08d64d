// End to end: the vorlane program captures what two junction boxes send, on loopback or on a
// veth pair of the test's own, and serves each box's accepted sentences on its own port, whether
// the boxes send the 8-byte header and bare sentences or standard datagrams with a TAG block in
// front of every sentence.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/gateway_process.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/nmea_text.h"
#include "tests/support/veth_link.h"
#include "tools/tag_writer.h"

namespace vorlane {
namespace {

using namespace std::chrono_literals;
using test::gateway_process;
using test::junction_box_pair;
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

// A line as a standard sender writes it, the TAG block of `fields` in front of the sentence.
std::string tagged(const std::string& fields, const std::string& body) {
    return test::with_tag_block(fields) + line(body);
}

struct datagram_format_case {
    const char* name;
    const char* format;  // both boxes', in the settings and on the wire
    bool tagged;         // a TAG block in front of every sentence
};

// Names the row instead of dumping its bytes.
void PrintTo(const datagram_format_case& row, std::ostream* os) {
    *os << row.name;
}

// Both boxes on loopback, sending in the row's format.
junction_box_pair loopback_boxes(const datagram_format_case& row, int udp_port) {
    junction_box_pair boxes = test::loopback_boxes(udp_port);
    for (test::junction_box& box : boxes) box.format = row.format;
    return boxes;
}

// The junction boxes' sender: writes each box's lines the way the row's format lays them out.
class tagging_boxes {
  public:
    tagging_boxes(const datagram_format_case& format, int udp_port)
        : row(format), boxes(loopback_boxes(format, udp_port)) {}

    bool usable() const { return boxes.usable(); }

    void send(int box, const std::vector<std::string>& lines,
              udp_checksum_kind checksum = udp_checksum_kind::correct) {
        std::string payload;
        for (const std::string& text : lines) {
            if (row.tagged)
                append_tag_block(payload, {.source = box == 0 ? "GP0001" : "GP0002",
                                           .line_count = ++line_count[box],
                                           .unix_time = 1'796'652'906'206 + line_count[box]});
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

    gateway_process gateway(
        dir, VORLANE_PROGRAM,
        test::gateway_settings("127.0.0.1", first_port, loopback_boxes(GetParam(), udp_port)));
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

INSTANTIATE_TEST_SUITE_P(Formats, Gateway,
                         testing::Values(datagram_format_case{"header8", "header8", false},
                                         datagram_format_case{"iec450", "iec450", true}),
                         [](const testing::TestParamInfo<datagram_format_case>& row) {
                             return row.param.name;
                         });

TEST(GatewayOnOneAdapter, HeaderAndStandardBoxesKeepToTheirOwnPorts) {
    if (const std::string reason = test::veth_link::unavailable_reason(); !reason.empty())
        GTEST_SKIP() << reason;
    // The gateway captures on the near end; the boxes send from the far one, box 2 to a
    // multicast group as standard senders do.
    test::veth_link link;
    ASSERT_TRUE(link.command("far", "ip route add 224.0.0.0/4 dev {dev}"));
    const junction_box_pair sending{{{"172.31.24.10", test::veth_link::near_address, 10021, "header8"},
                                     {"172.31.24.11", "239.192.0.4", 60004, "iec450"}}};
    std::unique_ptr<junction_boxes> boxes;
    link.in_far([&] { boxes = std::make_unique<junction_boxes>(sending); });
    ASSERT_TRUE(boxes->usable());

    test::temp_dir dir;
    const int first_port = test::free_port_pair();
    gateway_process gateway(dir, VORLANE_PROGRAM,
                            test::gateway_settings(test::veth_link::near_address, first_port, sending));
    ASSERT_GT(gateway.pid, 0);
    ASSERT_TRUE(gateway.wait_for_status("Ready", 10s)) << test::read_file(dir / "status.txt");
    EXPECT_TRUE(link.command("near", "ip maddr show dev {dev} | grep -qw 239.192.0.4"))
        << "the gateway did not join the group";
    test::loopback_peer output1(static_cast<std::uint16_t>(first_port));
    test::loopback_peer output2(static_cast<std::uint16_t>(first_port + 1));
    for (auto* peer : {&output1, &output2}) ASSERT_TRUE(peer->wait_connected(2000));
    read_until({{&output1, "\r\n"}, {&output2, "\r\n"}});

    const std::string gga = line("$GPGGA,120000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    const std::string hdt = line("$HEHDT,271.1,T");
    const std::string end1 = line("$GPWPL,4917.16,N,12310.64,W,END1");
    const std::string vtg = "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A";
    const std::string zda = "$GPZDA,120003.00,07,12,2026,00,00";
    const std::string end2 = "$GPWPL,4917.16,N,12310.64,W,END2";
    // Box 1's TAG-blocked line is no sentence to a header8 input.
    boxes->send(0, gga + tagged("s:GP0001,n:1", zda) + hdt);
    boxes->send(1, tagged("s:GP0001,n:1,c:1765108800000", vtg) + tagged("s:GP0001,n:2,c:1765108800000", zda));
    boxes->send(0, end1);
    boxes->send(1, tagged("s:GP0001,n:3", end2));
    read_until({{&output1, end1}, {&output2, line(end2)}});

    const std::string banner = "KestavTranslator\r\n";
    EXPECT_EQ(output1.received(), banner + gga + hdt + end1);
    EXPECT_EQ(output2.received(), banner + line(vtg) + line(zda) + line(end2));
}

// A settings path that cannot be examined, here a link to itself, is reported, and the program
// runs on with the defaults instead of ending at start.
TEST(GatewayStart, SettingsPathThatLoopsIsReportedAndTheProgramRunsOn) {
    const test::temp_dir dir;
    std::filesystem::create_symlink("Vorlane.ini", dir / "Vorlane.ini");
    gateway_process gateway(dir, VORLANE_PROGRAM, "");
    ASSERT_GT(gateway.pid, 0);
    EXPECT_TRUE(gateway.wait_for_status("Error QXE-612: Failed to read config file", 5000ms))
        << test::read_file(dir / "status.txt");
    EXPECT_EQ(waitpid(gateway.pid, nullptr, WNOHANG), 0) << test::read_file(dir / "status.txt");
}

}  // namespace
}  // namespace vorlane
