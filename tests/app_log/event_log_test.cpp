#include "controller/event_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/text_file.h"
#include "tests/support/scratch_mounts.h"
#include "tests/support/temp_dir.h"

namespace vorlane {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::write_file;

std::tm at(int year, int month, int day, int hour, int minute) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = 59;
    return time;
}

// Every line written in these tests carries this stamp.
constexpr const char* stamp = "06.12.26 16:38 ";

struct recording_display : status_display {
    void show_status(const std::string& text) override {
        shown.push_back(text);
        if (text == fail_on_show) throw std::runtime_error("display");
    }
    void refresh_log_viewer() override {
        ++refreshes;
        if (fail_refresh) throw std::logic_error("viewer");
    }
    std::vector<std::string> shown;
    int refreshes = 0;
    bool fail_refresh = false;
    std::string fail_on_show;
};

struct EventLog : testing::Test {
    EventLog() { set_defaults(config); }
    event_log make_log(const fs::path& file) {
        return event_log(file, config, display, [] { return at(2026, 12, 6, 16, 38); });
    }
    fs::path file() const { return dir / event_log_file_name; }

    test::temp_dir dir;
    config_manager config;
    recording_display display;
};

TEST(EventLogFormat, TimeStampIsDayMonthYearHourMinute) {
    EXPECT_EQ(log_time_stamp(at(2026, 12, 6, 16, 38)), "06.12.26 16:38");
    EXPECT_EQ(log_time_stamp(at(2000, 1, 1, 0, 0)), "01.01.00 00:00");
    EXPECT_EQ(log_time_stamp(at(1999, 12, 31, 23, 59)), "31.12.99 23:59");
    EXPECT_EQ(log_time_stamp(at(2107, 7, 9, 9, 5)), "09.07.07 09:05");
}

TEST(EventLogFormat, CaptionsOfStatusLineAndMonitorPanel) {
    EXPECT_EQ(status_panel_caption("Ready"), " Ready");
    EXPECT_EQ(monitor_status_caption("Ready"), " Status:  Ready");
}

TEST_F(EventLog, LoggedTextsAreAppendedStatusTextsOnlyShown) {
    event_log log = make_log(file());
    EXPECT_EQ(log.get_log_file_name(), file());
    log.update_status("Ready", false);
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_EQ(display.refreshes, 0);

    log.update_status("Kestav Translator starting...", true);
    log.update_status("Active", false);
    log.update_status("Error QXE-110: std::bad_alloc", true);
    EXPECT_EQ(read_file(file()), std::string(stamp) + "Kestav Translator starting...\n" + stamp +
                                     "Error QXE-110: std::bad_alloc\n");
    EXPECT_EQ(display.shown, (std::vector<std::string>{"Ready", "Kestav Translator starting...", "Active",
                                                       "Error QXE-110: std::bad_alloc"}));
    EXPECT_EQ(display.refreshes, 2);
}

TEST_F(EventLog, UnwritableLogLosesTheLineButKeepsTheStatusLine) {
    fs::create_directory(file());
    for (const fs::path& unwritable : {file(), dir / "no_dir" / event_log_file_name}) {
        event_log log = make_log(unwritable);
        display.shown.clear();
        log.update_status("Configuration locked", true);
        EXPECT_EQ(display.shown, std::vector<std::string>{"Configuration locked"}) << unwritable;
    }
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_FALSE(fs::exists(dir / "no_dir"));
}

TEST_F(EventLog, ControlBytesOfAQuotedValueCannotForgeALineOrReachATerminal) {
    event_log log = make_log(file());
    log.update_status("Error QXE-615: input_0_format=$(id)\x1b[2J\n06.12.26 16:38 forged\a", true);
    const std::string shown = "Error QXE-615: input_0_format=$(id).[2J.06.12.26 16:38 forged.";
    EXPECT_EQ(read_file(file()), stamp + shown + "\n");
    EXPECT_EQ(display.shown, std::vector<std::string>{shown});
}

TEST_F(EventLog, LinkedLogInAFolderOthersCanWriteIsRefusedOnceOnTheStatusLine) {
    fs::permissions(dir.path(), fs::perms(01777));
    write_file(dir / "startup_file", "root's\n");
    fs::create_symlink(dir / "startup_file", file());
    event_log log = make_log(file());
    log.update_status("Config loaded", true);
    log.update_status("Ready", true);
    EXPECT_EQ(read_file(dir / "startup_file"), "root's\n");
    ASSERT_EQ(display.shown.size(), 3u);
    EXPECT_EQ(display.shown[0], "Config loaded");
    EXPECT_NE(display.shown[1].find("symbolic link"), std::string::npos) << display.shown[1];
    EXPECT_EQ(display.shown[2], "Ready");

    fs::remove(file());
    log.update_status("Active", true);
    EXPECT_EQ(read_file(file()), std::string(stamp) + "Active\n");
}

