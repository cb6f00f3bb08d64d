// Capture on the loopback adapter with the system's libpcap: needs the right to capture and to
// send raw packets (root or CAP_NET_RAW); skipped with a message otherwise.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_api.h"
#include "capture/pcap_receive_thread.h"
#include "input/capture_input.h"
#include "tests/capture/helper_thread.h"
#include "tests/capture/rx_recorder.h"
#include "tools/raw_udp.h"

namespace vorlane {
namespace {

using namespace std::chrono_literals;

// Far from the junction boxes' usual port, so that other traffic on loopback stays out.
constexpr std::uint16_t test_port = 39461;

class LiveCapture : public testing::Test {
  protected:
    void SetUp() override {
        if (!load_capture_library()) GTEST_SKIP() << "the system's libpcap is not installed";
        std::uint32_t mask = 0;
        adapter = find_adapter_by_ip("127.0.0.1", mask);
        if (adapter.empty()) GTEST_SKIP() << "no adapter carries 127.0.0.1";
        char error[PCAP_ERRBUF_SIZE] = {};
        pcap_t* probe = capture_api.pcap_open_live(adapter.c_str(), 65536, 1, 100, error);
        if (probe == nullptr)
            GTEST_SKIP() << "not permitted to capture on " << adapter
                         << " (needs root or CAP_NET_RAW): " << error;
        capture_api.pcap_close(probe);
        sender = std::make_unique<raw_udp_socket>();
        if (!sender->is_open()) GTEST_SKIP() << "not permitted to send raw packets: " << sender->error();

        helper = std::make_unique<test::helper_thread>();
        thread = std::make_unique<TPCapReceiveThread>(recorder, helper->channel());
        recorder.serve(thread.get());
    }
    void TearDown() override {
        if (thread) {
            thread->terminate();
            thread->wait_for_end();
            recorder.serve(nullptr);
            thread.reset();
        }
        helper.reset();
        unload_capture_library();
    }

    void send(std::uint8_t source_last_byte, const std::string& payload, udp_checksum_kind checksum) {
        udp_packet_spec spec;
        spec.source = {127, 0, 0, source_last_byte};
        spec.destination = {127, 0, 0, 1};
        spec.source_port = 50001;
        spec.destination_port = test_port;
        spec.checksum = checksum;
        const std::vector<std::uint8_t> packet =
            build_udp_packet(spec, std::vector<std::uint8_t>(payload.begin(), payload.end()));
        ASSERT_TRUE(sender->send(packet)) << sender->error();
    }

    std::string adapter;
    std::unique_ptr<raw_udp_socket> sender;
    test::rx_recorder recorder;
    std::unique_ptr<test::helper_thread> helper;
    std::unique_ptr<TPCapReceiveThread> thread;
};

config_manager loopback_config() {
    config_manager config;
    config.input_ip = "127.0.0.1";
    for (int box = 0; box < 2; ++box) {
        config.input_src_ip[box] = "127.0.0." + std::to_string(10 + box);
        config.input_dest_ip[box] = "127.0.0.1";
        config.input_port[box] = test_port;
    }
    return config;
}

// libpcap on Linux never ends a blocking read while no frame passes the filter; the thread must
// still see its read time-outs, stop and end.
TEST_F(LiveCapture, QuietInputGivesIdleAndStopsAndEndsPromptly) {
    ASSERT_TRUE(open_input(thread.get(), loopback_config(), recorder));
    ASSERT_TRUE(recorder.wait_for_count("connected", 1)) << testing::PrintToString(recorder.events());
    EXPECT_TRUE(recorder.wait_for_count("idle", 1));
    thread->stop_capture();
    EXPECT_TRUE(recorder.wait_until(
        [](const std::vector<std::string>& all) { return !all.empty() && all.back() == "disconnected"; },
        2s));
    thread->start_capture(build_capture_request(loopback_config()));
    ASSERT_TRUE(recorder.wait_for_count("connected", 2));
    const auto asked = std::chrono::steady_clock::now();
    thread->terminate();
    thread->wait_for_end();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 500ms);
}

TEST_F(LiveCapture, FramesFromBothBoxesArriveWithInputAndChecksumVerdict) {
    ASSERT_TRUE(open_input(thread.get(), loopback_config(), recorder));
    ASSERT_TRUE(recorder.wait_for_count("connected", 1)) << testing::PrintToString(recorder.events());

    const std::string tag = "vorlane capture test " + std::to_string(getpid()) + " ";
    const struct {
        std::uint8_t source;
        udp_checksum_kind checksum;
        std::int32_t input;
        bool bad;
    } sent[] = {{10, udp_checksum_kind::correct, 0, false},
                {11, udp_checksum_kind::correct, 1, false},
                {10, udp_checksum_kind::wrong, 0, true},
                {11, udp_checksum_kind::zero, 1, false},
                {12, udp_checksum_kind::correct, -1, false}};
    for (std::size_t k = 0; k < std::size(sent); ++k)
        send(sent[k].source, tag + std::to_string(k), sent[k].checksum);

    // The source .12 is outside the filter, so four of the five arrive.
    std::map<std::string, rx_datagram> received;
    const auto give_up = std::chrono::steady_clock::now() + 5s;
    while (received.size() < 4 && std::chrono::steady_clock::now() < give_up) {
        rx_datagram d;
        while (thread->take_datagram(&d)) {
            const std::string payload(reinterpret_cast<const char*>(d.frame) + d.payload_offset,
                                      static_cast<std::size_t>(d.frame_length - d.payload_offset));
            if (payload.rfind(tag, 0) == 0) received[payload.substr(tag.size())] = d;
        }
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_EQ(received.size(), 4u);
    for (std::size_t k = 0; k < 4; ++k) {
        const std::string key = std::to_string(k);
        ASSERT_TRUE(received.count(key)) << "datagram " << k << " not captured";
        EXPECT_EQ(received[key].input_index, sent[k].input) << "datagram " << k;
        EXPECT_EQ(received[key].bad_checksum, sent[k].bad) << "datagram " << k;
        EXPECT_EQ(received[key].payload_offset, 42);
    }
    std::this_thread::sleep_for(200ms);
    rx_datagram d;
    while (thread->take_datagram(&d)) {
        const std::string payload(reinterpret_cast<const char*>(d.frame) + d.payload_offset,
                                  static_cast<std::size_t>(d.frame_length - d.payload_offset));
        EXPECT_NE(payload, tag + "4") << "a source outside the filter was captured";
    }
    EXPECT_EQ(recorder.count("failure"), 0u);
}

}  // namespace
}  // namespace vorlane
