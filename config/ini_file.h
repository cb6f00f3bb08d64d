#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane {

// An INI document that keeps every line of its file, so that changing a few settings leaves
// the operator's comments, unknown keys and other sections where they were.
//
// Section and key names match without regard to ASCII case; values are read with the blanks
// around them removed. A line "[name]" opens a section, "key=value" sets a key (the first
// '=' splits), a line starting with ';' or '#' is a comment. Lines before the first section
// and lines of no known shape are kept but never match. A section that occurs more than once
// is read as one: the first line of a key in any of them is the one read and rewritten, and a
// missing key goes to the first. The line ending (LF or CR LF) and a UTF-8 byte order mark of
// a loaded file are written back the same way.
class ini_file {
  public:
    ini_file() = default;

    static ini_file parse(std::string_view text);
    // A missing file gives an empty document. Throws std::system_error when the file exists
    // but cannot be read, refused_file (see read_text_file) when it is refused or larger than
    // largest_file.
    static ini_file load(const std::filesystem::path& file);
    // Far more than any settings file holds: a larger one is no settings file, and reading it
    // whole would only cost memory.
    static constexpr std::size_t largest_file = 1024 * 1024;

    // The trimmed value, or nothing when the key is not there.
    std::optional<std::string> read_value(std::string_view section, std::string_view key) const;
    std::string read_string(std::string_view section, std::string_view key, std::string_view fallback) const;
    // A decimal number with an optional sign that fits 32 bits; anything else gives fallback.
    std::int32_t read_int(std::string_view section, std::string_view key, std::int32_t fallback) const;
    // Written as 1 and 0; any other number reads as true, a value that is no number gives fallback.
    bool read_bool(std::string_view section, std::string_view key, bool fallback) const;

    // Replaces the value on the key's own line and keeps the text before it. A missing key is
    // added behind the last key of its section, a missing section is appended at the end.
    // Throws std::invalid_argument for a value with a line break or a NUL, which could not be
    // read back as the same value.
    void write_string(std::string_view section, std::string_view key, std::string_view value);
    void write_int(std::string_view section, std::string_view key, std::int32_t value);
    void write_bool(std::string_view section, std::string_view key, bool value);

    std::string text() const;
    // Replaces the file as a whole (see replace_text_file); throws std::system_error.
    void save(const std::filesystem::path& file) const;

  private:
    std::size_t find_section(std::string_view section) const;
    std::size_t find_key(std::string_view section, std::string_view key) const;
    std::size_t end_of_keys(std::size_t header) const;

    std::vector<std::string> lines_;
    std::string line_end_ = "\n";
    bool byte_order_mark_ = false;
};

// The number in a trimmed text: decimal digits with an optional leading sign, the whole text,
// within 32 bits.
std::optional<std::int32_t> parse_int32(std::string_view text);

}  // namespace vorlane
