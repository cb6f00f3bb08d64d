// The real program under a stand-in service manager: what it tells NOTIFY_SOCKET while it starts,
// runs and stops.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/gateway_process.h"

namespace vorlane {
namespace {

using namespace std::chrono_literals;

// The service manager's end of the notification socket. Every assignment ("READY=1") of every
// datagram is kept in arrival order.
class notify_listener {
  public:
    explicit notify_listener(const std::filesystem::path& path) {
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~notify_listener() { ::close(fd); }

    // Reads until `wanted` has arrived `times` times in all, or the time is up.
    bool wait_for(const std::string& wanted, std::chrono::milliseconds limit, long times = 1) {
        for (auto waited = 0ms; waited < limit; waited += 100ms) {
            if (std::count(assignments.begin(), assignments.end(), wanted) >= times) return true;
            pollfd ready{fd, POLLIN, 0};
            if (::poll(&ready, 1, 100) != 1) continue;
            char datagram[4096];
            const auto length = ::recv(fd, datagram, sizeof datagram, 0);
            std::istringstream lines(std::string(datagram, length > 0 ? length : 0));
            for (std::string line; std::getline(lines, line);) assignments.push_back(line);
        }
        return std::count(assignments.begin(), assignments.end(), wanted) >= times;
    }

    long position(const std::string& assignment) const {
        return std::find(assignments.begin(), assignments.end(), assignment) - assignments.begin();
    }

    bool bound = false;
    std::vector<std::string> assignments;

  private:
    int fd = -1;
};

TEST(ServiceNotify, ReadyOnceOpenStatusAlongAndWatchdogFromTheTick) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to capture on lo";
    test::temp_dir dir;
    notify_listener manager(dir / "notify");
    ASSERT_TRUE(manager.bound);
    ::setenv("NOTIFY_SOCKET", (dir / "notify").c_str(), 1);
    ::setenv("WATCHDOG_USEC", "5000000", 1);
    test::gateway_process gateway(dir, VORLANE_PROGRAM, test::free_port_pair(), 40000 + getpid() % 20000);
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("WATCHDOG_USEC");
    ASSERT_GT(gateway.pid, 0);

    ASSERT_TRUE(manager.wait_for("READY=1", 15s)) << test::read_file(dir / "status.txt");
    const long ready = manager.position("READY=1");
    // Ready means both outputs listen and the input is open, as the status line says just before.
    EXPECT_LT(manager.position("STATUS=Input connected"), ready);
    EXPECT_EQ(manager.position("STATUS=Ready"), ready - 1);
    // Each tick before readiness keeps the start-up alive by the watchdog interval.
    EXPECT_GE(std::count(manager.assignments.begin(), manager.assignments.begin() + ready, "WATCHDOG=1"), 2);
    EXPECT_EQ(manager.position("EXTEND_TIMEOUT_USEC=5000000"), manager.position("WATCHDOG=1") + 1);

    // Afterwards the tick feeds the watchdog alone, once a second.
    const auto fed = std::count(manager.assignments.begin(), manager.assignments.end(), "WATCHDOG=1");
    EXPECT_TRUE(manager.wait_for("WATCHDOG=1", 3500ms, fed + 3));
    EXPECT_EQ(std::count(manager.assignments.begin() + ready, manager.assignments.end(),
                         "EXTEND_TIMEOUT_USEC=5000000"),
              0);

    gateway.stop();
    EXPECT_TRUE(manager.wait_for("STOPPING=1", 2s));
    EXPECT_LT(manager.position("STATUS=Vorlane shutting down"), manager.position("STOPPING=1"));
}

}  // namespace
}  // namespace vorlane
