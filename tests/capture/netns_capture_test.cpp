// Capture through the system's libpcap on one end of a veth pair in a network namespace that the
// test makes and removes: the frames a switched ship network delivers (VLAN tags, full-size
// frames, fragments, a box at another address, a multicast destination), sent whole through a
// packet socket on the other end. Needs root and the ip tool; skipped with the reason otherwise.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_api.h"
#include "capture/pcap_receive_thread.h"
#include "input/capture_input.h"
#include "tests/capture/capture_frames.h"
#include "tests/capture/helper_thread.h"
#include "tests/capture/rx_recorder.h"
#include "tools/raw_udp.h"

namespace vorlane {
namespace {

using namespace std::chrono_literals;

const std::string group = "239.192.0.5";

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A namespace holding the veth pair "vorlane-cap" (172.31.24.1/24, where the capture runs) and
// "vorlane-box", out of which send() puts whole frames as the junction boxes' switch would deliver
// them. This thread works inside the namespace until the object goes, which returns the thread and deletes
// the namespace, also after a failed assertion. Both ends take the 1522-byte frame of a 1500-byte packet with
// two VLAN tags, as a real adapter does; a veth end measures that frame against its MTU.
class scratch_namespace {
  public:
    explicit scratch_namespace(std::string namespace_name) : name(std::move(namespace_name)) {}
    ~scratch_namespace() {
        if (sender >= 0) close(sender);
        if (original >= 0) {
            setns(original, CLONE_NEWNET);
            close(original);
        }
        if (created) run("ip netns del " + name);
    }
    scratch_namespace(const scratch_namespace&) = delete;
    scratch_namespace& operator=(const scratch_namespace&) = delete;

    // Empty on success, else why not.
    std::string enter() {
        run("ip netns del " + name);
        if (!run("ip netns add " + name)) return "ip netns add failed";
        created = true;
        const std::string in = "ip -n " + name + " ";
        for (const std::string& step :
             {in + "link add vorlane-cap type veth peer name vorlane-box",
              in + "link set vorlane-cap mtu 1508", in + "link set vorlane-box mtu 1508",
              in + "addr add 172.31.24.1/24 dev vorlane-cap", in + "link set vorlane-cap up",
              in + "link set vorlane-box up"})
            if (!run(step)) return step + " failed";
        original = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target = open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        const bool entered = original >= 0 && target >= 0 && setns(target, CLONE_NEWNET) == 0;
        if (target >= 0) close(target);
        if (!entered) return "cannot enter the namespace";
        sender = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
        return sender >= 0 ? "" : "cannot open a packet socket";
    }
    bool send(const std::vector<std::uint8_t>& frame) const {
        sockaddr_ll to{};
        to.sll_family = AF_PACKET;
        to.sll_ifindex = static_cast<int>(if_nametoindex("vorlane-box"));
        to.sll_halen = 6;
        return sendto(sender, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                      sizeof to) == static_cast<ssize_t>(frame.size());
    }
    bool capture_adapter_is_member() const {
        return run("ip -n " + name + " maddr show dev vorlane-cap | grep -qw " + group);
    }

  private:
    std::string name;
    bool created = false;
    int original = -1;
    int sender = -1;
};

struct sent_frame {
    const char* name;
    std::uint8_t source_last_byte;
    bool to_group;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> tags;
    std::size_t payload_length;
    std::uint16_t fragment_field;  // flags and offset as sent; 0x4000 is a whole datagram
    std::int32_t input;            // -1: must not arrive
};

std::vector<std::uint8_t> build(const sent_frame& f, const std::string& marker) {
    udp_packet_spec spec;
    spec.source = {172, 31, 24, f.source_last_byte};
    spec.destination = f.to_group ? ipv4_address{239, 192, 0, 5} : ipv4_address{172, 31, 24, 1};
    spec.source_port = 50001;
    spec.destination_port = 10021;
    std::vector<std::uint8_t> payload(marker.begin(), marker.end());
    payload.resize(f.payload_length, '.');
    std::vector<std::uint8_t> frame = ethernet_frame(build_udp_packet(spec, payload));
    frame[20] = static_cast<std::uint8_t>(f.fragment_field >> 8);
    frame[21] = static_cast<std::uint8_t>(f.fragment_field);
    return test::with_tags(frame, f.tags);
}

TEST(NamespaceCapture, SwitchedNetworkFramesReachTheirInputs) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a network namespace and capture in it";
    if (!run("ip -V")) GTEST_SKIP() << "the ip tool (iproute2) is not installed";
    if (!load_capture_library()) GTEST_SKIP() << "the system's libpcap is not installed";
    struct unload {
        ~unload() { unload_capture_library(); }
    } unload_at_end;

