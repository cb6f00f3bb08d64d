#pragma once

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace vorlane::test {

// Two network namespaces of the test's own, "near" (172.31.24.1) and "far" (172.31.24.2),
// joined by a veth pair, so that a test can make the link between a server and its peers
// misbehave (go down, run slowly) without touching the host's network. A socket belongs to the
// namespace its thread was in when it was made; the calling thread starts in near and returns
// to where it was when the link is destroyed, which also removes both namespaces and the pair.
class veth_link {
  public:
    static constexpr const char* near_address = "172.31.24.1";
    static constexpr const char* far_address = "172.31.24.2";

    // Empty when a link can be made here, else why not.
    static std::string unavailable_reason() {
        if (::geteuid() != 0) return "needs root to create network namespaces";
        if (std::system("ip -V >/dev/null 2>&1") != 0) return "needs the ip command (iproute2)";
        return {};
    }

    veth_link() : suffix(std::to_string(::getpid())) {
        remove_left_over();
        original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const bool made = run("ip netns add " + name("near")) && run("ip netns add " + name("far")) &&
                          run("ip link add " + device("near") + " netns " + name("near") +
                              " type veth peer name " + device("far") + " netns " + name("far")) &&
                          configure("near", near_address) && configure("far", far_address);
        if (original < 0 || !made || !enter("near")) {
            remove();
            throw std::runtime_error("cannot set up the test's network namespaces");
        }
    }
    ~veth_link() { remove(); }
    veth_link(const veth_link&) = delete;
    veth_link& operator=(const veth_link&) = delete;

    // Runs `make` with the calling thread in the far namespace.
    template <class Make>
    void in_far(Make&& make) {
        enter("far");
        make();
        enter("near");
    }

    // Runs an ip or tc command in a namespace, "near" or "far"; {dev} stands for its end of the pair.
    bool command(const char* side, std::string text) {
        for (std::size_t at; (at = text.find("{dev}")) != std::string::npos;)
            text.replace(at, 5, device(side));
        return run("ip netns exec " + name(side) + " " + text);
    }

  private:
    std::string name(const char* side) const { return std::string("vorlane-") + side + "-" + suffix; }
    std::string device(const char* side) const { return std::string("vl") + side[0] + suffix; }

    static bool run(const std::string& command_line) {
        return std::system((command_line + " >/dev/null 2>&1").c_str()) == 0;
    }
    bool configure(const char* side, const char* address) {
        return command(side, "ip addr add " + std::string(address) + "/24 dev {dev}") &&
               command(side, "ip link set {dev} up") && command(side, "ip link set lo up");
    }
    bool enter(const char* side) {
        const int fd = ::open(("/run/netns/" + name(side)).c_str(), O_RDONLY | O_CLOEXEC);
        const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0) ::close(fd);
        return entered;
    }
    void remove() {
        if (original >= 0) {
            ::setns(original, CLONE_NEWNET);
            ::close(original);
            original = -1;
        }
        run("ip netns del " + name("near"));
        run("ip netns del " + name("far"));
    }

    // A test process killed outright cannot clean up: the namespaces of processes that are
    // gone are removed before new ones are made.
    static void remove_left_over() {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator("/run/netns", ignored)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("vorlane-", 0) != 0) continue;
            const std::string pid = name.substr(name.rfind('-') + 1);
            if (!std::filesystem::exists("/proc/" + pid, ignored)) run("ip netns del " + name);
        }
    }

    std::string suffix;
    int original = -1;
};

}  // namespace vorlane::test
