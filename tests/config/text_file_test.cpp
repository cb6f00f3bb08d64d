#include "config/text_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "tests/support/temp_dir.h"

namespace vorlane {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::write_file;

TEST(TextFile, ReadsWholeFileAndTellsMissingFromUnreadable) {
    test::temp_dir dir;
    write_file(dir / "f", std::string("a\0b\n", 4));
    EXPECT_EQ(read_text_file(dir / "f"), std::string("a\0b\n", 4));
    EXPECT_EQ(read_text_file(dir / "missing"), std::nullopt);
    EXPECT_EQ(read_text_file(dir / "no_dir" / "f"), std::nullopt);
    EXPECT_EQ(read_text_file(dir / "f" / "below_a_file"), std::nullopt);
    fs::create_directory(dir / "d");
    EXPECT_THROW(read_text_file(dir / "d"), std::system_error);
    // Waiting for a writer would block: a FIFO is refused at once.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_THROW(read_text_file(dir / "fifo"), std::system_error);
}

TEST(TextFile, ReplacementKeepsModeAndLeavesNoTemporaryFile) {
    test::temp_dir dir;
    write_file(dir / "f", "old contents that are longer\n");
    fs::permissions(dir / "f", fs::perms(0640));
    replace_text_file(dir / "f", "new\n");
    EXPECT_EQ(read_file(dir / "f"), "new\n");
    EXPECT_EQ(fs::status(dir / "f").permissions(), fs::perms(0640));
    EXPECT_FALSE(fs::exists(replacement_file_name(dir / "f")));

    replace_text_file(dir / "fresh", "x");
    EXPECT_EQ(read_file(dir / "fresh"), "x");
}

TEST(TextFile, ReplacementThroughALinkReplacesTheFileItNames) {
    test::temp_dir dir;
    write_file(dir / "real", "old\n");
    fs::create_symlink("real", dir / "link");
    replace_text_file(dir / "link", "new\n");
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(read_file(dir / "real"), "new\n");
}

TEST(TextFile, ReplacementThroughADanglingLinkCreatesTheFileItNames) {
    test::temp_dir dir;
    fs::create_directory(dir / "store");
    fs::create_symlink("store/settings", dir / "link");
    fs::create_symlink("link", dir / "link_to_link");
    replace_text_file(dir / "link_to_link", "new\n");
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_TRUE(fs::is_symlink(dir / "link_to_link"));
    EXPECT_EQ(read_file(dir / "store" / "settings"), "new\n");
}

TEST(TextFile, FailedReplacementLeavesTheOldFile) {
    test::temp_dir dir;
    write_file(dir / "f", "old\n");
    // Something that is no file where the temporary one has to go.
    fs::create_directory(replacement_file_name(dir / "f"));
    EXPECT_THROW(replace_text_file(dir / "f", "new\n"), std::system_error);
    EXPECT_EQ(read_file(dir / "f"), "old\n");

    // A directory in place of the file: the temporary file must not survive the failed rename.
    fs::create_directory(dir / "d");
    EXPECT_THROW(replace_text_file(dir / "d", "new\n"), std::system_error);
    EXPECT_TRUE(fs::is_directory(dir / "d"));
    EXPECT_FALSE(fs::exists(replacement_file_name(dir / "d")));

    EXPECT_THROW(replace_text_file(dir / "no_dir" / "f", "new\n"), std::system_error);
}

// Files in a folder that others can write (here: everyone, with the sticky bit, as /tmp), each
// put there as someone else could; every way of opening one answers the same.
struct planted_case {
    const char* name;
    void (*plant)(const fs::path& folder);  // makes folder/"f"
    bool refused;
};

void PrintTo(const planted_case& c, std::ostream* os) {
    *os << c.name;
}

class PlantedFile : public testing::TestWithParam<planted_case> {};

TEST_P(PlantedFile, IsRefusedInAFolderOthersCanWrite) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to plant a file of another account";
    test::temp_dir dir;
    fs::permissions(dir.path(), fs::perms(01777));
    ASSERT_TRUE(others_can_write(dir.path()));
    write_file(dir / "victim", "victim's\n");
    GetParam().plant(dir.path());

    const auto refused = [](auto&& open) {
        try {
            open();
            return false;
        } catch (const refused_file&) {
            return true;
        }
    };
    const bool expected = GetParam().refused;
    EXPECT_EQ(refused([&] { read_text_file(dir / "f"); }), expected) << "read";
    EXPECT_EQ(refused([&] {
                  const int fd = open_checked(dir / "f", O_WRONLY | O_APPEND | O_CREAT);
                  if (fd >= 0) ::close(fd);
              }),
              expected)
        << "append";
    EXPECT_EQ(refused([&] { replace_text_file(dir / "f", "new\n"); }), expected) << "replace";
    EXPECT_EQ(read_file(dir / "victim"), "victim's\n");
    EXPECT_FALSE(fs::exists(dir / "created"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlantedFile,
    testing::Values(
        planted_case{"own_file_is_used", [](const fs::path& d) { write_file(d / "f", "own\n"); }, false},
        planted_case{"missing_file_is_created", [](const fs::path&) {}, false},
        planted_case{"link_to_a_file", [](const fs::path& d) { fs::create_symlink(d / "victim", d / "f"); },
                     true},
        planted_case{"dangling_link", [](const fs::path& d) { fs::create_symlink(d / "created", d / "f"); },
                     true},
        planted_case{"file_of_another_account",
                     [](const fs::path& d) {
                         write_file(d / "f", "theirs\n");
                         ASSERT_EQ(::chown((d / "f").c_str(), 65534, 65534), 0);
                     },
                     true},
        planted_case{"second_name_of_a_file",
                     [](const fs::path& d) { fs::create_hard_link(d / "victim", d / "f"); }, true}),
    [](const testing::TestParamInfo<planted_case>& row) { return std::string(row.param.name); });

TEST(TextFile, LeftoverTemporaryFileOfAnotherAccountIsNeverRenamedIntoPlace) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to plant a file of another account";
    test::temp_dir dir;
    write_file(dir / "f", "old\n");
    write_file(replacement_file_name(dir / "f"), "planted\n");
    ASSERT_EQ(::chown(replacement_file_name(dir / "f").c_str(), 65534, 65534), 0);
    replace_text_file(dir / "f", "new\n");
    EXPECT_EQ(read_file(dir / "f"), "new\n");
    struct stat state {};
    ASSERT_EQ(::stat((dir / "f").c_str(), &state), 0);
    EXPECT_EQ(state.st_uid, ::geteuid());
}

TEST(TextFile, FileOverTheSizeLimitIsRefused) {
    test::temp_dir dir;
    write_file(dir / "f", std::string(100, 'x'));
    EXPECT_EQ(read_text_file(dir / "f", 100), std::string(100, 'x'));
    EXPECT_THROW(read_text_file(dir / "f", 99), refused_file);
}

}  // namespace
}  // namespace vorlane
