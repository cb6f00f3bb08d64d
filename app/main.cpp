// vorlane: the gateway program. No command-line options: the settings file "Vorlane.ini" and
// the event log "Vorlane.log" live in the folder the build names (VORLANE_DATA_DIR), or beside
// the executable when it names none.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/auxv.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QSocketNotifier>
#include <algorithm>
#include <array>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/main_window.h"
#include "base/shown_text.h"
#include "capture/capabilities.h"
#include "capture/capture_api.h"
#include "capture/capture_helper.h"
#include "config/config_manager.h"
#include "config_window/config_win.h"
#include "controller/input_source.h"
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
    // A burst of signals that fills the pair while the event loop is busy must not stop the
    // handler inside write(): the bytes already queued wake the loop anyway.
    if (::fcntl(signal_pipe[1], F_SETFL, O_NONBLOCK) != 0) return false;
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

// With file capabilities (or set-id) the program was started with rights its caller lacks. It
// gives them up before this runs (only the capture helper keeps the right to capture), but the
// caller still must not bring code or configuration into it: Qt takes plugin folders, plugin
// names with their options, a platform theme, a style, input methods and logging rules from QT_*
// variables and from options such as -platformpluginpath, -plugin and -platformtheme; GTK, GIO,
// Mesa, libglvnd, fontconfig and the X libraries that a platform plugin or theme pulls in read
// variables of their own, and the desktop's name decides which theme plugin is loaded. Rather
// than chase each, only what the program needs survives: the display, the locale, the account's
// names, the service manager's variables, and one of the platforms an operator's desktop or a
// service uses. Others (vnc, which would serve the windows to any network without a password;
// eglfs, linuxfb, ...) draw elsewhere than on the caller's desktop. Qt then sees no options at
// all, as the program takes none.
constexpr std::array<std::string_view, 3> accepted_platforms = {"xcb", "wayland", "offscreen"};

bool is_kept_variable(std::string_view name, std::string_view value) {
    // The service manager's variables include the sockets it passes (LISTEN_*): they name only
    // descriptors the process already holds, and each is taken only when it listens on an
    // output's port.
    static constexpr std::array<std::string_view, 17> kept = {"HOME",
                                                              "USER",
                                                              "LOGNAME",
                                                              "LANG",
                                                              "LANGUAGE",
                                                              "TZ",
                                                              "DISPLAY",
                                                              "WAYLAND_DISPLAY",
                                                              "XAUTHORITY",
                                                              "XDG_RUNTIME_DIR",
                                                              "XDG_SESSION_TYPE",
                                                              "NOTIFY_SOCKET",
                                                              "WATCHDOG_USEC",
                                                              "WATCHDOG_PID",
                                                              "LISTEN_PID",
                                                              "LISTEN_FDS",
                                                              "LISTEN_FDNAMES"};
    for (const std::string_view entry : kept)
        if (name == entry) return true;
    if (name.starts_with("LC_")) return true;
    if (name != "QT_QPA_PLATFORM") return false;
    if (std::find(accepted_platforms.begin(), accepted_platforms.end(), value) != accepted_platforms.end())
        return true;
    std::fprintf(stderr,
                 "vorlane: QT_QPA_PLATFORM=%s refused: started with capture rights, only xcb, wayland and "
                 "offscreen are accepted\n",
                 without_control_bytes(value).c_str());
    return false;
}

void ignore_caller_configuration(int& argc) {
    std::vector<std::pair<std::string, std::string>> kept;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text = *entry;
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) continue;
        if (is_kept_variable(text.substr(0, equals), text.substr(equals + 1)))
            kept.emplace_back(text.substr(0, equals), text.substr(equals + 1));
    }
    ::clearenv();
    for (const auto& [name, value] : kept) ::setenv(name.c_str(), value.c_str(), 1);
    argc = 1;
}

