#pragma once

#include <QObject>
#include <filesystem>
#include <string>
#include <vector>

#include "config/config_manager.h"
#include "controller/configuration_target.h"
#include "controller/data_path_supervisor.h"
#include "controller/drop_reporter.h"
#include "controller/input_link.h"
#include "controller/input_source.h"
#include "controller/output_service.h"
#include "controller/status_reporter.h"
#include "controller/status_service.h"
#include "net/socket_server.h"
#include "stream/nmea_manager.h"

class QTimer;

namespace vorlane {

// The controller of the whole application: the logic of the main window, whose layout lives
// in ui/. It owns the parts that do the work and keeps the named entry points as short forwards
// into them: the reporter (status line, event log, service manager), the output service (the two
// servers, their clients and the 100 ms batches), the input link (the receive thread's
// notifications and frames), the supervisor (start-up, the retry ladders, Ready/Active/Idle), the
// drop reporter and the status service (the listener the ship's monitoring reads). Apart from the
// receive thread everything runs on the thread that owns it. The windows read the parts and
// connect to their signals.
class TMainWin : public QObject, public configuration_target {
    Q_OBJECT
  public:
    using input_factory = input_link::input_factory;
    enum class timers { running, driven_by_caller };

    // `config` and `manager` are the process-wide settings and stream manager. The settings file
    // and the event log live in `program_dir`. `make_input` makes the capture input (the program
    // binds make_capture_input to its capture helper). Nothing is shown or logged before the first
    // tick, so the windows may connect to the parts' signals after construction.
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

    void on_rx_datagram();
    void on_rx_idle();
    void on_rx_connected() { link.connected(); }
    void on_rx_disconnected();

    // The one reporting call: status line always, event log when write_log is set.
    void update_status(const std::string& text, bool write_log) override {
        reporter.update_status(text, write_log);
    }

    // The parts the windows read and connect to: the status texts and the log, the served text,
    // the drops, and the start-up stages.
    const status_reporter& status() const { return reporter; }
    const output_service& outputs() const { return outputs_; }
    const drop_reporter& drops() const { return drops_; }
    const data_path_supervisor& supervision() const { return supervisor; }

    // The operator has confirmed Exit: logged, and the program ends without another question.
    void operator_confirmed_exit();
    // The desktop is ending the user's session: the program ends without asking.
    void session_ending() { session_is_ending_ = true; }
    bool exit_confirmed_by_operator() const { return exit_confirmed_; }
    bool session_is_ending() const { return session_is_ending_; }

    // Logs, for each input, what was dropped since start (on request: SIGUSR1), and answers the
    // lines.
    std::vector<std::string> report_drops_since_start() { return drops_.report_since_start(); }

  private:
    void on_notification(rx_notification message);
    void close_outputs() { outputs_.close_all(); }

    status_reporter reporter;
    output_service outputs_;
    input_link link;
    data_path_supervisor supervisor;
    // The one hour of drops: the drop reporter closes and logs it, the status listener quotes it.
    drop_hour hour;
    drop_reporter drops_;
    status_service status_;
    QTimer* Timer1Sec;
    QTimer* Timer100ms;
    bool exit_confirmed_ = false;
    bool session_is_ending_ = false;
};

}  // namespace vorlane