    scratch_namespace space("vorlane-capture-" + std::to_string(getpid()));
    const std::string why = space.enter();
    ASSERT_EQ(why, "");

    config_manager config;
    config.input_ip = "172.31.24.1";
    const char* sources[] = {"172.31.24.10", "172.31.24.77"};
    const std::string destinations[] = {"172.31.24.1", group};
    for (int box = 0; box < 2; ++box) {
        config.input_src_ip[box] = sources[box];
        config.input_dest_ip[box] = destinations[box];
        config.input_port[box] = 10021;
    }

    test::rx_recorder recorder;
    const test::helper_thread helper;
    auto thread = std::make_unique<TPCapReceiveThread>(recorder, helper.channel());
    recorder.serve(thread.get());
    struct end_thread {
        test::rx_recorder& recorder;
        std::unique_ptr<TPCapReceiveThread>& thread;
        ~end_thread() {
            thread->terminate();
            thread->wait_for_end();
            recorder.serve(nullptr);
        }
    } end_at_exit{recorder, thread};

    ASSERT_TRUE(open_input(thread.get(), config, recorder));
    ASSERT_TRUE(recorder.wait_for_count("connected", 1)) << testing::PrintToString(recorder.events());
    EXPECT_TRUE(space.capture_adapter_is_member());

    constexpr std::pair<std::uint16_t, std::uint16_t> priority{0x8100, 0xA000}, vlan_100{0x8100, 100},
        service_200{0x88A8, 200};
    const sent_frame frames[] = {
        {"untagged", 10, false, {}, 60, 0x4000, 0},
        {"priority_tagged", 10, false, {priority}, 60, 0x4000, 0},
        {"vlan_100_to_the_group", 77, true, {vlan_100}, 60, 0x4000, 1},
        {"qinq_to_the_group", 77, true, {service_200, vlan_100}, 60, 0x4000, 1},
        {"full_size_qinq", 10, false, {service_200, vlan_100}, 1472, 0x4000, 0},
        {"full_size_to_the_group", 77, true, {}, 1472, 0x4000, 1},
        {"first_fragment", 10, false, {}, 600, 0x2000, -1},
        {"later_fragment", 10, false, {}, 600, 0x004B, -1},
        {"unconfigured_source", 11, false, {}, 60, 0x4000, -1},
    };
    const std::string tag = "vorlane netns " + std::to_string(getpid()) + " ";
    for (const sent_frame& f : frames) ASSERT_TRUE(space.send(build(f, tag + f.name + " "))) << f.name;

    std::map<std::string, rx_datagram> received;
    const auto collect = [&] {
        rx_datagram d;
        while (thread->take_datagram(&d)) {
            const std::string payload(reinterpret_cast<const char*>(d.frame) + d.payload_offset,
                                      static_cast<std::size_t>(d.frame_length - d.payload_offset));
            if (payload.rfind(tag, 0) == 0)
                received[payload.substr(tag.size(), payload.find(' ', tag.size()) - tag.size())] = d;
        }
    };
    const auto give_up = std::chrono::steady_clock::now() + 5s;
    while (received.size() < 6 && std::chrono::steady_clock::now() < give_up) {
        collect();
        std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(200ms);
    collect();
    for (const sent_frame& f : frames) {
        const auto found = received.find(f.name);
        if (f.input < 0) {
            EXPECT_EQ(found, received.end()) << f.name << " must not be handed over";
            continue;
        }
        ASSERT_NE(found, received.end()) << f.name << " not handed over";
        EXPECT_EQ(found->second.input_index, f.input) << f.name;
        EXPECT_FALSE(found->second.bad_checksum) << f.name;
        EXPECT_EQ(found->second.frame_length - found->second.payload_offset,
                  static_cast<std::int32_t>(f.payload_length))
            << f.name;
    }

    close_input(thread.get(), recorder);
    ASSERT_TRUE(recorder.wait_for_count("disconnected", 1));
    // The membership goes with the capture; the kernel may take a moment to drop it.
    bool left = false;
    for (int k = 0; k < 50 && !left; ++k, std::this_thread::sleep_for(20ms))
        left = !space.capture_adapter_is_member();
    EXPECT_TRUE(left);
    EXPECT_EQ(recorder.count("failure"), 0u) << testing::PrintToString(recorder.events());
}

}  // namespace
}  // namespace vorlane