TEST_F(EventLog, HugeLogOfOneLineIsShortenedReadingOnlyItsEnd) {
    // 4 GB without a line break, sparse: counted as one line, it would never be shortened, and
    // read whole it would take gigabytes.
    {
        const int fd = ::open(file().c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{4} << 30), 0);
        ::close(fd);
    }
    event_log log = make_log(file());
    EXPECT_TRUE(log.shorten_log_file());
    EXPECT_EQ(read_file(file()), std::string(stamp) + "Log file shortened to 512 lines\n");
}

TEST_F(EventLog, OverlongLinesAreCutWhenKept) {
    config.max_log_lines = 4;
    write_file(file(), "a\nb\n" + std::string(5000, 'x') + "\nd\n");
    event_log log = make_log(file());
    EXPECT_TRUE(log.shorten_log_file());
    EXPECT_EQ(read_file(file()),
              std::string(4096, 'x') + "\nd\n" + stamp + "Log file shortened to 2 lines\n");
}

TEST_F(EventLog, FailingViewerIsReportedOnTheStatusLineOnly) {
    event_log log = make_log(file());
    display.fail_refresh = true;
    log.update_status("Input connected", true);
    EXPECT_EQ(display.shown,
              (std::vector<std::string>{"Input connected", "Error QXE-500: std::logic_error"}));
    EXPECT_EQ(read_file(file()), std::string(stamp) + "Input connected\n");
}

std::string numbered_lines(int first, int count) {
    std::string text;
    for (int i = first; i < first + count; ++i) text += "line " + std::to_string(i) + "\n";
    return text;
}

struct shorten_case {
    const char* name;
    std::int32_t limit;
    int lines;
    int kept;  // -1: the file stays as it was
};

void PrintTo(const shorten_case& c, std::ostream* os) {
    *os << c.name;
}

class EventLogShortening : public EventLog, public testing::WithParamInterface<shorten_case> {};

TEST_P(EventLogShortening, KeepsTheNewestHalfOfTheLimit) {
    const shorten_case& c = GetParam();
    const std::string before = numbered_lines(1, c.lines);
    write_file(file(), before);
    config.max_log_lines = c.limit;
    event_log log = make_log(file());

    EXPECT_TRUE(log.shorten_log_file());
    if (c.kept < 0) {
        EXPECT_EQ(read_file(file()), before);
        EXPECT_TRUE(display.shown.empty());
        return;
    }
    const std::string message = "Log file shortened to " + std::to_string(c.kept) + " lines";
    EXPECT_EQ(read_file(file()), numbered_lines(c.lines - c.kept + 1, c.kept) + stamp + message + "\n");
    EXPECT_EQ(display.shown, std::vector<std::string>{message});
}

INSTANTIATE_TEST_SUITE_P(Cases, EventLogShortening,
                         testing::Values(shorten_case{"one_below_the_limit_stays", 1024, 1023, -1},
                                         shorten_case{"at_the_limit_is_shortened", 1024, 1024, 512},
                                         shorten_case{"above_the_limit", 1024, 3000, 512},
                                         shorten_case{"odd_limit_truncates", 1025, 1025, 512},
                                         shorten_case{"limit_one_empties", 1, 1, 0},
                                         shorten_case{"limit_one_empty_file_stays", 1, 0, -1},
                                         shorten_case{"limit_zero_empties", 0, 7, 0},
                                         shorten_case{"limit_zero_even_empty_file", 0, 0, 0},
                                         shorten_case{"negative_limit_like_zero", -8, 3, 0},
                                         shorten_case{"small_limit", 4, 9, 2}),
                         [](const auto& row) { return row.param.name; });

TEST_F(EventLog, ShorteningCountsAnUnfinishedLastLineAndUsesTheCurrentLimit) {
    write_file(file(), "a\nb\nc\nd");
    event_log log = make_log(file());
    EXPECT_TRUE(log.shorten_log_file());  // default limit 1024
    config.max_log_lines = 4;
    EXPECT_TRUE(log.shorten_log_file());
    EXPECT_EQ(read_file(file()), std::string("c\nd\n") + stamp + "Log file shortened to 2 lines\n");
}

TEST_F(EventLog, MissingLogIsInOrder) {
    event_log log = make_log(file());
    EXPECT_TRUE(log.shorten_log_file());
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_TRUE(display.shown.empty());
}

TEST_F(EventLog, UnreadableLogIsReportedAndLeftAlone) {
    fs::create_directory(file());
    event_log log = make_log(file());
    EXPECT_FALSE(log.shorten_log_file());
    EXPECT_EQ(display.shown, std::vector<std::string>{"Error QXE-504: std::system_error"});
    EXPECT_TRUE(fs::is_directory(file()));
}

