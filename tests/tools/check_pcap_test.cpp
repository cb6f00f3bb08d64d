// vorlane-check --pcap on capture files written here: the report, the per-sentence lines and
// what each output would have served, against the golden files in tests/data/check_pcap/;
// standard datagrams read as the settings say; sentence logs whose lines carry TAG blocks.
#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/capture/capture_frames.h"
#include "tests/stream/stream_test_support.h"
#include "tests/support/nmea_text.h"
#include "tests/support/temp_dir.h"

namespace vorlane::test {
namespace {

const std::filesystem::path golden = std::filesystem::path(VORLANE_TEST_DATA) / "check_pcap";

std::string header_and(const std::vector<std::string>& sentences) {
    std::string payload("UdPbC\0\0\0", 8);
    for (const std::string& sentence : sentences) payload += with_checksum(sentence) + "\r\n";
    return payload;
}

// 40 ms apart unless told: the first and the third datagram fall into one 100 ms service.
void write_frames(const std::filesystem::path& file, const std::vector<std::vector<std::uint8_t>>& frames,
                  long apart_us = 40'000, long first_us = 0) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    pcap_dumper_t* dumper = pcap_dump_open(dead, file.c_str());
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const long at_us = first_us + apart_us * static_cast<long>(k);
        pcap_pkthdr header{};
        header.ts.tv_sec = 1'800'000'000 + at_us / 1'000'000;
        header.ts.tv_usec = static_cast<suseconds_t>(at_us % 1'000'000);
        header.caplen = header.len = static_cast<bpf_u_int32>(frames[k].size());
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frames[k].data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

// Both junction boxes, tagged and untagged, a first fragment, a wrong UDP checksum and a frame
// from a third source, which the capture filter keeps out of the report altogether.
void write_capture(const std::filesystem::path& file) {
    const std::string gga = "$GPGGA,120000.00,5400.000,N,01000.000,E,1,08,0.9,10.0,M,46.9,M,,";
    const std::string newer_gga = "$GPGGA,120000.50,5400.001,N,01000.000,E,1,08,0.9,10.0,M,46.9,M,,";
    const std::string old_rmc = "$GPRMC,120000.00,A,5400.000,N,01000.000,E,0.0,0.0,010125,,,A";
    const std::string hdt = "$HEHDT,101.5,T";
    std::vector<std::uint8_t> fragment = box_frame(10, header_and({hdt}));
    fragment[20] = 0x20;  // More Fragments
    const std::vector<std::vector<std::uint8_t>> frames = {
        box_frame(10, header_and({gga, old_rmc})),
        with_tags(box_frame(11, header_and({hdt, "$HEHDT,101.5"})), {{0x8100, 100}}),
        box_frame(10, header_and({newer_gga})),
        fragment,
        box_frame(11, header_and({hdt}), udp_checksum_kind::wrong),
        box_frame(12, header_and({hdt})),
        with_tags(box_frame(11, header_and({"$HEHDT,102.0,T"})), {{0x88A8, 200}, {0x8100, 100}}),
    };
    write_frames(file, frames);
}

struct run_result {
    std::string output;
    int status;
};

run_result run_check(const std::filesystem::path& dir, const std::string& arguments) {
    const std::string command = "cd '" + dir.string() + "' && '" VORLANE_CHECK_PATH "' " + arguments;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = ::pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

struct golden_case {
    const char* name;
    const char* arguments;
    const char* expected;
};

class CheckPcap : public testing::TestWithParam<golden_case> {};

TEST_P(CheckPcap, MatchesTheGoldenFile) {
    const temp_dir dir;
    write_capture(dir / "capture.pcap");
    const run_result result = run_check(dir.path(), GetParam().arguments);
    EXPECT_EQ(result.status, 1) << "something was rejected and dropped";
    EXPECT_EQ(result.output, read_file(golden / GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckPcap,
    testing::Values(golden_case{"report", "--pcap capture.pcap", "report.txt"},
                    golden_case{"tsv", "--pcap capture.pcap --tsv", "sentences.tsv"},
                    golden_case{"second_box_only", "--pcap capture.pcap --sources 172.31.24.99,172.31.24.11",
                                "second_box_only.txt"}),
    [](const testing::TestParamInfo<golden_case>& row) { return row.param.name; });

TEST(CheckPcapServed, EachOutputCarriesItsBoxsAcceptedSentences) {
    const temp_dir dir;
    write_capture(dir / "capture.pcap");
    std::filesystem::create_directory(dir / "served");
    ASSERT_EQ(run_check(dir.path(), "--pcap capture.pcap --served served > /dev/null").status, 1);
    for (const char* output : {"output1.txt", "output2.txt"})
        EXPECT_EQ(read_file(dir / "served" / output), read_file(golden / output)) << output;
}

TEST(CheckPcapIec450, TakesEachBoxsFormatAndSourcesFromTheSettings) {
    const temp_dir dir;
    const std::string token("UdPbC\0", 6);
    const std::string hdt = with_checksum("$HEHDT,101.5,T") + "\r\n";
    const auto from = [&](const std::string& source) { return with_checksum("\\s:" + source) + "\\" + hdt; };
    write_frames(dir / "capture.pcap",
                 {box_frame(10, token + from("GP0001") + from("HE0001")),
                  box_frame(11, std::string("RaUdP\0\x01\x02", 8)), box_frame(11, token + from("GP0002"))});
    std::ofstream(dir / "Vorlane.ini") << "[QXInput]\ninput_0_format=iec450\ninput_1_format=iec450\n"
                                       << "input_0_sources=GP0001\n";
    const run_result result = run_check(dir.path(), "--pcap capture.pcap --ini Vorlane.ini");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output,
              "capture.pcap:frame 1 datagram 1: dropped: source not listed\n"
              "capture.pcap:frame 2 datagram 2: dropped: binary file transfer\n"
              "formatter    accepted   rejected\n"
              "HDT                 2          0\n"
              "total               2          0\n"
              "\n"
              "     count  reason\n"
              "         1  binary file transfer\n"
              "         1  source not listed\n");
}

// An old sensor's layout passes on the box whose settings ask for every edition, or on every box
// with --editions all, and the summary names the formatter.
TEST(CheckPcapEditions, TakesEachBoxsEditionsFromTheSettingsOrTheOption) {
    const temp_dir dir;
    const std::string rmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W,A";
    write_frames(dir / "capture.pcap", {box_frame(10, header_and({rmc})), box_frame(11, header_and({rmc}))});
    std::ofstream(dir / "Vorlane.ini") << "[QXInput]\ninput_0_editions=all\n";
    const std::string earlier = "\n     count  accepted in an earlier layout\n";
    const run_result from_settings = run_check(dir.path(), "--pcap capture.pcap --ini Vorlane.ini");
    EXPECT_EQ(from_settings.status, 1);
    EXPECT_NE(from_settings.output.find("RMC                 1          1\n"), std::string::npos)
        << from_settings.output;
    EXPECT_NE(from_settings.output.find(earlier + "         1  RMC\n"), std::string::npos)
        << from_settings.output;
    const run_result from_option =
        run_check(dir.path(), "--pcap capture.pcap --ini Vorlane.ini --editions all");
    EXPECT_EQ(from_option.status, 0);
    EXPECT_NE(from_option.output.find(earlier + "         2  RMC\n"), std::string::npos)
        << from_option.output;
}

// What an iec450 UDP output sends is valid iec450 input: a capture of it, lines and groups over
// several datagrams, passes the checker with nothing rejected or dropped.
TEST(CheckPcapIec450, TakesEverythingAnIec450OutputSends) {
    auto gateway = make_manager();
    gateway->set_input_format(0, datagram_format::iec450);
    const std::string token("UdPbC\0", 6);
    for (int k = 0; k < 90; ++k) {
        const std::string id = std::to_string(k);
        feed(*gateway, 0,
             token + with_checksum("$GPWPL,4917.16,N,12310.64,W,WP" + id) + "\r\n" +
                 with_tag_block("s:AI0001,g:1-2-" + id) + vdm_1 + "\r\n" + with_tag_block("g:2-2-" + id) +
                 vdm_2 + "\r\n");
    }
    datagram_packer packer;
    packer.set_format(udp_format::iec450, "VR0001");
    std::vector<std::vector<std::uint8_t>> frames;
    for (const std::string& datagram : take_datagrams(*gateway, packer).datagrams)
        frames.push_back(box_frame(10, datagram));
    ASSERT_GT(frames.size(), 5u);

    const temp_dir dir;
    write_frames(dir / "capture.pcap", frames);
    const run_result result = run_check(dir.path(), "--pcap capture.pcap --format iec450");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output,
              "formatter    accepted   rejected\n"
              "VDM               180          0\n"
              "WPL                90          0\n"
              "total             270          0\n");
}

// The checker takes the gateway's path: a second sender for a box is dropped frame by frame and
// named once, as the gateway's status line would name it.
// A host that sends with a junction box's IP address before the box does is not taken for the
// box: nothing is dropped while neither has sent alone for long, and both senders are named.
TEST(CheckPcapSender, AHostSendingFirstAsABoxIsNamedAndTheBoxIsServed) {
    const temp_dir dir;
    const auto sent_by = [](std::uint8_t sender, const std::string& heading) {
        std::vector<std::uint8_t> frame = box_frame(10, header_and({heading}));
        frame[11] = sender;
        return frame;
    };
    write_frames(dir / "capture.pcap", {sent_by(0x66, "$HEHDT,091.4,T"), sent_by(0x10, "$HEHDT,271.4,T"),
                                        sent_by(0x10, "$HEHDT,271.5,T"), sent_by(0x10, "$HEHDT,271.6,T")});
    const run_result result = run_check(dir.path(), "--pcap capture.pcap");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output,
              "capture.pcap:frame 2: Error QXE-122: junction box 1 (172.31.24.10): two senders, "
              "00:00:00:00:00:66 and 00:00:00:00:00:10\n"
              "formatter    accepted   rejected\n"
              "HDT                 4          0\n"
              "total               4          0\n");
}

// Two GPS receivers and an AIS transponder on one box, a second apart; the output takes them in
// order of preference, tags what it serves, and moves to the second GPS once the first has been
// silent past the failover time.
TEST(CheckPcapSources, TheOutputServesItsListAsTheSettingsSay) {
    const temp_dir dir;
    const std::string rmc =
        with_checksum("$GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E,A,S");
    const std::string vdm = "!AIVDM,1,1,,A,13aEOK?P00PD2wVMdLDRhgvL289?,0*26";
    const auto from = [](const std::vector<std::pair<const char*, std::string>>& lines) {
        std::string payload("UdPbC\0", 6);
        for (const auto& [source, sentence] : lines)
            payload += with_checksum(std::string("\\s:") + source) + "\\" + sentence + "\r\n";
        return box_frame(10, payload);
    };
    write_frames(dir / "capture.pcap",
                 {from({{"GP0001", rmc}, {"GP0002", rmc}}), from({{"GP0001", rmc}, {"HE0009", rmc}}),
                  from({{"GP0002", rmc}}), from({{"GP0002", rmc}}), from({{"GP0002", rmc}}),
                  from({{"GP0002", rmc}, {"AI0001", vdm}})},
                 1'000'000);
    std::ofstream(dir / "Vorlane.ini") << "[QXInput]\ninput_0_format=iec450\n"
                                       << "output_0_sources=GP0001,GP0002,AI0001\noutput_0_tags=s,c\n";
    const run_result result = run_check(dir.path(), "--pcap capture.pcap --ini Vorlane.ini --served served");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, read_file(golden / "sources.txt"));
    EXPECT_EQ(read_file(dir / "served" / "output1.txt"), read_file(golden / "sources" / "output1.txt"));
}

// The same header8 traffic on two LANs, LAN B's 5 ms later and from a PRP node with its
// trailer: an alarm the box repeats is served twice, every other copy once, and the datagram
// that only LAN B brought (LAN A cut) is served.
TEST(CheckPcapTwoLans, ServesEachDatagramOnceAndWhatOnlyOneLanBrought) {
    const temp_dir dir;
    const std::vector<std::uint8_t> trailer{0x00, 0x01, 0xB0, 0x28, 0x88, 0xFB};
    const auto prp = [&](std::vector<std::uint8_t> frame) {
        frame.insert(frame.end(), trailer.begin(), trailer.end());
        return frame;
    };
    const std::vector<std::uint8_t> heading =
        box_frame(10, header_and({"$RAALR,220516,001,A,A,Bilge pump alarm1"}));
    const std::vector<std::uint8_t> second_box = box_frame(11, header_and({"$HEHDT,270.0,T"}));
    const std::vector<std::uint8_t> after_the_cut = box_frame(10, header_and({"$HEHDT,101.7,T"}));
    write_frames(dir / "lan_a.pcap", {heading, heading, second_box});
    write_frames(dir / "lan_b.pcap", {prp(heading), prp(heading), prp(second_box), prp(after_the_cut)},
                 40'000, 5'000);
    const run_result result = run_check(dir.path(), "--pcap lan_a.pcap --pcap-b lan_b.pcap --served served");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, read_file(golden / "two_lans.txt"));
    for (const char* output : {"output1.txt", "output2.txt"})
        EXPECT_EQ(read_file(dir / "served" / output), read_file(golden / "two_lans" / output)) << output;
}

TEST(CheckText, Iec450TakesGoodTagBlocksOffAndRejectsABadOneWithItsReason) {
    const temp_dir dir;
    const std::string hdt = with_checksum("$HEHDT,101.5,T");
    // The second block is the first with n: changed and its checksum left as it was.
    std::ofstream(dir / "lines.txt") << "\\s:GP0001,n:881,c:1683881316755*5D\\" << hdt << "\r\n"
                                     << "\\s:GP0001,n:882,c:1683881316755*5D\\" << hdt << "\r\n"
                                     << hdt << "\r\n";
    const run_result result = run_check(dir.path(), "--format iec450 lines.txt");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output,
              "lines.txt:2: checksum: TAG block checksum does not match its characters\n"
              "formatter    accepted   rejected\n"
              "(none)              0          1\n"
              "HDT                 2          0\n"
              "total               2          1\n"
              "\n"
              "     count  reason\n"
              "         1  TAG block checksum does not match its characters\n");
}

