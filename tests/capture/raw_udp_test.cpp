#include "tools/raw_udp.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace vorlane {
namespace {

// Bytes 14 on of the independently computed frame in frame_ring_test.cpp: IPv4 header with its
// checksum 0xA038, UDP header with its checksum 0xC810, payload.
const std::string known_packet_hex =
    "45000037123440004011a038ac1f180aac1f1801c35127250023c810"
    "55645062430000002448454844542c3130312e352c542a32430d0a";

std::string to_hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

udp_packet_spec known_spec() {
    udp_packet_spec spec;
    spec.source = {172, 31, 24, 10};
    spec.destination = {172, 31, 24, 1};
    spec.source_port = 50001;
    spec.destination_port = 10021;
    spec.identification = 0x1234;
    return spec;
}

const std::string known_payload("UdPbC\0\0\0$HEHDT,101.5,T*2C\r\n", 27);

std::vector<std::uint8_t> build(const udp_packet_spec& spec) {
    return build_udp_packet(spec, std::vector<std::uint8_t>(known_payload.begin(), known_payload.end()));
}

TEST(RawUdp, BuildsTheIndependentlyComputedPacket) {
    EXPECT_EQ(to_hex(build(known_spec())), known_packet_hex);
}

TEST(RawUdp, WrongAndZeroChecksumsTouchOnlyTheChecksumField) {
    udp_packet_spec spec = known_spec();
    spec.checksum = udp_checksum_kind::wrong;
    std::string expected = known_packet_hex;
    expected.replace(2 * 26, 4, "c811");
    EXPECT_EQ(to_hex(build(spec)), expected);
    spec.checksum = udp_checksum_kind::zero;
    expected.replace(2 * 26, 4, "0000");
    EXPECT_EQ(to_hex(build(spec)), expected);
}

TEST(RawUdp, EthernetFrameCarriesThePacketAsIpv4) {
    const std::vector<std::uint8_t> packet = build(known_spec());
    const std::vector<std::uint8_t> frame = ethernet_frame(packet);
    ASSERT_EQ(frame.size(), packet.size() + 14);
    EXPECT_EQ(frame[12], 0x08);
    EXPECT_EQ(frame[13], 0x00);
    EXPECT_EQ(std::vector<std::uint8_t>(frame.begin() + 14, frame.end()), packet);
}

TEST(RawUdp, RefusesAPayloadBeyondOneIpv4Packet) {
    EXPECT_NO_THROW(build_udp_packet(known_spec(), std::vector<std::uint8_t>(65535 - 28)));
    EXPECT_THROW(build_udp_packet(known_spec(), std::vector<std::uint8_t>(65535 - 27)), std::length_error);
}

TEST(RawUdp, ParsesDottedQuadsOnly) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {{"127.0.0.10", true}, {"0.0.0.0", true},   {"255.255.255.255", true}, {"256.0.0.1", false},
                 {"1.2.3", false},     {"1.2.3.4.", false}, {"1..3.4", false},         {" 1.2.3.4", false},
                 {"1.2.3.4x", false},  {"", false},         {"-1.2.3.4", false}};
    for (const auto& c : cases) {
        ipv4_address address{};
        EXPECT_EQ(parse_ipv4_address(c.text, address), c.valid) << c.text;
    }
    ipv4_address address{};
    ASSERT_TRUE(parse_ipv4_address("172.31.24.11", address));
    EXPECT_EQ(address, (ipv4_address{172, 31, 24, 11}));
}

}  // namespace
}  // namespace vorlane
