// The real program started the way the service's socket unit starts it: the display ports are
// opened before it runs and handed to it, and they stay open while it is killed and restarted.
// A systemd cannot be booted here, so the service manager's part is played by
// systemd-socket-activate (its own launcher for socket units) and, for the restart, by this test,
// which holds the sockets as the service manager holds them across a watchdog restart.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/gateway_process.h"
#include "tests/support/loopback_peer.h"

namespace vorlane {
namespace {

using namespace std::chrono_literals;

const std::string banner_line = "KestavTranslator\r\n";

// A TCP socket listening on 127.0.0.1:port, as the socket unit's ListenStream= makes it.
class held_port {
  public:
    explicit held_port(int port) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        listening =
            ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 5) == 0;
    }
    ~held_port() { ::close(fd); }
    held_port(const held_port&) = delete;
    held_port& operator=(const held_port&) = delete;

    int fd = -1;
    bool listening = false;
};

// Reads until the banner has arrived or the time is up: the program may still be starting.
bool greeted(test::loopback_peer& peer, std::chrono::milliseconds limit = 15s) {
    for (auto waited = 0ms; waited < limit; waited += 50ms) {
        peer.read_available();
        if (peer.received() == banner_line) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

std::string settings(int first_port) {
    return test::gateway_settings("127.0.0.1", first_port, test::loopback_boxes(40000 + getpid() % 20000));
}

TEST(SocketActivation, ProgramServesOnThePortsSystemdSocketActivateOpened) {
    if (::system("command -v systemd-socket-activate >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "systemd-socket-activate is not installed";
    const int first_port = test::free_port_pair();
    test::temp_dir dir;
    const std::string ports[] = {"127.0.0.1:" + std::to_string(first_port),
                                 "127.0.0.1:" + std::to_string(first_port + 1)};
    test::gateway_process gateway(
        dir, VORLANE_PROGRAM, settings(first_port),
        {{"systemd-socket-activate", "-l", ports[0], "-l", ports[1], "-E", "QT_QPA_PLATFORM"}, {}});
    ASSERT_GT(gateway.pid, 0);

    // The launcher starts the program at the first connection: the port listened before.
    std::this_thread::sleep_for(300ms);
    test::loopback_peer first(static_cast<std::uint16_t>(first_port));
    ASSERT_TRUE(first.wait_connected(2000));
    EXPECT_TRUE(greeted(first)) << test::read_file(dir / "status.txt");
    test::loopback_peer second(static_cast<std::uint16_t>(first_port + 1));
    ASSERT_TRUE(second.wait_connected(2000));
    EXPECT_TRUE(greeted(second)) << test::read_file(dir / "status.txt");
    EXPECT_EQ(test::read_file(dir / "Vorlane.log").find("QXE-200"), std::string::npos)
        << "the program tried to listen itself";
}

TEST(SocketActivation, PortsStayListeningWhileTheProgramRestarts) {
    const int first_port = test::free_port_pair();
    const held_port outputs[] = {held_port(first_port), held_port(first_port + 1)};
    ASSERT_TRUE(outputs[0].listening && outputs[1].listening);
    const test::service_launch launch{{"/bin/sh", "-c", "LISTEN_PID=$$ LISTEN_FDS=2 exec \"$0\""},
                                      {outputs[0].fd, outputs[1].fd}};

    test::loopback_peer before_start(static_cast<std::uint16_t>(first_port));
    ASSERT_TRUE(before_start.wait_connected(2000));
    test::loopback_peer while_down(static_cast<std::uint16_t>(first_port + 1));
    {
        test::temp_dir dir;
        test::gateway_process gateway(dir, VORLANE_PROGRAM, settings(first_port), launch);
        ASSERT_GT(gateway.pid, 0);
        EXPECT_TRUE(greeted(before_start)) << test::read_file(dir / "status.txt");
        // Killed as the watchdog kills a program that hangs.
        ::kill(gateway.pid, SIGKILL);
        gateway.stop();
        EXPECT_EQ(test::read_file(dir / "Vorlane.log").find("QXE-200"), std::string::npos)
            << test::read_file(dir / "Vorlane.log");
    }
    test::loopback_peer after_kill(static_cast<std::uint16_t>(first_port + 1));
    ASSERT_TRUE(after_kill.wait_connected(2000)) << "the port was free while the program was down";

    test::temp_dir dir;
    test::gateway_process restarted(dir, VORLANE_PROGRAM, settings(first_port), launch);
    EXPECT_TRUE(greeted(after_kill)) << test::read_file(dir / "status.txt");
}

}  // namespace
}  // namespace vorlane
