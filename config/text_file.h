#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vorlane {

// A file the program will not use, with the reason in what(), which names the file: one that
// someone else may have planted (see open_checked), or one too large to be what it should be.
class refused_file : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Whether anyone but the running user (and root) can create, rename or remove entries in
// `folder`: its group or others may write it, or another account owns it. A folder that cannot
// be examined counts as shared.
bool others_can_write(const std::filesystem::path& folder);

// open(2) with O_CLOEXEC added. In a folder others can write, the file may have been planted
// there: a symbolic link is not followed (so O_CREAT never creates a file through a dangling
// one), and a file of another owner or with a second name (a hard link) is refused. Throws
// refused_file for those; answers -1 with errno set for any other failure.
int open_checked(const std::filesystem::path& file, int flags, unsigned mode = 0666);

// No limit on the size of a file read.
inline constexpr std::size_t any_size = static_cast<std::size_t>(-1);

// The whole content of a file, or nothing when there is no file at that path. Throws
// std::system_error when the path exists but cannot be read (not a regular file, an I/O error),
// refused_file as open_checked does and for a file of more than `size_limit` bytes.
std::optional<std::string> read_text_file(const std::filesystem::path& file,
                                          std::size_t size_limit = any_size);

// Replaces the content of a file so that a reader, or a crash at any moment, sees either the
// old content or the new one, never a mixture: the text goes to a temporary file beside it,
// is flushed to disk and then renamed over the old file. An existing file keeps its
// permission bits. In a folder only its user can write, a symbolic link keeps pointing at the
// file it names, which is the one replaced, or created when the link dangles; in a folder others
// can write, a link, a file of another owner or with a second name is refused (refused_file).
// Throws std::system_error on any other failure and then leaves the old file untouched.
void replace_text_file(const std::filesystem::path& file, std::string_view text);

// Writes text over the content of an existing regular file in place, for a file whose
// directory does not let it be replaced. A crash midway may leave a mixture; throws
// std::system_error on any failure, refused_file as open_checked does.
void overwrite_text_file(const std::filesystem::path& file, std::string_view text);

// The name of the temporary file replace_text_file writes beside `file`.
std::filesystem::path replacement_file_name(const std::filesystem::path& file);

}  // namespace vorlane