// Plugins come from Qt's installed folder alone, never from the program's folder, which Qt
// adds when the application object is built. Qt then replays a list set before that on top of
// its own, and a folder it had computed before and the set list leaves out stays out: so the
// program's folder is made one of those it computed, through its plugin path variable, before
// the list is set.
void load_plugins_from_qt_only() {
    std::error_code error;
    const std::filesystem::path program_dir =
        std::filesystem::canonical("/proc/self/exe", error).parent_path();
    if (!error) qputenv("QT_PLUGIN_PATH", QFile::encodeName(QString::fromStdString(program_dir.string())));
    QCoreApplication::setLibraryPaths({QLibraryInfo::path(QLibraryInfo::PluginsPath)});
    qunsetenv("QT_PLUGIN_PATH");
}

// Where the settings file and the event log live. A packaged program keeps them in a folder of
// their own, so that its program folder is root's alone; a build from source keeps them beside
// the executable.
std::filesystem::path data_folder() {
    constexpr std::string_view configured = VORLANE_DATA_DIR;
    if (!configured.empty()) return std::filesystem::path(configured);
    return QCoreApplication::applicationDirPath().toStdString();
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
    const std::string ip = adapter_ip(config.input_ip);
    std::uint32_t mask = 0;
    const std::string adapter = find_adapter_by_ip(ip, mask);
    // The addresses are the settings file's text: its control bytes must not reach a terminal.
    std::fprintf(stderr, "vorlane: capturing on adapter %s (%s)\n",
                 adapter.empty() ? "-, none found" : adapter.c_str(), without_control_bytes(ip).c_str());
    std::fprintf(stderr, "vorlane: junction box 1 served on %s port %d",
                 without_control_bytes(config.output_ip).c_str(), config.output_port[0]);
    for (int box = 1; box < junction_box_count; ++box)
        std::fprintf(stderr, ", junction box %d on port %d", box + 1, config.output_port[box]);
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

}  // namespace

// The two process-wide objects, built before anything else of the program.
static vorlane::config_manager settings;
static vorlane::nmea_manager stream_manager;

int main(int argc, char** argv) {
    // First of all, while nothing has read the environment or a file: the capture helper takes
    // the right to capture with it, and this process gives up every capability for good.
    // One helper per LAN, so that each adapter is opened, captured and retried on its own; the
    // second waits unasked while `input_ip_b` is empty.
    const capture_helper helper = capture_helper::start();
    const capture_helper helper_b = capture_helper::start();
    if (!helper.running() || !helper_b.running()) {
        std::perror("vorlane: cannot start the capture helper");
        return 1;
    }
    if (!restrict_capabilities(no_capabilities)) {
        std::perror("vorlane: cannot give up capabilities");
        return 1;
    }
    if (::getauxval(AT_SECURE) != 0) ignore_caller_configuration(argc);
    load_plugins_from_qt_only();
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
    const std::filesystem::path data_dir = data_folder();

    if (!route_termination_signals()) {
        std::perror("vorlane: cannot route termination signals");
        return 1;
    }

    toolkit_dialogs dialogs;
    try {
        TMainWindow main_window(settings, stream_manager, data_dir, dialogs,
                                [&helper, &helper_b](rx_target& target) {
                                    return make_capture_input(target, {helper.channel(), helper_b.channel()});
                                });
        const TMainWin& controller = main_window.controller();
        TLogViewWin log_viewer(&controller.status());
        TDataMonitorWin data_monitor(&controller.status(), &controller.outputs(), dialogs);
        TConfigWin config_window(settings, data_dir / config_file_name, main_window.controller(), dialogs);
        main_window.set_windows(&log_viewer, &data_monitor, &config_window);
        TStatisticsWin statistics(&controller.drops(), dialogs);
        main_window.set_statistics_window(&statistics);

        QObject::connect(&main_window, &TMainWindow::closed, &application, [] { QCoreApplication::exit(0); });
        if (offscreen) {
            QObject::connect(&controller.status(), &status_reporter::status_changed, [](const QString& text) {
                std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
                std::fflush(stderr);
            });
            const std::filesystem::path settings_file = data_dir / config_file_name;
            std::error_code unexaminable;
            QObject::connect(&controller.supervision(), &data_path_supervisor::configuration_loaded,
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
