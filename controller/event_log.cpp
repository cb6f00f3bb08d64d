#include "controller/event_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <utility>

#include "base/error_texts.h"
#include "base/shown_text.h"
#include "config/text_file.h"

namespace vorlane {

namespace {

// The longest log line kept whole when the log is shortened. The program's own lines are far
// shorter: a longer one was not written by it, and only its beginning is kept.
constexpr std::size_t longest_line = 4096;

// The newest lines of a log as shortening keeps them, read from the end of the file. Lines as a
// text editor counts them: a last line without a line break still counts. Only as much of the
// file is read as `limit` lines of longest_line bytes take: a log longer than that holds more
// lines than the limit or lines the program never wrote, counts as full, and a line that starts
// before that part is dropped. So neither memory nor time grow with the size of the file.
struct log_tail {
    bool full = false;   // `limit` lines or more
    std::string newest;  // the newest `keep` lines, each ending with a line break
};

log_tail read_log_tail(int fd, std::uint64_t size, std::uint64_t limit, std::uint64_t keep) {
    log_tail tail;
    if (size == 0) {
        tail.full = limit == 0;
        return tail;
    }
    const auto fail = [] {
        throw std::system_error(errno, std::generic_category(), "cannot read the event log");
    };
    char last = 0;
    if (::pread(fd, &last, 1, static_cast<off_t>(size - 1)) != 1) fail();
    // Line breaks are looked for before the final one; each found starts a line counted from
    // the end, and the start of the file the oldest.
    const std::uint64_t end = last == '\n' ? size - 1 : size;
    const std::uint64_t window = limit > end / (longest_line + 1) ? end : limit * (longest_line + 1);
    const std::uint64_t floor = end - window;
    std::uint64_t breaks = 0;
    // Where the kept lines start. A full log seen whole has `keep` line breaks at least; one
    // seen in part may not, and keeps the lines that start in that part.
    std::uint64_t cut = size;
    char block[65536];
    for (std::uint64_t position = end; position > floor && (breaks + 1 < limit || breaks < keep);) {
        const std::uint64_t length = std::min<std::uint64_t>(sizeof block, position - floor);
        position -= length;
        if (::pread(fd, block, length, static_cast<off_t>(position)) != static_cast<ssize_t>(length)) fail();
        for (std::uint64_t i = length; i > 0 && (breaks + 1 < limit || breaks < keep); --i) {
            if (block[i - 1] != '\n') continue;
            ++breaks;
            if (breaks <= keep) cut = position + i;
        }
    }
    tail.full = floor > 0 || breaks + 1 >= limit;
    if (!tail.full) return tail;

    std::uint64_t line_length = 0;
    for (std::uint64_t position = cut; position < size;) {
        const std::uint64_t length = std::min<std::uint64_t>(sizeof block, size - position);
        if (::pread(fd, block, length, static_cast<off_t>(position)) != static_cast<ssize_t>(length)) fail();
        position += length;
        for (std::uint64_t i = 0; i < length; ++i) {
            if (block[i] == '\n') {
                tail.newest.push_back('\n');
                line_length = 0;
            } else if (line_length++ < longest_line) {
                tail.newest.push_back(block[i]);
            }
        }
    }
    if (!tail.newest.empty() && tail.newest.back() != '\n') tail.newest.push_back('\n');
    return tail;
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

void event_log::update_status(const std::string& original, bool write_log) {
    // Texts quote values from the settings file and the network: a control byte in one must
    // neither forge a log line nor reach a terminal that shows the status line.
    const std::string text = without_control_bytes(original);
    display_.show_status(text);
    if (!write_log) return;
    try {
        std::string line = log_time_stamp(local_time_());
        line.append(" ").append(text).append("\n");
        append_line(line);
        log_refused_ = false;
        display_.refresh_log_viewer();
    } catch (const refused_file& e) {
        report_refused_log(e);
    } catch (const std::exception& e) {
        // Status line only: logging the failure of the log would recurse.
        update_status(error_text(reported_error::log_append_failed, e), false);
    }
}

void event_log::report_refused_log(const refused_file& refusal) {
    // The log itself is refused, so the refusal shows on the status line only; once, as every
    // later line would repeat it, until a line can be appended again.
    if (!std::exchange(log_refused_, true)) update_status(refusal.what(), false);
}

void event_log::append_line(std::string_view line) {
    // Without blocking: a FIFO or device in the log's place must not stop the main thread.
    const int fd = open_checked(log_file_name_, O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK);
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
        // A negative limit, which only an edited settings file can hold, behaves like 0 rather
        // than asking for fewer than no lines; a log of exactly the limit is shortened too.
        const std::int32_t limit = config_.max_log_lines;
        const std::uint64_t lines = limit > 0 ? static_cast<std::uint64_t>(limit) : 0;
        const std::uint64_t keep = lines / 2;
        log_tail tail;
        try {
            const int fd = open_checked(log_file_name_, O_RDONLY | O_NONBLOCK);
            if (fd < 0) {
                if (errno == ENOENT || errno == ENOTDIR) return true;
                throw_errno(errno, "cannot open the event log");
            }
            struct stat state {};
            const bool regular = ::fstat(fd, &state) == 0 && S_ISREG(state.st_mode);
            try {
                if (!regular) throw_errno(EINVAL, "the event log is not a regular file");
                tail = read_log_tail(fd, static_cast<std::uint64_t>(state.st_size), lines, keep);
            } catch (...) {
                ::close(fd);
                throw;
            }
            ::close(fd);
        } catch (const refused_file& e) {
            report_refused_log(e);
            return false;
        } catch (const std::exception& e) {
            update_status(error_text(reported_error::log_read_failed, e), true);
            return false;
        }
        if (!tail.full) return true;

        try {
            write_shortened(tail.newest);
        } catch (const refused_file& e) {
            report_refused_log(e);
            return false;
        } catch (const std::exception& e) {
            update_status(error_text(reported_error::log_write_failed, e), true);
            return false;
        }
        update_status("Log file shortened to " + std::to_string(keep) + " lines", true);
        return true;
    } catch (const std::exception& e) {
        update_status(error_text(reported_error::log_shorten_failed, e), true);
        return false;
    }
}

}  // namespace vorlane
