#include "config/ini_file.h"

#include <charconv>
#include <stdexcept>

#include "config/text_file.h"

namespace vorlane {

namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr std::string_view blanks = " \t\r\f\v";
constexpr std::size_t none = std::string::npos;

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == none) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

enum class line_kind { other, section, key };

struct line_shape {
    line_kind kind = line_kind::other;
    std::string_view name;        // section or key name, trimmed
    std::string_view value;       // trimmed
    std::size_t value_start = 0;  // where the value's text begins on the line
};

line_shape shape_of(std::string_view line) {
    const std::string_view body = trim(line);
    if (body.empty() || body.front() == ';' || body.front() == '#') return {};
    if (body.front() == '[') {
        const std::size_t close = body.find(']');
        if (close == none) return {};
        return {line_kind::section, trim(body.substr(1, close - 1)), {}, 0};
    }
    const std::size_t equals = line.find('=');
    if (equals == none) return {};
    std::size_t value_start = line.find_first_not_of(" \t", equals + 1);
    if (value_start == none) value_start = line.size();
    return {line_kind::key, trim(line.substr(0, equals)), trim(line.substr(equals + 1)), value_start};
}

}  // namespace

std::optional<std::int32_t> parse_int32(std::string_view text) {
    // from_chars takes a minus but no plus sign.
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

ini_file ini_file::parse(std::string_view text) {
    ini_file document;
    if (text.starts_with(byte_order_mark)) {
        document.byte_order_mark_ = true;
        text.remove_prefix(byte_order_mark.size());
    }
    const std::size_t first_break = text.find('\n');
    const bool crlf = first_break != none && first_break > 0 && text[first_break - 1] == '\r';
    if (crlf) document.line_end_ = "\r\n";
    while (!text.empty()) {
        const std::size_t line_break = text.find('\n');
        std::string_view line = text.substr(0, line_break);
        text.remove_prefix(line_break == none ? text.size() : line_break + 1);
        if (crlf && line.ends_with('\r')) line.remove_suffix(1);
        document.lines_.emplace_back(line);
    }
    return document;
}

ini_file ini_file::load(const std::filesystem::path& file) {
    const std::optional<std::string> text = read_text_file(file, largest_file);
    return text ? parse(*text) : ini_file();
}

std::size_t ini_file::find_section(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const line_shape shape = shape_of(lines_[i]);
        if (shape.kind == line_kind::section && same_name(shape.name, section)) return i;
    }
    return none;
}

std::size_t ini_file::find_key(std::string_view section, std::string_view key) const {
    bool inside = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const line_shape shape = shape_of(lines_[i]);
        if (shape.kind == line_kind::section)
            inside = same_name(shape.name, section);
        else if (inside && shape.kind == line_kind::key && same_name(shape.name, key))
            return i;
    }
    return none;
}

// Behind the last key of the section that opens at `header`: comments and blank lines after
// it more likely introduce the next section than belong to this one.
std::size_t ini_file::end_of_keys(std::size_t header) const {
    std::size_t end = header + 1;
    for (std::size_t i = header + 1; i < lines_.size(); ++i) {
        const line_kind kind = shape_of(lines_[i]).kind;
        if (kind == line_kind::section) break;
        if (kind == line_kind::key) end = i + 1;
    }
    return end;
}

std::optional<std::string> ini_file::read_value(std::string_view section, std::string_view key) const {
    const std::size_t line = find_key(section, key);
    if (line == none) return std::nullopt;
    return std::string(shape_of(lines_[line]).value);
}

std::string ini_file::read_string(std::string_view section, std::string_view key,
                                  std::string_view fallback) const {
    std::optional<std::string> value = read_value(section, key);
    return value ? std::move(*value) : std::string(fallback);
}

std::int32_t ini_file::read_int(std::string_view section, std::string_view key, std::int32_t fallback) const {
    const std::optional<std::string> value = read_value(section, key);
    if (!value) return fallback;
    return parse_int32(*value).value_or(fallback);
}

bool ini_file::read_bool(std::string_view section, std::string_view key, bool fallback) const {
    return read_int(section, key, fallback ? 1 : 0) != 0;
}

void ini_file::write_string(std::string_view section, std::string_view key, std::string_view value) {
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != none)
        throw std::invalid_argument("INI value with a line break or NUL");

    if (const std::size_t line = find_key(section, key); line != none) {
        std::string& text = lines_[line];
        text.erase(shape_of(text).value_start);
        text.append(value);
        return;
    }
    std::string entry;
    entry.reserve(key.size() + 1 + value.size());
    entry.append(key).append("=").append(value);
    if (const std::size_t header = find_section(section); header != none) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(end_of_keys(header)), std::move(entry));
        return;
    }
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(std::move(entry));
}

void ini_file::write_int(std::string_view section, std::string_view key, std::int32_t value) {
    write_string(section, key, std::to_string(value));
}

void ini_file::write_bool(std::string_view section, std::string_view key, bool value) {
    write_string(section, key, value ? "1" : "0");
}

std::string ini_file::text() const {
    std::string text;
    if (byte_order_mark_) text.append(byte_order_mark);
    for (const std::string& line : lines_) text.append(line).append(line_end_);
    return text;
}

void ini_file::save(const std::filesystem::path& file) const {
    replace_text_file(file, text());
}

}  // namespace vorlane
