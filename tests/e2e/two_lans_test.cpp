// End to end on two LANs: the program captures on two adapters of a network namespace of the
// test's own, each at one end of a veth pair, while whole frames go in at the other ends as the
// junction boxes' two switches would deliver them. Every line reaches the display once while both
// LANs carry, none is lost while LAN A is cut, and the cut and the return are each reported once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/gateway_process.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/nmea_text.h"
#include "tests/support/veth_link.h"
#include "tools/raw_udp.h"
#include "tools/tag_writer.h"

namespace vorlane {
namespace {

using namespace std::chrono_literals;

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// The namespace "vorlane-lans-<pid>" with LAN A's pair (the gateway's end "vl-a-cap" at
// 172.31.24.1, the switch's "vl-a-box") and LAN B's ("vl-b-cap" at 172.31.25.1, "vl-b-box").
// The calling thread works inside it until the object goes, which deletes it.
class two_lan_namespace {
  public:
    two_lan_namespace() : name("vorlane-lans-" + std::to_string(::getpid())) {}
    ~two_lan_namespace() {
        if (sender >= 0) ::close(sender);
        if (original >= 0) {
            ::setns(original, CLONE_NEWNET);
            ::close(original);
        }
        run("ip netns del " + name);
    }
    two_lan_namespace(const two_lan_namespace&) = delete;
    two_lan_namespace& operator=(const two_lan_namespace&) = delete;

