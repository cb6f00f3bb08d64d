#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "stream/nmea_manager.h"
#include "tests/stream/stream_test_support.h"
#include "validation/nmea_validator.h"

namespace vorlane {
namespace {

using test::datagram;
using test::drain;
using test::feed;
using test::with_checksum;

const std::string gll = "$GPGLL,3854.5087,N,07726.4523,W,125108,V,S*5B";
const std::string zda = "$GPZDA,193223.00,23,12,2007,00,00*69";
const std::string gga = "$GPGGA,125110,3854.5087,N,07726.4523,W,8,10,2.0,268.8,M,-33.9,M,,*78";
const std::string gll_wrong_checksum = "$GPGLL,3854.5087,N,07726.4523,W,125108,V,S*5C";
// Address field of eight characters: refused after the "*" has already been cut off in place.
const std::string gga_long_address = with_checksum("$GPGGAX,125110,3854.5087,N");
const std::string tag_block_gll = with_checksum("\\s:VR0001") + "\\" + gll;
// Longest sentence there is: 80 characters without CR LF.
const std::string gsv_80 =
    with_checksum("$GPGSV,3,1,10,03,41,050,46,07,60,317,49,08,34,315,45,11,35,148,45,12,3,4,5,66");
const std::string gsv_81 =
    with_checksum("$GPGSV,3,1,10,03,41,050,46,07,60,317,49,08,34,315,45,11,35,148,45,12,3,4,5,667");

std::vector<std::string> with_crlf(std::vector<std::string> sentences) {
    for (std::string& s : sentences) s += "\r\n";
    return sentences;
}

struct fed_datagram {
    std::int32_t input;
    std::string payload;
    bool checksum_bad = false;
};

struct decoding_case {
    const char* name;
    std::vector<fed_datagram> datagrams;
    std::vector<std::string> output0;
    std::vector<std::string> output1;
};

// Names the row instead of dumping its bytes.
void PrintTo(const decoding_case& c, std::ostream* os) {
    *os << c.name;
}

class DatagramDecoding : public testing::TestWithParam<decoding_case> {};

TEST_P(DatagramDecoding, QueuesTheAcceptedLinesOfEachInputOnItsOwnOutput) {
    const decoding_case& c = GetParam();
    auto manager = test::make_manager();
    for (const fed_datagram& d : c.datagrams) feed(*manager, d.input, d.payload, d.checksum_bad);
    EXPECT_EQ(drain(*manager, 0), with_crlf(c.output0));
    EXPECT_EQ(drain(*manager, 1), with_crlf(c.output1));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DatagramDecoding,
    testing::Values(
        decoding_case{"header_only", {{0, datagram("")}}, {}, {}},
        decoding_case{"gll_and_zda_on_input_0", {{0, datagram(gll + "\r\n" + zda + "\r\n")}}, {gll, zda}, {}},
        decoding_case{"gll_and_zda_on_input_1", {{1, datagram(gll + "\r\n" + zda + "\r\n")}}, {}, {gll, zda}},
        decoding_case{"bad_udp_checksum_drops_valid_sentences",
                      {{0, datagram(gll + "\r\n" + zda + "\r\n"), true}},
                      {},
                      {}},
        decoding_case{"broken_line_dropped_others_kept",
                      {{0, datagram(gll_wrong_checksum + "\r\n" + zda + "\r\n")}},
                      {zda},
                      {}},
        decoding_case{"line_cut_short_by_validator_does_not_harm_the_next",
                      {{0, datagram(gga_long_address + "\r\n" + zda + "\r\n")}},
                      {zda},
                      {}},
        decoding_case{
            "tag_block_line_rejected", {{0, datagram(tag_block_gll + "\r\n" + zda + "\r\n")}}, {zda}, {}},
        decoding_case{"lf_only", {{0, datagram(gll + "\n" + zda + "\n")}}, {gll, zda}, {}},
        decoding_case{"cr_only", {{0, datagram(gll + "\r" + zda + "\r")}}, {gll, zda}, {}},
        decoding_case{"blank_lines_and_leading_separators",
                      {{0, datagram("\r\n\r\n" + gll + "\r\n\n\r\r\n" + zda + "\r\n\r\n")}},
                      {gll, zda},
                      {}},
        decoding_case{"last_line_without_separator", {{0, datagram(gll + "\r\n" + zda)}}, {gll, zda}, {}},
        decoding_case{"nul_ends_the_text",
                      {{0, datagram(gll + "\r\n" + std::string(1, '\0') + zda + "\r\n")}},
                      {gll},
                      {}},
        decoding_case{"eighty_characters_pass_whole", {{0, datagram(gsv_80 + "\r\n")}}, {gsv_80}, {}},
        decoding_case{"eighty_one_characters_rejected", {{0, datagram(gsv_81 + "\r\n" + zda)}}, {zda}, {}},
        decoding_case{"input_out_of_range_ignored",
                      {{2, datagram(gll + "\r\n")}, {-1, datagram(zda + "\r\n")}},
                      {},
                      {}},
        decoding_case{"streams_stay_apart",
                      {{0, datagram(gll + "\r\n")}, {1, datagram(zda + "\r\n")}, {0, datagram(gga + "\r\n")}},
                      {gll, gga},
                      {zda}},
        decoding_case{
            "lines_of_two_datagrams_never_join",
            {{0, datagram(zda + "\r\n" + gll.substr(0, 20))}, {0, datagram(gll.substr(20) + "\r\n")}},
            {zda},
            {}}),
    [](const testing::TestParamInfo<decoding_case>& row) { return row.param.name; });

TEST(DatagramChecks, LengthBelowTheHeaderDropsTheDatagram) {
    auto manager = test::make_manager();
    for (const std::int32_t length : {7, 0, -1}) {
        std::string payload = datagram(gll + "\r\n");
        manager->process_datagram(0, 0, reinterpret_cast<std::uint8_t*>(payload.data()), length, false);
    }
    manager->process_datagram(0, 0, nullptr, 100, false);
    EXPECT_FALSE(manager->has_output(0));
}

TEST(DatagramChecks, TextEndsAtTheLengthEvenWithoutANulThere) {
    auto manager = test::make_manager();
    std::string payload = datagram(gll + "\r\n" + zda + "\r\n");
    const auto length = static_cast<std::int32_t>(datagram(gll + "\r\n").size());
    manager->process_datagram(0, 0, reinterpret_cast<std::uint8_t*>(payload.data()), length, false);
    EXPECT_EQ(drain(*manager, 0), with_crlf({gll}));
}

TEST(DatagramChecks, SourceNumberIsTheDestination) {
    auto manager = test::make_manager();
    std::string payload = datagram(gll + "\r\n");
    const auto length = static_cast<std::int32_t>(payload.size());
    for (const std::int32_t source : {1, 2, -1}) {
        std::string copy = payload;
        manager->process_datagram(0, source, reinterpret_cast<std::uint8_t*>(copy.data()), length, false);
    }
    EXPECT_TRUE(drain(*manager, 0).empty());
    EXPECT_EQ(drain(*manager, 1), with_crlf({gll}));
}

// Real traffic through both inputs: whatever comes out of output k is a line that input k
// delivered, ends in CR LF and is a sentence the validator accepts.
TEST(DatagramDecodingCorpus, RealTrafficStaysOnItsOwnOutputAndIsValid) {
    std::ifstream corpus(VORLANE_SHARED_CORPUS);
    if (!corpus) GTEST_SKIP() << "real sentence corpus not found at " << VORLANE_SHARED_CORPUS;
    std::vector<std::string> lines;
    for (std::string line; std::getline(corpus, line);) lines.push_back(line);

    auto manager = test::make_manager();
    std::set<std::string> sent[output_count];
    std::size_t taken = 0;
    constexpr std::size_t lines_per_datagram = 20;
    for (std::size_t first = 0; first < lines.size(); first += lines_per_datagram) {
        const std::int32_t input = static_cast<std::int32_t>(first / lines_per_datagram % output_count);
        std::string text;
        for (std::size_t i = first; i < std::min(lines.size(), first + lines_per_datagram); ++i) {
            text += lines[i] + "\r\n";
            sent[input].insert(lines[i] + "\r\n");
        }
        feed(*manager, input, datagram(text));
        for (std::int32_t output = 0; output < output_count; ++output) {
            for (const std::string& line : drain(*manager, output)) {
                ++taken;
                ASSERT_TRUE(sent[output].contains(line)) << "output " << output << " sent " << line;
                std::string sentence = line.substr(0, line.size() - 2);
                nmea_sentence_info info;
                nmea_error_counts counts;
                EXPECT_TRUE(nmea_validate_sentence(sentence.c_str(), sentence.data(), info, counts)) << line;
            }
        }
    }
    EXPECT_GT(taken, lines.size() / 4) << "most real sentences of listed formatters should pass";
}

}  // namespace
}  // namespace vorlane
