// vorlane: the gateway program. No command-line options: the settings file "Vorlane.ini" and
// the event log "Vorlane.log" live beside the executable.
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "app/main_window.h"
#include "capture/capture_api.h"
#include "config/config_manager.h"
#include "config/config_win.h"
#include "monitor/data_monitor_win.h"
#include "monitor/log_view_win.h"
#include "monitor/statistics_win.h"
#include "stream/nmea_manager.h"
#include "ui/form_style.h"
#include "ui/operator_dialogs.h"

namespace {

using namespace vorlane;

// The end of the user's session on a desktop without a session manager and a service manager's
// stop both arrive as signals; the handler only writes a byte, and the event loop turns it into
// the close of the main window that the end of a log-on causes.
int signal_pipe[2] = {-1, -1};
// The byte says which: an operator's request for the drop totals, or the end of the program.
constexpr char termination_byte = 1;
constexpr char drop_totals_byte = 2;

void on_termination_signal(int) {
    [[maybe_unused]] const auto written = ::write(signal_pipe[1], &termination_byte, 1);
}

void on_drop_totals_signal(int) {
    [[maybe_unused]] const auto written = ::write(signal_pipe[1], &drop_totals_byte, 1);
}

bool route_termination_signals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_pipe) != 0) return false;
    struct sigaction action {};
    action.sa_handler = on_termination_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        if (::sigaction(signal, &action, nullptr) != 0) return false;
    action.sa_handler = on_drop_totals_signal;
    return ::sigaction(SIGUSR1, &action, nullptr) == 0;
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

// Qt keeps its runtime files in XDG_RUNTIME_DIR and warns when a service or a plain log-in has
// none; such a start gets a private folder for this run, removed again at exit.
class private_runtime_dir {
  public:
    private_runtime_dir() {
        if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
        std::string name = (std::filesystem::temp_directory_path() / "vorlane-runtime-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) return;
        path = name;
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(name));
    }
    ~private_runtime_dir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    private_runtime_dir(const private_runtime_dir&) = delete;
    private_runtime_dir& operator=(const private_runtime_dir&) = delete;

  private:
    std::filesystem::path path;
};

// Whoever reads a headless start's output learns first where the settings came from, which
// adapter is captured and which ports the conning display connects to.
void describe_setup(const config_manager& config, const std::filesystem::path& settings_file, bool existed) {
    // A path that cannot be examined (a symbolic link loop) has been reported by the controller;
    // here it only chooses the words.
    std::error_code unexaminable;
    const bool exists_now = std::filesystem::exists(settings_file, unexaminable);
    const char* origin = existed        ? "read"
                         : unexaminable ? "not examinable, defaults in use"
                         : exists_now   ? "created with the defaults"
                                        : "missing and not writable, defaults in use";
    std::fprintf(stderr, "vorlane: settings %s (%s)\n", settings_file.c_str(), origin);
    const std::string ip = config.input_ip == "0.0.0.0" ? first_adapter_ip() : config.input_ip;
    std::uint32_t mask = 0;
    const std::string adapter = find_adapter_by_ip(ip, mask);
    std::fprintf(stderr, "vorlane: capturing on adapter %s (%s)\n",
                 adapter.empty() ? "-, none found" : adapter.c_str(), ip.c_str());
    std::fprintf(stderr, "vorlane: junction box 1 served on %s port %d, junction box 2 on port %d\n",
                 config.output_ip.c_str(), config.output_port[0], config.output_port[1]);
    std::fflush(stderr);
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
    const private_runtime_dir runtime_dir;
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
        TMainWindow main_window(settings, stream_manager, program_dir, dialogs);
        TLogViewWin log_viewer(&main_window);
        TDataMonitorWin data_monitor(&main_window, dialogs);
        TConfigWin config_window(settings, program_dir / config_file_name, main_window.controller(), dialogs);
        main_window.set_windows(&log_viewer, &data_monitor, &config_window);
        TStatisticsWin statistics(&main_window, dialogs);
        main_window.set_statistics_window(&statistics);

        QObject::connect(&main_window, &TMainWindow::closed, &application, [] { QCoreApplication::exit(0); });
        if (offscreen) {
            QObject::connect(&main_window.controller(), &TMainWin::status_changed, [](const QString& text) {
                std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
                std::fflush(stderr);
            });
            const std::filesystem::path settings_file = program_dir / config_file_name;
            std::error_code unexaminable;
            QObject::connect(&main_window.controller(), &TMainWin::configuration_loaded,
                             [settings_file, existed = std::filesystem::exists(settings_file, unexaminable)] {
                                 describe_setup(settings, settings_file, existed);
                             });
        }
        QSocketNotifier termination(signal_pipe[0], QSocketNotifier::Read);
        QObject::connect(&termination, &QSocketNotifier::activated, &main_window, [&main_window, offscreen] {
            char byte = 0;
            if (::read(signal_pipe[0], &byte, 1) != 1 || byte != drop_totals_byte) {
                main_window.end_session();
                return;
            }
            // Whoever sent the signal reads the answer on standard error, with or without a
            // display; headless, every status text goes there already.
            for (const std::string& line : main_window.controller().report_drops_since_start())
                if (!offscreen) std::fprintf(stderr, "%s\n", line.c_str());
            std::fflush(stderr);
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
