#include "config/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace
}  // namespace vorlane
