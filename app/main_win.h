#pragma once

#include <QObject>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/configuration_target.h"
#include "app/data_path_supervisor.h"
#include "app/drop_reporter.h"
#include "app/input_link.h"
#include "app/input_source.h"
#include "app/output_service.h"
#include "app/status_reporter.h"
#include "config/config_manager.h"
#include "net/socket_server.h"
#include "status/status_facts.h"
#include "stream/nmea_manager.h"

class QTimer;

namespace vorlane {

class status_listener;

// The controller of the whole application: the logic of the main window, whose layout lives
// in ui/. It owns the parts that do the work and keeps the named entry points as short forwards
// into them: the reporter (status line, event log, service manager), the output service (the two
// servers, their clients and the 100 ms batches), the input link (the receive thread's
// notifications and frames), the supervisor (start-up, the retry ladders, Ready/Active/Idle) and
// the drop reporter. Apart from the receive thread everything runs on the thread that owns it.
// The windows read the parts and connect to their signals.
class TMainWin : public QObject, public configuration_target, public drop_counts_view, private status_source {
    Q_OBJECT
  public:
    using input_factory = input_link::input_factory;
    enum class timers { running, driven_by_caller };

    static constexpr int ticks_per_hour = drop_hour::ticks_per_hour;

    // `config` and `manager` are the process-wide settings and stream manager. The settings file
    // and the event log live in `program_dir`. `make_input` makes the capture input (the program
    // binds make_capture_input to its capture helper). Nothing is shown or logged before the first
    // tick, so the windows may connect to the signals after construction.
    TMainWin(config_manager& config, nmea_manager& manager, const std::filesystem::path& program_dir,
             const input_factory& make_input, timers mode = timers::running, QObject* parent = nullptr);
    // Stops the receive thread and waits for it, closes both outputs, releases the capture library.
    ~TMainWin() override;

    void Timer1SecTimer();
    void Timer100msTimer();
    // After the configuration window saved new settings: stop input and outputs, read the
    // settings again at the next tick and reopen everything.
    void restart() override;
    sender_view sender_seen(int box) const override { return link.sender_seen(box); }
    void send_output(int output) { outputs_.send_output(output); }
    void process_input() { link.process_input(); }
    static constexpr int datagrams_per_turn = input_link::datagrams_per_turn;

    void on_rx_datagram();
    void on_rx_idle();
    void on_rx_connected() { link.connected(); }
    void on_rx_disconnected();

    TWSocketServer* output_server(int output) { return outputs_.output_server(output); }
    bool open_output(int output) { return outputs_.open_output(output); }
    void close_output(int output) { outputs_.close_output(output); }
    void close_outputs();

    // The one reporting call: status line always, event log when write_log is set.
    void update_status(const std::string& text, bool write_log) override {
        reporter.update_status(text, write_log);
    }
    bool shorten_log_file() { return reporter.shorten_log_file(); }
    const std::filesystem::path& get_log_file_name() const { return reporter.log_file_name(); }

    // The parts the windows read: the status texts and the log, the served text, the drops.
    const status_reporter& status() const { return reporter; }
    const output_service& outputs() const { return outputs_; }
    const drop_reporter& drops() const { return drops_; }

    // The operator has confirmed Exit: logged, and the program ends without another question.
    void operator_confirmed_exit();
    // The desktop is ending the user's session: the program ends without asking.
    void session_ending() { session_is_ending_ = true; }
    bool exit_confirmed_by_operator() const { return exit_confirmed_; }
    bool session_is_ending() const { return session_is_ending_; }

    // State the windows and tests read.
    bool is_data_path_ready() const { return supervisor.is_data_path_ready(); }
    bool is_output_open(int output) const { return outputs_.is_open(output); }
    bool is_input_open() const { return link.is_open(); }
    bool is_capture_loaded() const { return link.library_loaded(); }
    int input_failures() const { return link.failures(); }

    input_drops drop_counts(int input) const override;
    std::uint64_t unconfigured_frames() const override;
    const stream_statistics& statistics() const override { return manager.statistics(); }
    // Logs, for each input, what was dropped since start (on request: SIGUSR1), and answers the
    // lines.
    std::vector<std::string> report_drops_since_start() { return drops_.report_since_start(); }

    static int retry_delay(int failures) { return data_path_supervisor::retry_delay(failures); }

  signals:
    // The settings file has been read (or written with the defaults) and the ports are known.
    void configuration_loaded();
    // Every status text, as given to update_status.
    void status_changed(const QString& text);
    // The capture input has started (open) or stopped capturing.
    void input_state_changed(bool open);

  private:
    // status_source, read by the status listener when a request comes.
    status_facts current_status() const override;
    void on_notification(rx_notification message);

    const config_manager& config;
    nmea_manager& manager;
    status_reporter reporter;
    output_service outputs_;
    input_link link;
    data_path_supervisor supervisor;
    // The one hour of drops: the drop reporter closes and logs it, the status listener quotes it.
    drop_hour hour;
    drop_reporter drops_;
    status_listener* status_http;
    QTimer* Timer1Sec;
    QTimer* Timer100ms;
    bool exit_confirmed_ = false;
    bool session_is_ending_ = false;
};

}  // namespace vorlane
