#include "config/config_manager.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "config/text_file.h"
#include "tests/support/temp_dir.h"

namespace vorlane {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::write_file;

constexpr const char* default_file =
    "[Vorlane]\n"
    "input_ip=0.0.0.0\n"
    "output_ip=0.0.0.0\n"
    "first_output_port=14001\n"
    "max_log_lines=1024\n"
    "locked=0\n"
    "[QXInput]\n"
    "input_0_port=10021\n"
    "input_0_src_ip=172.31.24.10\n"
    "input_0_dest_ip=172.31.24.1\n"
    "input_1_port=10021\n"
    "input_1_src_ip=172.31.24.11\n"
    "input_1_dest_ip=172.31.24.1\n";

config_manager defaults() {
    config_manager config;
    set_defaults(config);
    return config;
}

void expect_same(const config_manager& got, const config_manager& want) {
    EXPECT_EQ(got.input_ip, want.input_ip);
    EXPECT_EQ(got.output_ip, want.output_ip);
    EXPECT_EQ(got.max_log_lines, want.max_log_lines);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(got.output_port[i], want.output_port[i]) << "output " << i;
        EXPECT_EQ(got.input_src_ip[i], want.input_src_ip[i]) << "input " << i;
        EXPECT_EQ(got.input_dest_ip[i], want.input_dest_ip[i]) << "input " << i;
        EXPECT_EQ(got.input_port[i], want.input_port[i]) << "input " << i;
        EXPECT_EQ(got.input_format[i], want.input_format[i]) << "input " << i;
        EXPECT_EQ(got.input_sources[i], want.input_sources[i]) << "input " << i;
        EXPECT_EQ(got.input_src_mac[i], want.input_src_mac[i]) << "input " << i;
        EXPECT_EQ(got.input_editions[i], want.input_editions[i]) << "input " << i;
    }
    EXPECT_EQ(got.locked, want.locked);
    EXPECT_EQ(got.status_ip, want.status_ip);
    EXPECT_EQ(got.status_port, want.status_port);
    EXPECT_EQ(got.max_clients_per_host, want.max_clients_per_host);
    EXPECT_EQ(got.max_clients_per_port, want.max_clients_per_port);
    EXPECT_EQ(got.last_error, want.last_error);
}

TEST(ConfigStore, FreshFileHoldsExactlyTheDefaultLinesAndReadsBack) {
    test::temp_dir dir;
    config_manager config = defaults();
    ASSERT_TRUE(write_config(config, dir / config_file_name));
    EXPECT_EQ(read_file(dir / config_file_name), default_file);

    config_manager reread;
    ASSERT_TRUE(read_config(reread, dir / config_file_name));
    expect_same(reread, defaults());
}

TEST(ConfigStore, EveryFieldSurvivesARoundTrip) {
    test::temp_dir dir;
    config_manager config = defaults();
    config.input_ip = "192.168.1.5";
    config.output_ip = "";
    config.max_log_lines = 77;
    config.output_port[0] = 15000;
    config.output_port[1] = 15001;
    config.input_src_ip[0] = "10.1.1.10";
    config.input_src_ip[1] = "10.1.1.11";
    config.input_dest_ip[0] = "239.192.0.1";
    config.input_dest_ip[1] = "239.192.0.2";
    config.input_port[0] = 60001;
    config.input_port[1] = -1;
    config.locked = true;
    config.max_clients_per_host = 4;
    config.max_clients_per_port = 40;
    ASSERT_TRUE(write_config(config, dir / config_file_name));
    config_manager reread = defaults();
    ASSERT_TRUE(read_config(reread, dir / config_file_name));
    expect_same(reread, config);
}

// Also: a stored lock value of 2 reads as locked and is written back as 1.
TEST(ConfigStore, RewriteKeepsForeignLinesAndChangesOnlyItsValues) {
    test::temp_dir dir;
    write_file(dir / config_file_name,
               "; installed by the yard\r\n"
               "[vorlane]\r\n"
               "Input_IP = 10.0.0.1\r\n"
               "colour=night\r\n"
               "locked=2\r\n"
               "\r\n"
               "[Display]\r\n"
               "brightness=3\r\n"
               "[QXINPUT]\r\n"
               "input_1_port=10022\r\n");
    config_manager config = defaults();
    ASSERT_TRUE(read_config(config, dir / config_file_name));
    EXPECT_EQ(config.input_ip, "10.0.0.1");
    EXPECT_TRUE(config.locked);
    EXPECT_EQ(config.input_port[1], 10022);

    ASSERT_TRUE(write_config(config, dir / config_file_name));
    EXPECT_EQ(read_file(dir / config_file_name),
              "; installed by the yard\r\n"
              "[vorlane]\r\n"
              "Input_IP = 10.0.0.1\r\n"
              "colour=night\r\n"
              "locked=1\r\n"
              "output_ip=0.0.0.0\r\n"
              "first_output_port=14001\r\n"
              "max_log_lines=1024\r\n"
              "\r\n"
              "[Display]\r\n"
              "brightness=3\r\n"
              "[QXINPUT]\r\n"
              "input_1_port=10022\r\n"
              "input_0_port=10021\r\n"
              "input_0_src_ip=172.31.24.10\r\n"
              "input_0_dest_ip=172.31.24.1\r\n"
              "input_1_src_ip=172.31.24.11\r\n"
              "input_1_dest_ip=172.31.24.1\r\n");
}

