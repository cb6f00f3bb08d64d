// The program itself, run headless in a scratch directory the way a service runs it:
// `vorlane 2>&1 | logger`, started with the low soft descriptor limit a service often gets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace vorlane {
namespace {

// The "Max open files" line of a running process: name, soft limit, hard limit, unit.
std::string descriptor_limits(pid_t pid) {
    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    for (std::string line; std::getline(limits, line);)
        if (line.rfind("Max open files", 0) == 0) return line;
    return {};
}

TEST(Program, OutlivesTheReaderOfItsStandardErrorWithItsDescriptorLimitRaised) {
    test::temp_dir dir;
    std::filesystem::copy_file(VORLANE_PROGRAM, dir / "vorlane");
    // Nothing to open: the status line changes every second all the same.
    test::write_file(dir / "Vorlane.ini", "[Vorlane]\ninput_ip=\noutput_ip=\n");
    const std::string program = (dir / "vorlane").string();
    int pipe_ends[2];
    ASSERT_EQ(::pipe2(pipe_ends, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 2);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    rlimit lowered = saved;
    lowered.rlim_cur = std::min<rlim_t>(64, saved.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &lowered);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_ends[1]);
    ::close(pipe_ends[0]);
    ASSERT_EQ(spawned, 0);

    // Long enough for several status lines, each written to a pipe nobody reads any more.
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    int status = 0;
    const bool ended = ::waitpid(pid, &status, WNOHANG) == pid;
    EXPECT_FALSE(ended) << "ended with signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    if (ended) return;
    std::istringstream limit(descriptor_limits(pid).substr(std::string("Max open files").size()));
    std::string soft, hard;
    limit >> soft >> hard;
    EXPECT_EQ(soft, hard) << "the soft descriptor limit was not raised";
    ::kill(pid, SIGTERM);
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace vorlane