// One sender feeding both junction boxes' inputs, on two ports of one address or to two
// multicast groups: each output carries what was sent to its box's address and port. The
// folder for the served text does not exist beforehand.
struct shared_sender_case {
    const char* name;
    const char* destinations[2];
    int ports[2];
};

void PrintTo(const shared_sender_case& c, std::ostream* os) {
    *os << c.name;
}

class CheckPcapSharedSender : public testing::TestWithParam<shared_sender_case> {};

TEST_P(CheckPcapSharedSender, KeepsTheTwoInputsApart) {
    const shared_sender_case& c = GetParam();
    const auto frame_to = [](const char* destination, int port, const std::string& sentence) {
        udp_packet_spec spec;
        spec.source = {172, 31, 24, 10};
        parse_ipv4_address(destination, spec.destination);
        spec.source_port = 50001;
        spec.destination_port = static_cast<std::uint16_t>(port);
        const std::string payload = header_and({sentence});
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(payload.data());
        return ethernet_frame(build_udp_packet(spec, {bytes, payload.size()}));
    };
    const temp_dir dir;
    write_frames(
        dir / "capture.pcap",
        {frame_to("172.31.24.1", 10021, "$HEHDT,101.5,T"), frame_to("172.31.24.1", 10022, "$HEHDT,202.5,T"),
         frame_to("239.192.0.4", 60004, "$HEHDT,101.5,T"), frame_to("239.192.0.5", 60005, "$HEHDT,202.5,T")});
    std::ofstream ini(dir / "Vorlane.ini");
    ini << "[QXInput]\n";
    for (int box = 0; box < 2; ++box)
        ini << "input_" << box << "_src_ip=172.31.24.10\ninput_" << box << "_dest_ip=" << c.destinations[box]
            << "\ninput_" << box << "_port=" << c.ports[box] << "\n";
    ini.close();
    const run_result result = run_check(dir.path(), "--pcap capture.pcap --ini Vorlane.ini --served served");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, read_file(golden / "shared_sender.txt"));
    for (const char* output : {"output1.txt", "output2.txt"})
        EXPECT_EQ(read_file(dir / "served" / output), read_file(golden / "shared_sender" / output)) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckPcapSharedSender,
    testing::Values(shared_sender_case{"two_ports", {"172.31.24.1", "172.31.24.1"}, {10021, 10022}},
                    shared_sender_case{"two_groups", {"239.192.0.4", "239.192.0.5"}, {60004, 60005}}),
    [](const testing::TestParamInfo<shared_sender_case>& row) { return row.param.name; });

}  // namespace
}  // namespace vorlane::test
