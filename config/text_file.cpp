#include "config/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace vorlane {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void throw_errno(int error, const char* what, const fs::path& file) {
    throw std::system_error(error, std::generic_category(), std::string(what) + " '" + file.string() + "'");
}

// Closes the descriptor on every path out of a scope, including exceptions.
class file_descriptor {
  public:
    explicit file_descriptor(int fd) : fd_(fd) {}
    ~file_descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    file_descriptor(const file_descriptor&) = delete;
    file_descriptor& operator=(const file_descriptor&) = delete;

    int get() const { return fd_; }
    // Closes now and reports the result: on some file systems a write error shows up only here.
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

void write_all(int fd, std::string_view text, const fs::path& file) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            throw_errno(errno, "cannot write", file);
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

// The rename is durable only once the directory entry itself has reached the disk. Failing
// to flush the directory does not undo the replacement, so it is not reported.
void flush_directory(const fs::path& directory) {
    const fs::path name = directory.empty() ? fs::path(".") : directory;
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A FIFO or device in the place of a file would block the main thread, waiting for a writer
// or for ever: only regular files are read or written.
void require_regular_file(int fd, const fs::path& file) {
    struct stat state {};
    if (::fstat(fd, &state) != 0) throw_errno(errno, "cannot examine", file);
    if (!S_ISREG(state.st_mode))
        throw_errno(S_ISDIR(state.st_mode) ? EISDIR : EINVAL, "not a regular file", file);
}

// A folder's path as open(2) takes it: the current folder for a bare file name.
fs::path folder_of(const fs::path& file) {
    const fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

[[noreturn]] void refuse(const fs::path& file, const char* reason) {
    throw refused_file("Refused '" + file.string() + "': " + reason);
}

// The reason to refuse a file found in a folder others can write, or nothing.
const char* planted_file_reason(const struct stat& state) {
    if (S_ISLNK(state.st_mode)) return "a symbolic link in a folder others can write";
    if (state.st_uid != ::geteuid()) return "owned by another account, in a folder others can write";
    if (!S_ISDIR(state.st_mode) && state.st_nlink > 1)
        return "a second name of another file (hard link), in a folder others can write";
    return nullptr;
}

// The file a chain of symbolic links ends at, even when that file does not exist yet.
fs::path link_target(const fs::path& file) {
    fs::path target = file;
    std::error_code error;
    // As many hops as the system itself follows before it gives up with ELOOP.
    for (int hops = 0; hops < 40 && fs::is_symlink(target, error); ++hops) {
        const fs::path next = fs::read_symlink(target, error);
        if (error) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

}  // namespace

bool others_can_write(const fs::path& folder) {
    struct stat state {};
    const fs::path name = folder.empty() ? fs::path(".") : folder;
    if (::stat(name.c_str(), &state) != 0) return true;
    return (state.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (state.st_uid != ::geteuid() && state.st_uid != 0);
}

int open_checked(const fs::path& file, int flags, unsigned mode) {
    const bool shared = others_can_write(folder_of(file));
    if (shared) flags |= O_NOFOLLOW;
    const int fd = ::open(file.c_str(), flags | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) {
        if (shared && errno == ELOOP) refuse(file, "a symbolic link in a folder others can write");
        return -1;
    }
    if (!shared) return fd;
    struct stat state {};
    if (::fstat(fd, &state) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    if (const char* reason = planted_file_reason(state)) {
        ::close(fd);
        refuse(file, reason);
    }
    return fd;
}

std::optional<std::string> read_text_file(const fs::path& file, std::size_t size_limit) {
    const int fd = open_checked(file, O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        // ENOTDIR: a component of the path is a plain file, so there is no such file either.
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw_errno(errno, "cannot open", file);
    }
    file_descriptor guard(fd);
    require_regular_file(fd, file);
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            throw_errno(errno, "cannot read", file);
        }
        // Checked while reading rather than from the size up front: the file may grow meanwhile.
        if (static_cast<std::size_t>(got) > size_limit - text.size())
            refuse(file, ("larger than " + std::to_string(size_limit) + " bytes").c_str());
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

fs::path replacement_file_name(const fs::path& file) {
    fs::path temporary = file;
    temporary += ".tmp";
    return temporary;
}

void replace_text_file(const fs::path& file, std::string_view text) {
    // Where others can write, a link may be theirs and is never followed; where only the user
    // can, a link is the operator's own and names the file meant.
    const bool shared = others_can_write(folder_of(file));
    const fs::path target = shared ? file : link_target(file);
    const fs::path temporary = replacement_file_name(target);
    struct stat old_state {};
    const bool exists = ::lstat(target.c_str(), &old_state) == 0;
    if (shared && exists)
        if (const char* reason = planted_file_reason(old_state)) refuse(target, reason);
    const bool keep_mode = exists && S_ISREG(old_state.st_mode);

    // A temporary file left over from a crash is removed and made afresh, so that whatever
    // someone else put under its name (a file of theirs, a link) is never written to and never
    // renamed into place.
    if (::unlink(temporary.c_str()) != 0 && errno != ENOENT && errno != EISDIR)
        throw_errno(errno, "cannot remove", temporary);
    file_descriptor out(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (out.get() < 0) throw_errno(errno, "cannot create", temporary);
    try {
        if (keep_mode && ::fchmod(out.get(), old_state.st_mode & 07777) != 0)
            throw_errno(errno, "cannot set the mode of", temporary);
        write_all(out.get(), text, temporary);
        if (::fsync(out.get()) != 0) throw_errno(errno, "cannot flush", temporary);
        if (out.close() != 0) throw_errno(errno, "cannot close", temporary);
        if (::rename(temporary.c_str(), target.c_str()) != 0) throw_errno(errno, "cannot replace", target);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    flush_directory(target.parent_path());
}

void overwrite_text_file(const fs::path& file, std::string_view text) {
    file_descriptor out(open_checked(file, O_WRONLY | O_NONBLOCK));
    if (out.get() < 0) throw_errno(errno, "cannot open", file);
    require_regular_file(out.get(), file);
    write_all(out.get(), text, file);
    if (::ftruncate(out.get(), static_cast<off_t>(text.size())) != 0) throw_errno(errno, "cannot cut", file);
    if (::fsync(out.get()) != 0) throw_errno(errno, "cannot flush", file);
    if (out.close() != 0) throw_errno(errno, "cannot close", file);
}

}  // namespace vorlane
