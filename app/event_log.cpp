#include "app/event_log.h"

#include <fcntl.h>
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

// Offset of line `index` (from 0) in a text of at least that many lines.
std::size_t start_of_line(std::string_view text, std::size_t index) {
    std::size_t offset = 0;
    for (; index > 0; --index) offset = text.find('\n', offset) + 1;
    return offset;
}

}  // namespace

std::string status_panel_caption(std::string_view text) {
    return " " + std::string(text);
}

std::string monitor_status_caption(std::string_view text) {
    return " Status: " + status_panel_caption(text);
}

std::tm current_local_time() {
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
    const int fd = ::open(log_file_name_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return;  // an unwritable log must not stop the program; the line is lost
    // One write with O_APPEND puts the whole line at the end even if another writer appended.
    while (!line.empty()) {
        const ssize_t written = ::write(fd, line.data(), line.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            throw std::system_error(error, std::generic_category(), "cannot append to the event log");
        }
        line.remove_prefix(static_cast<std::size_t>(written));
    }
    ::close(fd);
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
            replace_text_file(log_file_name_, newest);
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