TEST_F(EventLog, UnwritableShortenedLogKeepsTheOldLinesAndLogsTheFailure) {
    const std::string before = numbered_lines(1, 6);
    write_file(file(), before);
    fs::create_directory(replacement_file_name(file()));
    config.max_log_lines = 4;
    event_log log = make_log(file());
    EXPECT_FALSE(log.shorten_log_file());
    EXPECT_EQ(display.shown, std::vector<std::string>{"Error QXE-505: std::system_error"});
    EXPECT_EQ(read_file(file()), before + stamp + "Error QXE-505: std::system_error\n");
}

TEST_F(EventLog, OtherFailureWhileShorteningIsReported) {
    write_file(file(), numbered_lines(1, 4));
    config.max_log_lines = 4;
    display.fail_on_show = "Log file shortened to 2 lines";
    event_log log = make_log(file());
    EXPECT_FALSE(log.shorten_log_file());
    EXPECT_EQ(display.shown.back(), "Error QXE-501: std::runtime_error");
}

TEST_F(EventLog, UnfinishedLastLineIsDroppedWhenNothingIsKept) {
    write_file(file(), "a\nb");
    config.max_log_lines = 1;
    event_log log = make_log(file());
    EXPECT_TRUE(log.shorten_log_file());
    EXPECT_EQ(read_file(file()), std::string(stamp) + "Log file shortened to 0 lines\n");
}

TEST_F(EventLog, NextLineStartsOnALineOfItsOwnAfterACutShortOne) {
    write_file(file(), "cut sho");
    event_log log = make_log(file());
    log.update_status("Input connected", true);
    EXPECT_EQ(read_file(file()), std::string("cut sho\n") + stamp + "Input connected\n");
}

TEST_F(EventLog, FullDiskLeavesNoFragmentBehind) {
    if (const std::string reason = test::scratch_mounts::unavailable_reason(); !reason.empty())
        GTEST_SKIP() << reason;
    test::scratch_mounts mounts;
    ASSERT_TRUE(mounts.tmpfs(dir / "disk", "64k"));
    const fs::path log_file = dir / "disk" / event_log_file_name;
    write_file(log_file, "old line\n");
    const fs::path filler = dir / "disk" / "filler";
    {
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }
    event_log log = make_log(log_file);
    // Longer than what is left of the log's last block, so part of it is written.
    log.update_status(std::string(6000, 'x'), true);
    EXPECT_EQ(display.shown.back(), "Error QXE-500: std::system_error");
    EXPECT_EQ(read_file(log_file), "old line\n");

    fs::remove(filler);
    log.update_status("Input connected", true);
    EXPECT_EQ(read_file(log_file), std::string("old line\n") + stamp + "Input connected\n");
}

TEST_F(EventLog, LogInADirectoryThatCannotChangeIsShortenedInPlace) {
    const fs::path locked = dir / "locked";
    const fs::path log_file = locked / event_log_file_name;
    test::scratch_mounts mounts;
    if (::geteuid() == 0) {
        // Root writes into any directory: a read-only file system holds the log instead, with
        // the log file itself bound from a writable one.
        write_file(dir / "writable.log", numbered_lines(1, 6));
        ASSERT_TRUE(mounts.tmpfs(locked, "64k"));
        write_file(log_file, "");
        ASSERT_TRUE(mounts.bind(dir / "writable.log", log_file));
        ASSERT_TRUE(mounts.make_read_only(locked));
    } else {
        fs::create_directory(locked);
        write_file(log_file, numbered_lines(1, 6));
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    }
    config.max_log_lines = 4;
    event_log log = make_log(log_file);
    EXPECT_TRUE(log.shorten_log_file());
    EXPECT_EQ(read_file(log_file), numbered_lines(5, 2) + stamp + "Log file shortened to 2 lines\n");
    if (::geteuid() != 0) fs::permissions(locked, fs::perms::owner_all);
}

TEST_F(EventLog, FifoInPlaceOfTheLogNeverBlocks) {
    ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
    event_log log = make_log(file());
    for (const bool reader_waits : {false, true}) {
        const int reader = reader_waits ? ::open(file().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        display.shown.clear();
        log.update_status("Input connected", true);
        EXPECT_EQ(display.shown,
                  (std::vector<std::string>{"Input connected", "Error QXE-500: std::system_error"}))
            << "reader waits: " << reader_waits;
        EXPECT_FALSE(log.shorten_log_file());
        if (reader >= 0) ::close(reader);
    }
}

TEST(EventLogTime, LocalTimeFollowsAChangeOfTimeZone) {
    const auto minute_of_day = [] {
        const std::tm now = current_local_time();
        return now.tm_hour * 60 + now.tm_min;
    };
    ::setenv("TZ", "UTC0", 1);
    const int in_utc = minute_of_day();
    ::setenv("TZ", "XYZ-5", 1);
    const int five_hours_east = minute_of_day();
    ::unsetenv("TZ");
    EXPECT_NEAR((five_hours_east - in_utc + 24 * 60) % (24 * 60), 5 * 60, 1);
}

}  // namespace
}  // namespace vorlane
