// The program itself, run headless in a scratch directory the way a service runs it.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace vorlane {
namespace {

using namespace std::chrono_literals;

// Started with standard error on a pipe: `vorlane 2>&1 | logger`.
class piped_program {
public:
    explicit piped_program(const test::temp_dir& dir) {
        std::filesystem::copy_file(VORLANE_PROGRAM, dir / "vorlane");
        // Nothing to open: the status line changes every second all the same.
        test::write_file(dir / "Vorlane.ini", "[Vorlane]\ninput_ip=\noutput_ip=\n");
        int pipe_ends[2];
        if (::pipe2(pipe_ends, O_CLOEXEC) != 0) return;
        reader = pipe_ends[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 2);
        const std::string program = (dir / "vorlane").string();
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe_ends[1]);
    }
    ~piped_program() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (reader >= 0) ::close(reader);
    }

    void close_reader() {
        ::close(reader);
        reader = -1;
    }
    // The wait status once it has ended, or -1 while it runs.
    int ended() {
        int status = 0;
        return ::waitpid(pid, &status, WNOHANG) == pid ? (pid = -1, status) : -1;
    }
    int stop() {
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }

    pid_t pid = -1;
    int reader = -1;
};

TEST(Program, OutlivesTheReaderOfItsStandardError) {
    test::temp_dir dir;
    piped_program program(dir);
    ASSERT_GT(program.pid, 0);
    program.close_reader();
    // Long enough for several status changes, each written to the pipe nobody reads.
    std::this_thread::sleep_for(3500ms);
    const int status = program.ended();
    ASSERT_EQ(status, -1) << "ended with " << (WIFSIGNALED(status) ? "signal " : "status ")
                          << (WIFSIGNALED(status) ? WTERMSIG(status) : WEXITSTATUS(status));
    const int stopped = program.stop();
    EXPECT_TRUE(WIFEXITED(stopped) && WEXITSTATUS(stopped) == 0);
}

// The soft and hard "Max open files" of a running process.
std::pair<std::string, std::string> descriptor_limits(pid_t pid) {
    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    for (std::string line; std::getline(limits, line);) {
        if (line.rfind("Max open files", 0) != 0) continue;
        std::istringstream fields(line.substr(std::string("Max open files").size()));
        std::pair<std::string, std::string> found;
        fields >> found.first >> found.second;
        return found;
    }
    return {};
}

TEST(Program, RaisesItsDescriptorLimitToTheHardLimit) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    if (saved.rlim_max <= 64) GTEST_SKIP() << "the hard descriptor limit leaves nothing to raise";
    rlimit lowered = saved;
    lowered.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    test::temp_dir dir;
    piped_program program(dir);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    ASSERT_GT(program.pid, 0);
    std::this_thread::sleep_for(1500ms);
    const auto [soft, hard] = descriptor_limits(program.pid);
    EXPECT_FALSE(soft.empty());
    EXPECT_EQ(soft, hard);
}

}  // namespace
}  // namespace vorlane
