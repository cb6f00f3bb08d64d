#include "capture/frame_ring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/capture/capture_frames.h"
#include "tools/raw_udp.h"

namespace vorlane {
namespace {

using test::box_frame;
using test::frame_of_length;

std::vector<std::uint8_t> from_hex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t k = 0; k + 1 < hex.size(); k += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
    return bytes;
}

// A datagram from 172.31.24.10:50001 to 172.31.24.1:10021 with an odd UDP length (35) and the
// checksum 0xC810, both computed by an independent implementation.
const std::string known_frame_hex =
    "020000000002020000000001080045000037123440004011a038ac1f180aac1f1801c35127250023c810"
    "55645062430000002448454844542c3130312e352c542a32430d0a";
constexpr std::size_t known_udp_at = 34;

std::string payload_of(const rx_datagram& d) {
    return std::string(reinterpret_cast<const char*>(d.frame) + d.payload_offset,
                       static_cast<std::size_t>(d.frame_length - d.payload_offset));
}

// The two junction boxes as box_frame sends them.
const std::array<input_address, 2> boxes_10_and_11{input_address{{172, 31, 24, 10}, {172, 31, 24, 1}, 10021},
                                                   input_address{{172, 31, 24, 11}, {172, 31, 24, 1}, 10021}};

class FrameRingTest : public testing::Test {
  protected:
    FrameRingTest() { ring->set_inputs(boxes_10_and_11); }
    bool store(const std::vector<std::uint8_t>& frame) {
        return ring->store_frame(frame.data(), frame.size());
    }
    rx_datagram take() {
        rx_datagram d;
        EXPECT_TRUE(ring->take_datagram(&d));
        return d;
    }
    std::unique_ptr<FrameRing> ring = std::make_unique<FrameRing>();
};

TEST_F(FrameRingTest, KnownGoodFrameIsStoredWithHeaderTurnedIntoPseudoHeader) {
    const std::vector<std::uint8_t> frame = from_hex(known_frame_hex);
    ASSERT_TRUE(store(frame));
    const rx_datagram d = take();
    EXPECT_EQ(d.link, nullptr);
    EXPECT_EQ(d.frame_length, 69);
    EXPECT_EQ(d.payload_offset, 42);
    EXPECT_FALSE(d.bad_checksum);
    EXPECT_EQ(d.input_index, 0);
    EXPECT_EQ(payload_of(d), std::string("UdPbC\0\0\0$HEHDT,101.5,T*2C\r\n", 27));
    EXPECT_EQ(d.frame[69], 0) << "the payload is followed by a zero byte";
    // The verified copy keeps the pseudo-header it was checked with.
    EXPECT_EQ(d.frame[22], 0) << "time-to-live";
    EXPECT_EQ(d.frame[24], 0x00);
    EXPECT_EQ(d.frame[25], 0x23) << "UDP length in place of the header checksum";
}

TEST_F(FrameRingTest, WrongChecksumIsStoredAndFlagged) {
    std::vector<std::uint8_t> frame = from_hex(known_frame_hex);
    frame[50] ^= 0x01;  // one payload bit
    ASSERT_TRUE(store(frame));
    EXPECT_TRUE(take().bad_checksum);
}

TEST_F(FrameRingTest, ZeroChecksumIsNotVerified) {
    std::vector<std::uint8_t> frame = from_hex(known_frame_hex);
    frame[known_udp_at + 6] = frame[known_udp_at + 7] = 0;
    frame[50] ^= 0x01;
    ASSERT_TRUE(store(frame));
    const rx_datagram d = take();
    EXPECT_FALSE(d.bad_checksum);
    EXPECT_EQ(d.frame[22], 64) << "an unverified frame keeps its header";
}

struct checksum_case {
    const char* name;
    std::size_t frame_length;
    udp_checksum_kind checksum;
    bool bad;
};

void PrintTo(const checksum_case& c, std::ostream* os) {
    *os << c.name;
}

class FrameRingChecksum : public FrameRingTest, public testing::WithParamInterface<checksum_case> {};

TEST_P(FrameRingChecksum, FlagsExactlyTheWrongChecksums) {
    const checksum_case& c = GetParam();
    const std::vector<std::uint8_t> frame = frame_of_length(c.frame_length, c.checksum);
    ASSERT_EQ(frame.size(), c.frame_length);
    ASSERT_TRUE(store(frame));
    const rx_datagram d = take();
    EXPECT_EQ(d.bad_checksum, c.bad);
    EXPECT_EQ(d.frame_length, static_cast<std::int32_t>(c.frame_length));
    EXPECT_EQ(std::memcmp(d.frame + 42, frame.data() + 42, c.frame_length - 42), 0) << "payload unchanged";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameRingChecksum,
    testing::Values(checksum_case{"empty_payload_correct", 42, udp_checksum_kind::correct, false},
                    checksum_case{"empty_payload_wrong", 42, udp_checksum_kind::wrong, true},
                    checksum_case{"odd_length_correct", 101, udp_checksum_kind::correct, false},
                    checksum_case{"odd_length_wrong", 101, udp_checksum_kind::wrong, true},
                    checksum_case{"odd_length_zero", 101, udp_checksum_kind::zero, false},
                    checksum_case{"typical_correct", 1400, udp_checksum_kind::correct, false},
                    checksum_case{"longest_correct", max_frame_length, udp_checksum_kind::correct, false},
                    checksum_case{"longest_wrong", max_frame_length, udp_checksum_kind::wrong, true},
                    checksum_case{"longest_zero", max_frame_length, udp_checksum_kind::zero, false}),
    [](const testing::TestParamInfo<checksum_case>& row) { return row.param.name; });

// IPv4 options move the UDP header; the pseudo-header and the UDP length must follow it.
TEST_F(FrameRingTest, HeaderWithOptionsIsCheckedAtTheRealUdpOffset) {
    const std::string payload("UdPbC\0\0\0$HEHDT,101.5,T*2C\r\n", 27);
    const std::vector<std::uint8_t> plain = box_frame(11, payload);
    std::vector<std::uint8_t> frame(plain.begin(), plain.begin() + 34);
    frame.insert(frame.end(), {1, 1, 1, 0});  // NOP, NOP, NOP, end of options
    frame.insert(frame.end(), plain.begin() + 34, plain.end());
    frame[14] = 0x46;
    frame[17] = static_cast<std::uint8_t>(frame[17] + 4);  // total length
    ASSERT_TRUE(store(frame));
    rx_datagram d = take();
    EXPECT_FALSE(d.bad_checksum);
    EXPECT_EQ(d.input_index, 1);
    EXPECT_EQ(d.payload_offset, 46);
    EXPECT_EQ(payload_of(d), payload);

    frame.back() ^= 0x20;
    ASSERT_TRUE(store(frame));
    EXPECT_TRUE(take().bad_checksum);
}

struct refused_case {
    const char* name;
    std::vector<std::uint8_t> frame;
};

void PrintTo(const refused_case& c, std::ostream* os) {
    *os << c.name;
}

std::vector<std::uint8_t> with_header_length_field(std::uint8_t ihl, std::size_t length) {
    std::vector<std::uint8_t> frame = frame_of_length(length);
    frame[14] = static_cast<std::uint8_t>(0x40 | ihl);
    return frame;
}

class FrameRingRefuses : public FrameRingTest, public testing::WithParamInterface<refused_case> {};

TEST_P(FrameRingRefuses, StoresNothing) {
    const std::vector<std::uint8_t>& frame = GetParam().frame;
    EXPECT_FALSE(ring->store_frame(frame.empty() ? nullptr : frame.data(), frame.size()));
    rx_datagram d;
    EXPECT_FALSE(ring->take_datagram(&d));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameRingRefuses,
    testing::Values(refused_case{"no_data", {}},
                    refused_case{"one_byte_too_long", frame_of_length(max_frame_length + 1)},
                    refused_case{"shorter_than_the_headers", std::vector<std::uint8_t>(41, 0x45)},
                    refused_case{"header_length_below_20", with_header_length_field(4, 100)},
                    refused_case{"header_length_zero", with_header_length_field(0, 100)},
                    // 60-byte header: UDP header would end at 82, beyond these 81 bytes.
                    refused_case{"udp_header_beyond_frame", with_header_length_field(15, 81)}),
    [](const testing::TestParamInfo<refused_case>& row) { return row.param.name; });

TEST_F(FrameRingTest, LongestHeaderWithRoomForTheUdpHeaderIsStored) {
    std::vector<std::uint8_t> frame = with_header_length_field(15, 82);
    // The junction box's port where the longer header puts the UDP destination port.
    frame[76] = 10021 >> 8;
    frame[77] = 10021 & 0xFF;
    ASSERT_TRUE(store(frame));
    const rx_datagram d = take();
    EXPECT_EQ(d.payload_offset, 82);
    EXPECT_EQ(d.frame_length, 82);
}

TEST_F(FrameRingTest, InputIndexComesFromTheLastSourceByte) {
    // Each case runs in a slot whose previous frame came from the other box: nothing is inherited.
    const struct {
        std::uint8_t last_byte;
        std::int32_t input;
    } cases[] = {{11, 1}, {10, 0}, {11, 1}, {12, -1}, {10, 0}, {0, -1}, {255, -1}};
    for (const auto& c : cases) {
        ASSERT_EQ(store(box_frame(c.last_byte, "x")), c.input >= 0) << "source ends in ." << int(c.last_byte);
        if (c.input >= 0) {
            EXPECT_EQ(take().input_index, c.input) << "source ends in ." << int(c.last_byte);
        }
    }
    // Every slot of a full lap: a frame from .11 then one from .12 in the same slot.
    for (std::size_t k = 0; k < frame_ring_slots; ++k) {
        ASSERT_TRUE(store(box_frame(11, "x")));
        take();
    }
    EXPECT_FALSE(store(box_frame(12, "x")));
}

TEST_F(FrameRingTest, HoldsAtMost8191FramesInOrder) {
    rx_datagram d;
    EXPECT_FALSE(ring->take_datagram(&d));
    EXPECT_FALSE(ring->take_datagram(nullptr));
    for (std::size_t k = 0; k < frame_ring_slots - 1; ++k)
        ASSERT_TRUE(store(box_frame(10, std::to_string(k)))) << "frame " << k;
    EXPECT_FALSE(store(box_frame(10, "one too many")));
    EXPECT_EQ(payload_of(take()), "0");
    EXPECT_TRUE(store(box_frame(10, "after taking one")));
    for (std::size_t k = 1; k < frame_ring_slots - 1; ++k) ASSERT_EQ(payload_of(take()), std::to_string(k));
    EXPECT_EQ(payload_of(take()), "after taking one");
    EXPECT_FALSE(ring->take_datagram(&d));
}

// Frames as adapters deliver them: what is stored (and where its payload starts) and what is
// refused. A stored frame keeps its payload and passes its checksum.
struct framing_case {
    const char* name;
    std::vector<std::uint8_t> frame;
    std::int32_t payload_offset;  // 0: refused
    std::int32_t input;
    // Bytes behind the datagram that are not its payload: a redundancy trailer, padding.
    std::size_t trailer = 0;
};

void PrintTo(const framing_case& c, std::ostream* os) {
    *os << c.name;
}

std::vector<std::uint8_t> with_byte(std::vector<std::uint8_t> frame, std::size_t at, std::uint8_t value) {
    frame[at] = value;
    return frame;
}

const std::string sentence = "UdPbC123$HEHDT,101.5,T*2C\r\n";
constexpr std::pair<std::uint16_t, std::uint16_t> priority_tag{0x8100, 0xA000};  // priority 5, VLAN 0
constexpr std::pair<std::uint16_t, std::uint16_t> vlan_100{0x8100, 100};
constexpr std::pair<std::uint16_t, std::uint16_t> service_vlan_200{0x88A8, 200};
const std::string full_payload(1472, 'P');
// Sequence number, LAN identifier with size, suffix 0x88FB.
const std::vector<std::uint8_t> prp_trailer{0x12, 0x34, 0xA0, 0x35, 0x88, 0xFB};

std::vector<std::uint8_t> with_trailer(std::vector<std::uint8_t> frame,
                                       const std::vector<std::uint8_t>& trailer) {
    frame.insert(frame.end(), trailer.begin(), trailer.end());
    return frame;
}

std::vector<framing_case> framing_cases() {
    using test::with_tags;
    const std::vector<std::uint8_t> plain = box_frame(10, sentence);
    std::vector<std::uint8_t> arp(42, 0);
    arp[12] = 0x08;
    arp[13] = 0x06;
    std::vector<std::uint8_t> ipv6 = with_byte(with_byte(plain, 13, 0xDD), 12, 0x86);
    ipv6[14] = 0x60;
    return {
        {"untagged", plain, 42, 0},
        {"priority_tagged", with_tags(box_frame(11, sentence), {priority_tag}), 46, 1},
        {"vlan_100", with_tags(plain, {vlan_100}), 46, 0},
        {"qinq", with_tags(box_frame(11, sentence), {service_vlan_200, vlan_100}), 50, 1},
        {"priority_tag_inside_qinq", with_tags(plain, {service_vlan_200, vlan_100, priority_tag}), 54, 0},
        {"full_size_untagged", box_frame(10, full_payload), 42, 0},
        {"full_size_qinq", with_tags(box_frame(11, full_payload), {service_vlan_200, vlan_100}), 50, 1},
        {"other_source", box_frame(12, sentence), 0, 0},
        {"arp", arp, 0, 0},
        {"ipv6", ipv6, 0, 0},
        {"ipv4_ethertype_with_version_6", with_byte(plain, 14, 0x65), 0, 0},
        {"tcp", with_byte(plain, 23, 6), 0, 0},
        {"first_fragment", with_byte(plain, 20, 0x20), 0, 0},
        {"later_fragment", with_byte(with_byte(plain, 20, 0x00), 21, 0xB9), 0, 0},
        {"last_fragment_of_a_tagged_datagram", with_tags(with_byte(plain, 21, 0xB9), {vlan_100}), 0, 0},
        {"tags_only",
         with_tags(std::vector<std::uint8_t>(plain.begin(), plain.begin() + 14), {vlan_100, vlan_100}), 0, 0},
        {"prp_trailer", with_trailer(plain, prp_trailer), 42, 0, prp_trailer.size()},
        {"prp_trailer_behind_full_size_qinq",
         with_trailer(with_tags(box_frame(11, full_payload), {service_vlan_200, vlan_100}), prp_trailer), 50,
         1, prp_trailer.size()},
        {"ethernet_padding", with_trailer(box_frame(10, "x"), std::vector<std::uint8_t>(17, 0)), 42, 0, 17},
        {"total_length_beyond_frame", with_byte(plain, 17, static_cast<std::uint8_t>(plain[17] + 1)), 0, 0},
        {"total_length_inside_udp_header", with_byte(plain, 17, 20 + 7), 0, 0},
    };
}

class FrameRingFraming : public FrameRingTest, public testing::WithParamInterface<framing_case> {};

TEST_P(FrameRingFraming, StoresWholeIpv4UdpDatagramsBehindAnyTags) {
    const framing_case& c = GetParam();
    ASSERT_EQ(store(c.frame), c.payload_offset != 0);
    if (c.payload_offset == 0) return;
    const rx_datagram d = take();
    EXPECT_EQ(d.payload_offset, c.payload_offset);
    EXPECT_EQ(d.input_index, c.input);
    EXPECT_FALSE(d.bad_checksum);
    EXPECT_EQ(payload_of(d), std::string(c.frame.begin() + c.payload_offset,
                                         c.frame.end() - static_cast<std::ptrdiff_t>(c.trailer)));
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameRingFraming, testing::ValuesIn(framing_cases()),
                         [](const testing::TestParamInfo<framing_case>& row) { return row.param.name; });

// Each skipped frame is counted once, under its reason and the junction box that sent it.
TEST_F(FrameRingTest, SkippedFramesAreCountedByReasonAndInput) {
    const std::vector<std::uint8_t> box_2 = box_frame(11, sentence);
    struct row {
        std::vector<std::uint8_t> frame;
        std::size_t counted_in;
        frame_skip why;
    };
    const row rows[] = {
        {with_byte(box_2, 20, 0x20), 1, frame_skip::fragment},
        {with_byte(box_2, 23, 6), 1, frame_skip::not_ipv4_udp},
        {std::vector<std::uint8_t>(42, 0), unknown_source_row, frame_skip::not_ipv4_udp},
        {test::with_tags(box_frame(10, std::string(1480, 'P')), {vlan_100}), 0, frame_skip::oversize},
    };
    std::array<std::array<std::uint64_t, frame_skip_count>, frame_count_rows> expected{};
    for (const row& r : rows) {
        frame_skip why = frame_skip::ring_full;
        EXPECT_FALSE(ring->store_frame(r.frame.data(), r.frame.size(), &why));
        EXPECT_EQ(why, r.why);
        ++expected[r.counted_in][static_cast<std::size_t>(r.why)];
    }
    for (std::size_t k = 0; k + 1 < frame_ring_slots; ++k) ASSERT_TRUE(store(box_2));
    EXPECT_FALSE(store(box_2));
    ++expected[1][static_cast<std::size_t>(frame_skip::ring_full)];
    for (std::size_t r = 0; r < frame_count_rows; ++r)
        for (std::size_t k = 0; k < frame_skip_count; ++k)
            EXPECT_EQ(ring->skipped(r, static_cast<frame_skip>(k)), expected[r][k]) << r << " " << k;
}

// The input number follows the configured source, destination and port together, whatever the
// source's last byte: one sender may feed both inputs. A frame of neither is not stored.
TEST_F(FrameRingTest, InputIndexFollowsTheConfiguredTriples) {
    const auto frame_to = [](std::uint8_t source, std::uint8_t destination, std::uint16_t port) {
        udp_packet_spec spec;
        spec.source = {172, 31, 24, source};
        spec.destination = {239, 192, 0, destination};
        spec.source_port = 50001;
        spec.destination_port = port;
        const std::uint8_t payload[] = {'x'};
        return ethernet_frame(build_udp_packet(spec, payload));
    };
    ring->set_inputs({input_address{{172, 31, 24, 77}, {239, 192, 0, 4}, 60004},
                      input_address{{172, 31, 24, 77}, {239, 192, 0, 5}, 60005}});
    const struct {
        std::uint8_t source, destination;
        std::uint16_t port;
        std::int32_t input;
    } cases[] = {
        {77, 4, 60004, 0}, {77, 5, 60005, 1}, {77, 4, 60005, -1}, {77, 5, 60004, -1}, {10, 4, 60004, -1}};
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> frame = frame_to(c.source, c.destination, c.port);
        frame_skip why = frame_skip::ring_full;
        ASSERT_EQ(ring->store_frame(frame.data(), frame.size(), &why), c.input >= 0);
        if (c.input >= 0) {
            EXPECT_EQ(take().input_index, c.input) << int(c.destination) << ":" << c.port;
        } else {
            EXPECT_EQ(why, frame_skip::unconfigured_source) << int(c.source) << " " << int(c.destination);
        }
    }
    EXPECT_EQ(ring->skipped(unknown_source_row, frame_skip::unconfigured_source), 3u);
    ring->set_inputs({});
    EXPECT_FALSE(store(box_frame(10, "x"))) << "no input configured";
}

