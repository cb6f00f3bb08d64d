#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vorlane {

// The whole content of a file, or nothing when there is no file at that path. Throws
// std::system_error when the path exists but cannot be read (not a regular file, an I/O error).
std::optional<std::string> read_text_file(const std::filesystem::path& file);

// Replaces the content of a file so that a reader, or a crash at any moment, sees either the
// old content or the new one, never a mixture: the text goes to a temporary file beside it,
// is flushed to disk and then renamed over the old file. An existing file keeps its
// permission bits; a symbolic link keeps pointing at the file it names, which is the one
// replaced, or created when the link dangles. Throws std::system_error on any failure and then leaves the old
// file untouched.
void replace_text_file(const std::filesystem::path& file, std::string_view text);

// Writes text over the content of an existing regular file in place, for a file whose
// directory does not let it be replaced. A crash midway may leave a mixture; throws
// std::system_error on any failure.
void overwrite_text_file(const std::filesystem::path& file, std::string_view text);

// The name of the temporary file replace_text_file writes beside `file`.
std::filesystem::path replacement_file_name(const std::filesystem::path& file);

}  // namespace vorlane
