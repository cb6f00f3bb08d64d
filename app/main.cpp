// vorlane: the gateway program. No command-line options: the settings file "Vorlane.ini" and
// the event log "Vorlane.log" live beside the executable.
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "app/main_win_form.h"
#include "config/config_manager.h"
#include "config/config_win.h"
#include "monitor/data_monitor_win.h"
#include "monitor/log_view_win.h"
#include "stream/nmea_manager.h"
#include "ui/form_style.h"
#include "ui/operator_dialogs.h"

namespace {

using namespace vorlane;

// The end of the user's session on a desktop without a session manager and a service manager's
// stop both arrive as signals; the handler only writes a byte, and the event loop turns it into
// the close of the main window that the end of a log-on causes.
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

// Every display connection takes a descriptor, and so does every accept that cannot be served:
// the soft limit (often 1024) is raised as far as the hard one allows.
void raise_descriptor_limit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// A gateway on a bridge computer may run without a desktop: then the windows are drawn off
// screen, and the status line goes to standard error.
void choose_offscreen_without_display() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace

// The two process-wide objects, built before anything else of the program.
static vorlane::config_manager settings;
static vorlane::nmea_manager stream_manager;

int main(int argc, char** argv) {
    // Standard error may be a pipe to a logger that goes away: a write to it, the toolkit's
    // own warnings included, then fails with EPIPE instead of ending the program.
    std::signal(SIGPIPE, SIG_IGN);
    raise_descriptor_limit();
    set_defaults(settings);
    choose_offscreen_without_display();
    QApplication application(argc, argv);
    // Only the main window's close ends the program; the other windows merely hide.
    QApplication::setQuitOnLastWindowClosed(false);
    const bool offscreen = QGuiApplication::platformName() == "offscreen";
    register_font_substitutes();
    const std::filesystem::path program_dir = QCoreApplication::applicationDirPath().toStdString();

    if (!route_termination_signals()) {
        std::perror("vorlane: cannot route termination signals");
        return 1;
    }

    toolkit_dialogs dialogs;
    try {
        TMainWinForm main_window(settings, stream_manager, program_dir, dialogs);
        TLogViewWin log_viewer(&main_window);
        TDataMonitorWin data_monitor(&main_window, settings, stream_manager, dialogs);
        TConfigWin config_window(settings, program_dir / config_file_name, main_window.controller(), dialogs);
        main_window.set_windows(&log_viewer, &data_monitor, &config_window);

        QObject::connect(&main_window, &TMainWinForm::closed, &application,
                         [] { QCoreApplication::exit(0); });
        if (offscreen)
            QObject::connect(&main_window, &TMainWinForm::status_changed, [](const QString& text) {
                std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
                std::fflush(stderr);
            });
        QSocketNotifier termination(signal_pipe[0], QSocketNotifier::Read);
        QObject::connect(&termination, &QSocketNotifier::activated, &main_window, [&main_window] {
            char byte;
            [[maybe_unused]] const auto read = ::read(signal_pipe[0], &byte, 1);
            main_window.end_session();
        });

        main_window.showMinimized();
        return application.exec();
    } catch (const std::exception& e) {
        // Nobody could answer a message box without a screen.
        if (offscreen)
            std::fprintf(stderr, "vorlane: %s\n", e.what());
        else
            QMessageBox::critical(nullptr, "Vorlane", QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
