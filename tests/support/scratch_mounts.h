#pragma once

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vorlane::test {

// File systems a root-only test mounts inside its own scratch directory (a small tmpfs to fill,
// a read-only one), unmounted again in reverse order when it ends, whatever the outcome.
class scratch_mounts {
  public:
    // Empty when mounts can be made here, else why not.
    static std::string unavailable_reason() {
        return ::geteuid() == 0 ? "" : "needs root to mount a small tmpfs";
    }

    scratch_mounts() = default;
    ~scratch_mounts() {
        for (auto at = made.rbegin(); at != made.rend(); ++at) ::umount2(at->c_str(), MNT_DETACH);
    }
    scratch_mounts(const scratch_mounts&) = delete;
    scratch_mounts& operator=(const scratch_mounts&) = delete;

    // A tmpfs of `size` bytes ("64k") at the directory `at`, created if need be.
    bool tmpfs(const std::filesystem::path& at, const std::string& size) {
        std::filesystem::create_directories(at);
        return record(at, ::mount("vorlane-test", at.c_str(), "tmpfs", 0, ("size=" + size).c_str()));
    }
    // `from` seen at `onto` as well, which must exist already.
    bool bind(const std::filesystem::path& from, const std::filesystem::path& onto) {
        return record(onto, ::mount(from.c_str(), onto.c_str(), nullptr, MS_BIND, nullptr));
    }
    bool make_read_only(const std::filesystem::path& at) {
        return ::mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    bool record(const std::filesystem::path& at, int result) {
        if (result == 0) made.push_back(at);
        return result == 0;
    }

    std::vector<std::filesystem::path> made;
};

}  // namespace vorlane::test