    // Empty on success, else why not.
    std::string enter() {
        run("ip netns del " + name);
        if (!run("ip netns add " + name)) return "ip netns add failed";
        for (const char* lan : {"a", "b"}) {
            const std::string cap = std::string("vl-") + lan + "-cap";
            const std::string box = std::string("vl-") + lan + "-box";
            const std::string address = lan[0] == 'a' ? "172.31.24.1/24" : "172.31.25.1/24";
            for (const std::string& step :
                 {"link add " + cap + " type veth peer name " + box, "addr add " + address + " dev " + cap,
                  "link set " + cap + " up", "link set " + box + " up", std::string("link set lo up")})
                if (!run("ip -n " + name + " " + step)) return step + " failed";
        }
        original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        const bool entered = original >= 0 && target >= 0 && ::setns(target, CLONE_NEWNET) == 0;
        if (target >= 0) ::close(target);
        if (!entered) return "cannot enter the namespace";
        sender = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
        return sender >= 0 ? "" : "cannot open a packet socket";
    }
    // The frame into LAN `lan` ('a' or 'b') at the switch's end.
    bool send(char lan, const std::vector<std::uint8_t>& frame) const {
        sockaddr_ll to{};
        to.sll_family = AF_PACKET;
        to.sll_ifindex = static_cast<int>(if_nametoindex((std::string("vl-") + lan + "-box").c_str()));
        to.sll_halen = 6;
        return ::sendto(sender, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(frame.size());
    }
    // An ip command in the namespace: a cable pulled, an address taken away.
    bool ip(const std::string& arguments) const { return run("ip -n " + name + " " + arguments); }

  private:
    std::string name;
    int original = -1;
    int sender = -1;
};

// Sequence number, LAN identifier with the size, suffix: what a PRP node puts behind a frame.
const std::vector<std::uint8_t> prp_trailer{0x00, 0x07, 0xA0, 0x40, 0x88, 0xFB};

std::vector<std::uint8_t> frame(const std::array<std::uint8_t, 4>& source,
                                const std::array<std::uint8_t, 4>& to, std::uint16_t port,
                                const std::string& payload, bool trailer) {
    udp_packet_spec spec;
    spec.source = source;
    spec.destination = to;
    spec.source_port = 50000;
    spec.destination_port = port;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(payload.data());
    std::vector<std::uint8_t> whole = ethernet_frame(build_udp_packet(spec, {bytes, payload.size()}));
    if (trailer) whole.insert(whole.end(), prp_trailer.begin(), prp_trailer.end());
    return whole;
}

std::size_t occurrences(const std::string& text, const std::string& of) {
    std::size_t count = 0;
    for (std::size_t at = text.find(of); at != std::string::npos; at = text.find(of, at + 1)) ++count;
    return count;
}

TEST(GatewayOnTwoLans, ServesEachLineOnceAndReportsTheLanThatFallsSilent) {
    if (const std::string reason = test::veth_link::unavailable_reason(); !reason.empty())
        GTEST_SKIP() << reason;
    two_lan_namespace lans;
    ASSERT_EQ(lans.enter(), "");

    // Box 1 is a PRP node: the same addresses on both LANs, a trailer behind every frame. Box 2
    // has a port of its own on LAN B and sends iec450 with line counts.
    test::temp_dir dir;
    const int first_port = test::free_port_pair();
    const test::junction_box_pair boxes{{{"172.31.24.10", "172.31.24.1", 10021, "header8"},
                                         {"172.31.24.11", "172.31.24.1", 10022, "iec450"}}};
    std::string settings = test::gateway_settings("172.31.24.1", first_port, boxes) +
                           "input_1_src_ip_b=172.31.25.11\ninput_1_dest_ip_b=172.31.25.1\n";
    settings.replace(settings.find("[QXInput]"), 0, "input_ip_b=172.31.25.1\n");
    test::gateway_process gateway(dir, VORLANE_PROGRAM, settings);
    ASSERT_GT(gateway.pid, 0);
    ASSERT_TRUE(gateway.wait_for_status("Ready", 10s)) << test::read_file(dir / "status.txt");
    test::loopback_peer output1(static_cast<std::uint16_t>(first_port));
    test::loopback_peer output2(static_cast<std::uint16_t>(first_port + 1));
    for (auto* peer : {&output1, &output2}) ASSERT_TRUE(peer->wait_connected(2000));

    int count = 0;
    std::string expected1 = "KestavTranslator\r\n";
    std::string expected2 = expected1;
    // One waypoint per box, numbered, on LAN A unless it is cut and on LAN B.
    const auto send_round = [&](bool on_lan_a) {
        ++count;
        const std::string wpl1 =
            test::with_checksum("$GPWPL,4917.16,N,12310.64,W,A" + std::to_string(count)) + "\r\n";
        const std::string wpl2 =
            test::with_checksum("$GPWPL,4917.16,N,12310.64,W,B" + std::to_string(count)) + "\r\n";
        const std::string header8 = std::string("UdPbC\0\0\0", 8) + wpl1;
        std::string iec450("UdPbC\0", 6);
        append_tag_block(iec450, {.source = "GP0002", .line_count = count});
        iec450 += wpl2;
        if (on_lan_a) {
            EXPECT_TRUE(lans.send('a', frame({172, 31, 24, 10}, {172, 31, 24, 1}, 10021, header8, true)));
            EXPECT_TRUE(lans.send('a', frame({172, 31, 24, 11}, {172, 31, 24, 1}, 10022, iec450, false)));
        }
        EXPECT_TRUE(lans.send('b', frame({172, 31, 24, 10}, {172, 31, 24, 1}, 10021, header8, true)));
        EXPECT_TRUE(lans.send('b', frame({172, 31, 25, 11}, {172, 31, 25, 1}, 10022, iec450, false)));
        expected1 += wpl1;
        expected2 += wpl2;
    };
    const auto read_all = [&] {
        for (auto waited = 0ms; waited < 3000ms; waited += 20ms) {
            output1.read_available();
            output2.read_available();
            if (output1.received().size() >= expected1.size() &&
                output2.received().size() >= expected2.size())
                break;
            std::this_thread::sleep_for(20ms);
        }
        std::this_thread::sleep_for(300ms);
        output1.read_available();
        output2.read_available();
        EXPECT_EQ(output1.received(), expected1);
        EXPECT_EQ(output2.received(), expected2);
    };

    for (int k = 0; k < 5; ++k) {
        send_round(true);
        std::this_thread::sleep_for(100ms);
    }
    read_all();

    const std::string silent =
        "Error QXE-150: LAN A (adapter 172.31.24.1) carries nothing for 10 s; LAN B carries on";
    const std::string back = "Error QXE-151: LAN A (adapter 172.31.24.1) carries again";
    ASSERT_TRUE(lans.ip("link set vl-a-box down"));
    const auto cut_at = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - cut_at < 12s) {
        send_round(false);
        std::this_thread::sleep_for(200ms);
    }
    read_all();
    EXPECT_EQ(occurrences(test::read_file(dir / "status.txt"), silent), 1u)
        << test::read_file(dir / "status.txt");