// A file of 8-byte-header boxes must stay as it was; once a box sends standard datagrams the key
// is written, and it stays when the box goes back.
TEST(ConfigStore, DatagramFormatKeysAppearOnceTheyDiffer) {
    test::temp_dir dir;
    config_manager config = defaults();
    config.input_format[1] = "iec450";
    ASSERT_TRUE(write_config(config, dir / config_file_name));
    config.input_format[1] = "header8";
    ASSERT_TRUE(write_config(config, dir / config_file_name));
    EXPECT_EQ(read_file(dir / config_file_name), std::string(default_file) + "input_1_format=header8\n");
}

// Turning the status listener off, or moving it, writes its keys; an untouched file gets none.
TEST(ConfigStore, StatusListenerKeysAppearOnceTheyDiffer) {
    test::temp_dir dir;
    config_manager config = defaults();
    config.status_port = 0;
    ASSERT_TRUE(write_config(config, dir / config_file_name));
    config.status_port = default_status_port;
    config.status_ip = "10.1.2.3";
    ASSERT_TRUE(write_config(config, dir / config_file_name));
    config_manager read_back = defaults();
    ASSERT_TRUE(read_config(read_back, dir / config_file_name));
    expect_same(read_back, config);
    const std::string text = read_file(dir / config_file_name);
    EXPECT_NE(text.find("status_port=14080\nstatus_ip=10.1.2.3\n[QXInput]"), std::string::npos) << text;
}

struct read_case {
    const char* name;
    const char* file;
    std::function<void(config_manager&)> expected_change;
};

void PrintTo(const read_case& c, std::ostream* os) {
    *os << c.name;
}

class ConfigRead : public testing::TestWithParam<read_case> {};

