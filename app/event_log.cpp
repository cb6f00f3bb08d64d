#include "app/event_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

#include "base/exception_name.h"
#include "config/text_file.h"

namespace vorlane {

namespace {

// Lines as a text editor counts them: a last line without a line break still counts.
std::size_t count_lines(std::string_view text) {
    std::size_t count = 0;
    for (char c : text)
        if (c == '\n') ++count;
    if (!text.empty() && text.back() != '\n') ++count;
    return count;
}

// Offset of line `index` (from 0) in a text of at least that many lines; the end of the text
// for the line after the last.
std::size_t start_of_line(std::string_view text, std::size_t index) {
    std::size_t offset = 0;
    for (; index > 0; --index) {
        const std::size_t line_break = text.find('\n', offset);
        if (line_break == std::string_view::npos) return text.size();
        offset = line_break + 1;
    }
    return offset;
}

[[noreturn]] void throw_errno(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
}

// Whether the file ends with a line break, or is empty.
bool ends_a_line(int fd, off_t size) {
    char last = '\n';
    return size == 0 || ::pread(fd, &last, 1, size - 1) != 1 || last == '\n';
}

}  // namespace

std::string status_panel_caption(std::string_view text) {
    return " " + std::string(text);
}

std::string monitor_status_caption(std::string_view text) {
    return " Status: " + status_panel_caption(text);
}

std::tm current_local_time() {
    // localtime_r need not look at the time zone again: a ship that changes zones while the
    // program runs would keep the old one.
    ::tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string log_time_stamp(const std::tm& time) {
    char stamp[32];
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%d.%m.%y %H:%M", &time);
    return std::string(stamp, length);
}

event_log::event_log(std::filesystem::path log_file, const config_manager& config, status_display& display,
                     local_time_source local_time)
    : log_file_name_(std::move(log_file)),
      config_(config),
      display_(display),
      local_time_(std::move(local_time)) {}

void event_log::update_status(const std::string& text, bool write_log) {
    display_.show_status(text);
    if (!write_log) return;
    try {
        std::string line = log_time_stamp(local_time_());
        line.append(" ").append(text).append("\n");
        append_line(line);
        display_.refresh_log_viewer();
    } catch (const std::exception& e) {
        // Status line only: logging the failure of the log would recurse.
        update_status("Error QXE-500: " + exception_name(e), false);
    }
}

void event_log::append_line(std::string_view line) {
    // Without blocking: a FIFO or device in the log's place must not stop the main thread.
    const int fd = ::open(log_file_name_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == ENXIO) throw_errno(errno, "the event log is not a regular file");
        return;  // an unwritable log must not stop the program; the line is lost
    }
    struct stat state {};
    if (::fstat(fd, &state) != 0 || !S_ISREG(state.st_mode)) {
        ::close(fd);
        throw_errno(EINVAL, "the event log is not a regular file");
    }
    // A line that an earlier failure cut short is left as it is, but the next starts afresh.
    std::string text = ends_a_line(fd, state.st_size) ? std::string(line) : "\n" + std::string(line);
    std::string_view rest = text;
    while (!rest.empty()) {
        const ssize_t written = ::write(fd, rest.data(), rest.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            // A full disk took part of the line: take it back, so no fragment stays in the log.
            [[maybe_unused]] const int cut = ::ftruncate(fd, state.st_size);
            ::close(fd);
            throw_errno(error, "cannot append to the event log");
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    ::close(fd);
}

void event_log::write_shortened(std::string_view text) {
    try {
        replace_text_file(log_file_name_, text);
    } catch (const std::system_error& e) {
        // Replacing the file needs a writable directory; where only the file itself is
        // writable, it is rewritten in place rather than never shortened.
        const std::errc cause = static_cast<std::errc>(e.code().value());
        if (cause != std::errc::permission_denied && cause != std::errc::operation_not_permitted &&
            cause != std::errc::read_only_file_system)
            throw;
        overwrite_text_file(log_file_name_, text);
    }
}

bool event_log::shorten_log_file() {
    try {
        std::optional<std::string> content;
        std::size_t count = 0;
        try {
            content = read_text_file(log_file_name_);
            if (!content) return true;
            count = count_lines(*content);
        } catch (const std::exception& e) {
            update_status("Error QXE-504: " + exception_name(e), true);
            return false;
        }

        // A log of exactly the limit is shortened too. A negative limit, which only an edited
        // settings file can hold, behaves like 0 rather than asking for fewer than no lines.
        const std::int32_t limit = config_.max_log_lines;
        if (limit > 0 && count < static_cast<std::size_t>(limit)) return true;
        const std::size_t keep = limit > 0 ? static_cast<std::size_t>(limit / 2) : 0;

        std::string newest = content->substr(start_of_line(*content, count - keep));
        content.reset();
        if (!newest.empty() && newest.back() != '\n') newest.push_back('\n');
        try {
            write_shortened(newest);
        } catch (const std::exception& e) {
            update_status("Error QXE-505: " + exception_name(e), true);
            return false;
        }
        update_status("Log file shortened to " + std::to_string(keep) + " lines", true);
        return true;
    } catch (const std::exception& e) {
        update_status("Error QXE-501: " + exception_name(e), true);
        return false;
    }
}

}  // namespace vorlane
