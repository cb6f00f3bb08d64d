// Frames from a junction box's IP address through the ring and the hand-over, as the gateway and
// the checker take them: once the box's Ethernet sender is configured or confirmed, only it is
// served and another is dropped, counted and named to the operator at most once a minute; until
// then nobody is dropped, and a second sender is named.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "input/datagram_hand_over.h"
#include "input/stream_input.h"
#include "tests/app/scripted_controller.h"
#include "tests/capture/capture_frames.h"
#include "tests/support/nmea_text.h"

namespace vorlane {
namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t box_sender = 0x10;
constexpr std::uint8_t impostor = 0x66;

// One frame: from junction box `input` (0 or 1), sent by the Ethernet address
// 02:00:00:00:00:<sender>, `at` seconds after the input opened.
struct frame_row {
    int input;
    std::uint8_t sender;
    int at;
};

struct sender_case {
    const char* name;
    // input_0_src_mac; empty confirms the sender that sends alone.
    const char* configured;
    std::vector<frame_row> frames;
    std::array<std::uint64_t, 2> served;
    std::array<std::uint64_t, 2> other_sender;
    // Every warning, as the status line and the log would show it, at its second.
    std::vector<std::pair<int, std::string>> warnings;
    friend void PrintTo(const sender_case& c, std::ostream* out) { *out << c.name; }
};

const std::string warning_1 =
    "Error QXE-120: junction box 1 (172.31.24.10) also sent from 02:00:00:00:00:66; dropped (the box sends "
    "from 02:00:00:00:00:10)";

const std::string two_senders_1 =
    "Error QXE-122: junction box 1 (172.31.24.10): two senders, 02:00:00:00:00:10 and 02:00:00:00:00:66";
const std::string two_senders_impostor_first =
    "Error QXE-122: junction box 1 (172.31.24.10): two senders, 02:00:00:00:00:66 and 02:00:00:00:00:10";

class SenderCheckTest : public testing::TestWithParam<sender_case> {};

TEST_P(SenderCheckTest, ServesOnlyTheBoxsOwnSender) {
    const sender_case& c = GetParam();
    config_manager config;
    set_defaults(config);
    config.input_src_mac[0] = c.configured;
    const auto ring = std::make_unique<FrameRing>();
    ring->set_inputs(input_addresses({config.input_src_ip[0], config.input_src_ip[1]},
                                     {config.input_dest_ip[0], config.input_dest_ip[1]},
                                     {config.input_port[0], config.input_port[1]}));
    const auto manager = std::make_unique<nmea_manager>();
    lan_receivers receivers;
    sender_identity& senders = receivers.senders[lan_a];
    ASSERT_TRUE(apply_input_formats(config, *manager, receivers).empty());
    const sender_identity::clock::time_point opened{};
    senders.open(opened);

    std::vector<std::pair<int, std::string>> warnings;
    const auto datagram = std::make_unique<rx_datagram>();
    for (const frame_row& f : c.frames) {
        std::vector<std::uint8_t> frame =
            test::box_frame(static_cast<std::uint8_t>(10 + f.input),
                            std::string("UdPbC\0\0\0", 8) + test::with_checksum("$HEHDT,271.4,T") + "\r\n");
        frame[6] = 0x02;
        frame[11] = f.sender;
        ASSERT_TRUE(ring->store_frame(frame.data(), frame.size()));
        ASSERT_TRUE(ring->take_datagram(datagram.get()));
        const auto now = opened + std::chrono::seconds(f.at);
        EXPECT_TRUE(hand_over_datagram(*manager, receivers, *datagram, now));
        for (int input = 0; input < 2; ++input)
            if (sender_warning w; senders.take_warning(input, now, w))
                warnings.emplace_back(f.at, sender_warning_text(input, config.input_src_ip[input], w));
    }
    for (std::int32_t input = 0; input < 2; ++input) {
        const input_tally& tally = manager->statistics().input(input);
        EXPECT_EQ(tally.lines, c.served[input]) << "input " << input;
        EXPECT_EQ(tally.dropped[static_cast<std::size_t>(stream_drop::other_sender)], c.other_sender[input])
            << "input " << input;
    }
    EXPECT_EQ(warnings, c.warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SenderCheckTest,
    testing::Values(sender_case{"alone_on_its_address_nothing_changes",
                                "",
                                {{0, box_sender, 0}, {0, box_sender, 1}},
                                {2, 0},
                                {0, 0},
                                {}},
                    sender_case{"confirmed_after_sending_alone_then_another_dropped_counted_warned_once",
                                "",
                                {{0, box_sender, 0},
                                 {0, box_sender, 10},
                                 {0, impostor, 11},
                                 {0, impostor, 12},
                                 {0, box_sender, 13},
                                 {0, impostor, 59}},
                                {3, 0},
                                {3, 0},
                                {{11, warning_1}}},
                    sender_case{"warned_again_a_minute_later",
                                "",
                                {{0, box_sender, 0},
                                 {0, box_sender, 10},
                                 {0, impostor, 11},
                                 {0, impostor, 70},
                                 {0, impostor, 71}},
                                {2, 0},
                                {3, 0},
                                {{11, warning_1}, {71, warning_1}}},
                    // A host that sends once before the box must not become the box: both are served until
                    // the box has sent alone long enough, and then only the box.
                    sender_case{"first_sender_is_not_taken_for_the_box",
                                "",
                                {{0, impostor, 0},
                                 {0, box_sender, 1},
                                 {0, box_sender, 5},
                                 {0, box_sender, 11},
                                 {0, impostor, 12}},
                                {4, 0},
                                {1, 0},
                                {{1, two_senders_impostor_first}}},
                    sender_case{"two_senders_taking_turns_are_both_served_and_named",
                                "",
                                {{0, box_sender, 0},
                                 {0, impostor, 5},
                                 {0, box_sender, 11},
                                 {0, impostor, 16},
                                 {0, box_sender, 65}},
                                {5, 0},
                                {0, 0},
                                {{5, two_senders_1}, {65, two_senders_impostor_first}}},
                    sender_case{"configured_address_wins_over_the_first_sender",
                                "02:00:00:00:00:10",
                                {{0, impostor, 0}, {0, box_sender, 1}},
                                {1, 0},
                                {1, 0},
                                {{0, warning_1}}},
                    sender_case{"configured_address_in_capitals_with_hyphens",
                                "02-00-00-00-00-10",
                                {{0, box_sender, 0}},
                                {1, 0},
                                {0, 0},
                                {}},
                    sender_case{"each_box_has_its_own_sender",
                                "",
                                {{0, box_sender, 0}, {1, impostor, 1}, {1, impostor, 2}},
                                {1, 2},
                                {0, 0},
                                {}}),
    [](const testing::TestParamInfo<sender_case>& row) { return row.param.name; });

TEST(SenderCheck, ConfiguredSenderThatNeverSendsIsReportedOncePerOpening) {
    sender_identity senders;
    ethernet_address expected{};
    ASSERT_TRUE(parse_ethernet_address("02:00:00:00:00:10", expected));
    senders.configure(0, expected);
    const sender_identity::clock::time_point opened{};
    senders.open(opened);
    ethernet_address reported{};
    EXPECT_FALSE(senders.take_missing(0, opened + 59s, reported));
    ASSERT_TRUE(senders.take_missing(0, opened + 60s, reported));
    EXPECT_EQ(
        missing_sender_text(0, "172.31.24.10", reported),
        "Error QXE-121: junction box 1 (172.31.24.10) has sent nothing from 02:00:00:00:00:10 since the "
        "input opened");
    EXPECT_FALSE(senders.take_missing(0, opened + 600s, reported)) << "reported once";
    EXPECT_FALSE(senders.take_missing(1, opened + 600s, reported)) << "nothing configured, nothing missing";

    senders.open(opened + 700s);
    const std::uint8_t source[6] = {0x02, 0, 0, 0, 0, 0x10};
    EXPECT_TRUE(senders.accept(0, source, opened + 700s));
    EXPECT_FALSE(senders.take_missing(0, opened + 800s, reported)) << "heard after the reopening";
}

TEST(SenderCheck, UnreadableConfiguredAddressIsReportedAndItsInputServesNothing) {
    for (const char* text : {"02:00:00:00:00", "02:00:00:00:00:1g", "02:00-00:00:00:10", "0200.0000.0010"}) {
        config_manager config;
        set_defaults(config);
        config.input_src_mac[1] = text;
        const auto manager = std::make_unique<nmea_manager>();
        lan_receivers receivers;
        const std::vector<std::string> errors = apply_input_formats(config, *manager, receivers);
        ASSERT_EQ(errors.size(), 1u) << text;
        EXPECT_EQ(errors[0],
                  "Error QXE-620: Ethernet address \"" + std::string(text) +
                      "\" of VDR Junction box 2 is not six pairs of hex digits separated by colons");
        std::string payload = std::string("UdPbC\0\0\0", 8) + test::with_checksum("$HEHDT,271.4,T") + "\r\n";
        manager->process_datagram(1, 1, reinterpret_cast<std::uint8_t*>(payload.data()),
                                  static_cast<std::int32_t>(payload.size()), false);
        EXPECT_EQ(manager->statistics().input(1).lines, 0u) << text;
    }
}

// The gateway's own path: the controller takes the frames from its input, drops those of another
// sender than the configured one, and says so once on the status line and in the log, naming both addresses.
TEST(SenderCheck, GatewayDropsAndReportsAnotherSenderOnce) {
    test::scripted_controller gateway;
    gateway.input_settings = "input_0_src_mac=00:00:00:00:00:10\n";
    ASSERT_TRUE(gateway.run_to_ready());
    const std::string true_heading = test::with_checksum("$HEHDT,271.4,T") + "\r\n";
    const std::string forged_heading = test::with_checksum("$HEHDT,091.4,T") + "\r\n";
    const auto capture = [&](const std::string& line, std::uint8_t sender) {
        gateway.input->capture(0, line);
        gateway.input->waiting.back().frame[ethernet_source_offset + 5] = sender;
    };
    capture(true_heading, box_sender);
    for (int k = 0; k < 5; ++k) capture(forged_heading, impostor);
    gateway.controller->on_rx_datagram();
    capture(forged_heading, impostor);
    gateway.controller->on_rx_datagram();
    gateway.ticks(3);

    const std::string warning =
        "Error QXE-120: junction box 1 (172.31.24.10) also sent from 00:00:00:00:00:66; dropped (the box "
        "sends "
        "from 00:00:00:00:00:10)";
    EXPECT_EQ(std::count(gateway.display.shown.begin(), gateway.display.shown.end(), warning), 1);
    const std::string log = gateway.log_text();
    EXPECT_NE(log.find(" " + warning + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(warning), log.rfind(warning)) << log;
    EXPECT_EQ(gateway.controller->drops()
                  .drop_counts(0)
                  .stream.dropped[static_cast<std::size_t>(stream_drop::other_sender)],
              6u);
    EXPECT_EQ(gateway.controller->report_drops_since_start()[0],
              "Dropped since start on input 1: 6 of 7 (other sender 6)");
}

}  // namespace
}  // namespace vorlane
