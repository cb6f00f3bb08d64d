// vorlane: the gateway program. No command-line options: the settings file "Vorlane.ini" and
// the event log "Vorlane.log" live beside the executable.
#include <QCoreApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include "app/main_win.h"
#include "config/config_manager.h"
#include "stream/nmea_manager.h"

namespace {

using namespace vorlane;

// Without windows the status line is standard error.
class stderr_status : public status_display {
public:
    void show_status(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }
    void refresh_log_viewer() override {}
};

// The end of the user's session and a service manager's stop both arrive as signals; the
// handler only writes a byte, and the event loop turns it into an orderly shut-down.
int signal_pipe[2] = {-1, -1};

void on_termination_signal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signal_pipe[1], &byte, 1);
}

bool route_termination_signals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_pipe) != 0) return false;
    struct sigaction action {};
    action.sa_handler = on_termination_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        if (::sigaction(signal, &action, nullptr) != 0) return false;
    return true;
}

}  // namespace

// The two process-wide objects, built before anything else of the program.
vorlane::config_manager settings;
static vorlane::nmea_manager stream_manager;

int main(int argc, char** argv) {
    set_defaults(settings);
    QCoreApplication application(argc, argv);
    const std::filesystem::path program_dir = QCoreApplication::applicationDirPath().toStdString();

    stderr_status display;
    TMainWin controller(settings, stream_manager, program_dir, display);

    if (!route_termination_signals()) {
        std::perror("vorlane: cannot route termination signals");
        return 1;
    }
    QSocketNotifier termination(signal_pipe[0], QSocketNotifier::Read);
    QObject::connect(&termination, &QSocketNotifier::activated, &controller, [&controller] {
        char byte;
        [[maybe_unused]] const auto read = ::read(signal_pipe[0], &byte, 1);
        controller.system_shutdown = true;
        controller.update_status("Vorlane shutting down", true);
        QCoreApplication::quit();
    });
    return application.exec();
}
