// An output's source list and TAG block fields as the settings give them: what cannot be used is
// named, and the output then serves every line bare, as it did before the settings existed.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "input/stream_input.h"
#include "tests/support/nmea_text.h"

namespace vorlane {
namespace {

struct output_settings_case {
    const char* name;
    const char* format;
    const char* sources;
    const char* tags;
    std::string error;
};

void PrintTo(const output_settings_case& c, std::ostream* os) {
    *os << c.name;
}

class OutputSettings : public testing::TestWithParam<output_settings_case> {};

TEST_P(OutputSettings, ThatCannotBeUsedAreNamedAndLeftOff) {
    const output_settings_case& c = GetParam();
    config_manager config;
    set_defaults(config);
    config.input_format[0] = c.format;
    config.output_sources[0] = c.sources;
    config.output_tags[0] = c.tags;
    const auto manager = std::make_unique<nmea_manager>();
    lan_receivers receivers;
    EXPECT_EQ(apply_input_formats(config, *manager, receivers), std::vector<std::string>{c.error});

    const std::string heading = test::with_checksum("$HEHDT,271.4,T") + "\r\n";
    // A source neither list names: with the list left off it is served all the same.
    std::string payload = c.format == std::string("iec450")
                              ? std::string("UdPbC\0", 6) + test::with_tag_block("s:HE0009") + heading
                              : std::string("UdPbC\0\0\0", 8) + heading;
    manager->process_datagram(0, 0, reinterpret_cast<std::uint8_t*>(payload.data()),
                              static_cast<std::int32_t>(payload.size()), false);
    std::string batch(batch_capacity + 1, '\0');
    std::int32_t length = batch_capacity;
    ASSERT_TRUE(manager->take_output(0, batch.data(), length));
    EXPECT_EQ(batch.substr(0, static_cast<std::size_t>(length)), heading) << "served bare, unselected";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputSettings,
    testing::Values(
        output_settings_case{
            "list_on_header8", "header8", "HE0001", "",
            "Error QXE-630: Source list \"HE0001\" of output 1 needs iec450 datagrams, whose lines "
            "name their source; VDR Junction box 1 sends header8, so every line is served"},
        output_settings_case{"malformed_list", "iec450", "HE0001,,HE0002", "",
                             "Error QXE-616: Source list \"HE0001,,HE0002\" of output 1 is not up to 16 "
                             "identifiers of 1 to 15 letters and digits separated by commas"},
        output_settings_case{
            "unknown_tag_field", "iec450", "", "s,n",
            "Error QXE-631: TAG block fields \"s,n\" of output 1 are not s, c or s,c; its lines "
            "are served without TAG blocks"},
        output_settings_case{
            "tag_field_twice", "iec450", "", "c,c",
            "Error QXE-631: TAG block fields \"c,c\" of output 1 are not s, c or s,c; its lines "
            "are served without TAG blocks"}),
    [](const testing::TestParamInfo<output_settings_case>& row) { return row.param.name; });

}  // namespace
}  // namespace vorlane