// A capture may count bytes on the wire behind the datagram that it did not keep (a frame check
// sequence): only a datagram cut short is oversize.
TEST_F(FrameRingTest, CapturedFrameIsJudgedByItsDatagramsLength) {
    const std::vector<std::uint8_t> frame = box_frame(10, "whole");
    EXPECT_TRUE(ring->store_captured(frame.data(), frame.size(), frame.size() + 4));
    frame_skip why = frame_skip::ring_full;
    EXPECT_FALSE(ring->store_captured(frame.data(), frame.size() - 1, frame.size(), &why));
    EXPECT_EQ(why, frame_skip::oversize);
}

// The receive thread and the main thread as the controller runs them: the main thread drains the
// ring only when notified. Every frame must come out, in order, and no frame may be left behind
// without a notification to fetch it.
TEST_F(FrameRingTest, NotifiedDrainsGetEveryFrameInOrder) {
    constexpr int frames = 20000;
    std::mutex lock;
    std::condition_variable posted;
    int notifications = 0;
    std::atomic<bool> given_up{false};
    std::thread receive_thread([&] {
        for (int k = 0; k < frames; ++k) {
            const std::vector<std::uint8_t> frame = box_frame(10, std::to_string(k));
            while (!store(frame)) {
                if (given_up) return;
                std::this_thread::yield();
            }
            if (ring->claim_notification()) {
                const std::lock_guard guard(lock);
                ++notifications;
                posted.notify_one();
            }
        }
    });
    int next = 0;
    rx_datagram d;
    while (next < frames) {
        {
            std::unique_lock guard(lock);
            if (!posted.wait_for(guard, std::chrono::seconds(5), [&] { return notifications > 0; })) break;
            --notifications;
        }
        while (ring->take_datagram(&d)) EXPECT_EQ(payload_of(d), std::to_string(next++));
    }
    given_up = true;
    receive_thread.join();
    EXPECT_EQ(next, frames) << "a frame was left in the ring without a notification";
}

}  // namespace
}  // namespace vorlane