// Reading starts from a record that differs from the defaults, so a key that is missing or
// unusable visibly keeps the earlier value rather than a default. The second output port is
// off on purpose: after any read it follows the first.
TEST_P(ConfigRead, ReadsOverTheCurrentValues) {
    const read_case& c = GetParam();
    test::temp_dir dir;
    write_file(dir / config_file_name, c.file);
    config_manager earlier = defaults();
    earlier.input_ip = "1.1.1.1";
    earlier.max_log_lines = 5;
    earlier.output_port[0] = 16000;
    earlier.output_port[1] = 9;
    earlier.input_src_ip[1] = "2.2.2.2";
    earlier.input_port[0] = 1;
    earlier.locked = true;
    earlier.status_port = 15080;
    config_manager config = earlier;
    ASSERT_TRUE(read_config(config, dir / config_file_name));
    config_manager expected = earlier;
    c.expected_change(expected);
    expected.output_port[1] = expected.output_port[0] + 1;
    expect_same(config, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigRead,
    testing::Values(
        read_case{"empty_file", "", [](config_manager&) {}},
        read_case{"first_port_gives_both", "[Vorlane]\nfirst_output_port=15000\n",
                  [](config_manager& c) { c.output_port[0] = 15000; }},
        read_case{
            "non_numeric_numbers_keep_their_values",
            "[Vorlane]\nfirst_output_port=14OO1\nmax_log_lines=\nlocked=yes\n[QXInput]\ninput_0_port=x\n",
            [](config_manager&) {}},
        read_case{"largest_number_is_no_first_port", "[Vorlane]\nfirst_output_port=2147483647\n",
                  [](config_manager&) {}},
        read_case{"port_zero_is_no_first_port", "[Vorlane]\nfirst_output_port=0\n", [](config_manager&) {}},
        read_case{"last_port_is_no_first_port", "[Vorlane]\nfirst_output_port=65535\n",
                  [](config_manager&) {}},
        read_case{"negative_port_is_no_first_port", "[Vorlane]\nfirst_output_port=-14001\n",
                  [](config_manager&) {}},
        read_case{"highest_first_port", "[Vorlane]\nfirst_output_port=65534\n",
                  [](config_manager& c) { c.output_port[0] = 65534; }},
        read_case{"locked_zero_unlocks", "[Vorlane]\nlocked=0\n",
                  [](config_manager& c) { c.locked = false; }},
        read_case{"empty_address_reads_empty",
                  "[Vorlane]\ninput_ip=\noutput_ip=  \n[QXInput]\ninput_1_src_ip=\n",
                  [](config_manager& c) {
                      c.input_ip = "";
                      c.output_ip = "";
                      c.input_src_ip[1] = "";
                  }},
        read_case{"keys_in_the_wrong_section_are_not_read",
                  "[QXInput]\ninput_ip=9.9.9.9\n[Vorlane]\ninput_0_port=7\n", [](config_manager&) {}},
        read_case{"datagram_format_read_as_written_and_judged_where_used",
                  "[QXInput]\ninput_1_format=iec-450\ninput_1_sources=GP0001\n",
                  [](config_manager& c) {
                      c.input_format[1] = "iec-450";
                      c.input_sources[1] = "GP0001";
                  }},
        read_case{"sender_address_read_as_written_and_judged_where_used",
                  "[QXInput]\ninput_0_src_mac=00:1B:21:3a:4f:1\n",
                  [](config_manager& c) { c.input_src_mac[0] = "00:1B:21:3a:4f:1"; }},
        read_case{"editions_read_as_written_and_judged_where_used", "[QXInput]\ninput_1_editions=All\n",
                  [](config_manager& c) { c.input_editions[1] = "All"; }},
        read_case{"status_port_zero_turns_the_listener_off", "[Vorlane]\nstatus_ip=0.0.0.0\nstatus_port=0\n",
                  [](config_manager& c) {
                      c.status_ip = "0.0.0.0";
                      c.status_port = 0;
                  }},
        read_case{"status_port_beyond_65535_keeps_its_value", "[Vorlane]\nstatus_port=65536\n",
                  [](config_manager&) {}},
        read_case{"client_cap_of_zero_would_refuse_everyone_and_keeps_its_value",
                  "[Vorlane]\nmax_clients_per_host=2\nmax_clients_per_port=0\n",
                  [](config_manager& c) { c.max_clients_per_host = 2; }},
        read_case{"negative_and_signed_numbers",
                  "[vorlane]\nMAX_LOG_LINES=-3\n[qxinput]\ninput_0_port=+10030\n",
                  [](config_manager& c) {
                      c.max_log_lines = -3;
                      c.input_port[0] = 10030;
                  }}),
    [](const auto& row) { return row.param.name; });

TEST(ConfigStore, MissingFileIsNoFailureAndKeepsEveryValue) {
    test::temp_dir dir;
    config_manager config = defaults();
    config.input_ip = "1.2.3.4";
    const config_manager before = config;
    EXPECT_TRUE(read_config(config, dir / config_file_name));
    expect_same(config, before);
    EXPECT_FALSE(fs::exists(dir / config_file_name));
}

TEST(ConfigStore, FailuresLeaveTheirMessageForOneTake) {
    test::temp_dir dir;
    fs::create_directory(dir / "dir_in_place_of_file");
    config_manager config = defaults();
    const config_manager before = config;

    EXPECT_FALSE(read_config(config, dir / "dir_in_place_of_file"));
    EXPECT_EQ(take_error(config), "Error QXE-612: Failed to read config file");
    EXPECT_EQ(take_error(config), "");
    expect_same(config, before);

    EXPECT_FALSE(write_config(config, dir / "dir_in_place_of_file"));
    EXPECT_EQ(take_error(config), "Error QXE-609: Failed to write config file");
    EXPECT_EQ(take_error(config), "");

    EXPECT_FALSE(write_config(config, dir / "no_such_dir" / config_file_name));
    EXPECT_EQ(take_error(config), "Error QXE-610: std::system_error");
    EXPECT_EQ(take_error(config), "");

    set_defaults(config);
    config.last_error = "stale";
    set_defaults(config);
    EXPECT_EQ(config.last_error, "");
}

TEST(ConfigStore, FailedWriteLeavesTheOldFileWhole) {
    test::temp_dir dir;
    const fs::path file = dir / config_file_name;
    write_file(file, "[Vorlane]\ninput_ip=10.0.0.1\n");

    config_manager config = defaults();
    config.input_ip = "10.0.0.2\n[Vorlane]\nlocked=0";
    EXPECT_FALSE(write_config(config, file));
    EXPECT_EQ(take_error(config), "Error QXE-610: std::invalid_argument");

    config.input_ip = "10.0.0.2";
    fs::create_directory(replacement_file_name(file));
    EXPECT_FALSE(write_config(config, file));
    EXPECT_EQ(take_error(config), "Error QXE-610: std::system_error");
    EXPECT_EQ(read_file(file), "[Vorlane]\ninput_ip=10.0.0.1\n");
}

TEST(ConfigStore, SettingsFileOverOneMegabyteIsRefusedAndNamed) {
    test::temp_dir dir;
    const fs::path file = dir / config_file_name;
    write_file(file, "[Vorlane]\ninput_ip=10.0.0.1\n;" + std::string(1024 * 1024, 'x') + "\n");
    config_manager config = defaults();
    EXPECT_FALSE(read_config(config, file));
    EXPECT_EQ(config.input_ip, "0.0.0.0");
    const std::string error = take_error(config);
    EXPECT_NE(error.find(file.string()), std::string::npos) << error;
    EXPECT_NE(error.find("larger than 1048576 bytes"), std::string::npos) << error;
}

}  // namespace
}  // namespace vorlane