    ASSERT_TRUE(lans.ip("link set vl-a-box up"));
    // A link that comes up takes a moment before it passes frames.
    std::this_thread::sleep_for(1s);
    for (int k = 0; k < 5; ++k) {
        send_round(true);
        std::this_thread::sleep_for(100ms);
    }
    read_all();
    ASSERT_TRUE(gateway.wait_for_status(back, 2s));
    const std::string status = test::read_file(dir / "status.txt");
    EXPECT_EQ(occurrences(status, silent), 1u);
    EXPECT_EQ(occurrences(status, back), 1u) << status;
}

// LAN B's adapter has no address when the gateway starts: that is reported, LAN A serves, and
// LAN B is opened on its own retry ladder once the address is there.
TEST(GatewayOnTwoLans, AnAdapterThatCannotBeOpenedIsRetriedWhileTheOtherServes) {
    if (const std::string reason = test::veth_link::unavailable_reason(); !reason.empty())
        GTEST_SKIP() << reason;
    two_lan_namespace lans;
    ASSERT_EQ(lans.enter(), "");
    ASSERT_TRUE(lans.ip("addr del 172.31.25.1/24 dev vl-b-cap"));
    test::temp_dir dir;
    const int first_port = test::free_port_pair();
    const test::junction_box_pair boxes{{{"172.31.24.10", "172.31.24.1", 10021, "header8"},
                                         {"172.31.24.11", "172.31.24.1", 10022, "header8"}}};
    std::string settings = test::gateway_settings("172.31.24.1", first_port, boxes);
    settings.replace(settings.find("[QXInput]"), 0, "input_ip_b=172.31.25.1\n");
    test::gateway_process gateway(dir, VORLANE_PROGRAM, settings);
    ASSERT_GT(gateway.pid, 0);
    ASSERT_TRUE(
        gateway.wait_for_status("Error QXE-RECV-104: No netword device found for IP 172.31.25.1", 10s))
        << test::read_file(dir / "status.txt");
    ASSERT_TRUE(gateway.wait_for_status("Ready", 10s)) << test::read_file(dir / "status.txt");
    test::loopback_peer output1(static_cast<std::uint16_t>(first_port));
    ASSERT_TRUE(output1.wait_connected(2000));

    const auto sent_on = [&](char lan, int number) {
        const std::string line =
            test::with_checksum("$GPWPL,4917.16,N,12310.64,W,W" + std::to_string(number)) + "\r\n";
        EXPECT_TRUE(lans.send(lan, frame({172, 31, 24, 10}, {172, 31, 24, 1}, 10021,
                                         std::string("UdPbC\0\0\0", 8) + line, false)));
        return line;
    };
    const std::string on_a = sent_on('a', 0);
    ASSERT_TRUE(lans.ip("addr add 172.31.25.1/24 dev vl-b-cap"));
    // Ten ticks of the ladder and the opening: LAN B alone brings a line within 15 s.
    bool lan_b_served = false;
    for (int k = 1; k <= 60 && !lan_b_served; ++k) {
        const std::string on_b = sent_on('b', k);
        std::this_thread::sleep_for(250ms);
        output1.read_available();
        lan_b_served = output1.received().find(on_b) != std::string::npos;
    }
    EXPECT_NE(output1.received().find(on_a), std::string::npos) << "LAN A served meanwhile";
    EXPECT_TRUE(lan_b_served) << test::read_file(dir / "status.txt");
}

}  // namespace
}  // namespace vorlane
