#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/configuration_target.h"
#include "app/drop_report.h"
#include "app/event_log.h"
#include "app/input_source.h"
#include "app/service_notify.h"
#include "app/service_sockets.h"
#include "config/config_manager.h"
#include "net/address_watch.h"
#include "net/socket_server.h"
#include "status/status_facts.h"
#include "stream/nmea_manager.h"
#include "stream/sender_identity.h"

class QTimer;

namespace vorlane {

class status_listener;

// The controller of the whole application: the logic of the main window, whose layout lives
// in ui/. Apart from the receive thread everything runs on the thread that owns it: the
// 1-second supervision (start-up, opening and reopening outputs and input on a retry ladder,
// the status text), the 100 ms service that moves queued sentences to the TCP clients, the
// receive thread's four notifications and the output servers' socket events. The windows learn
// what happens through its signals and tell it what the operator did through named calls.
class TMainWin : public QObject,
                 public rx_target,
                 public configuration_target,
                 private status_display,
                 private status_source {
    Q_OBJECT
  public:
    using input_factory = std::function<std::unique_ptr<input_source>(rx_target&)>;
    enum class timers { running, driven_by_caller };

    static constexpr int output_count = 2;
    // A batch holds at most batch_capacity - 1 characters and its NUL.
    static constexpr std::int32_t batch_capacity = 4800;
    static constexpr int ticks_per_day = 86400;
    static constexpr int ticks_per_hour = 3600;
    static constexpr int output_backlog = 128;
    // Clients dropped for not reading that are logged by name in one look of a server.
    static constexpr int named_drops_per_look = 5;

    // `config` and `manager` are the process-wide settings and stream manager. The settings file
    // and the event log live in `program_dir`. Nothing is shown or logged before the first tick,
    // so the windows may connect to the signals after construction.
    TMainWin(config_manager& config, nmea_manager& manager, const std::filesystem::path& program_dir,
             const input_factory& make_input = make_capture_input, timers mode = timers::running,
             QObject* parent = nullptr);
    // Stops the receive thread and waits for it, closes both outputs, releases the capture library.
    ~TMainWin() override;

    void Timer1SecTimer();
    void Timer100msTimer();
    // After the configuration window saved new settings: stop input and outputs, read the
    // settings again at the next tick and reopen everything.
    void restart() override;
    void send_output(int output);
    // Hands the waiting datagrams to the stream manager, at most datagrams_per_turn of them: a
    // flood must leave the event loop free for the 100 ms batches and the 1-second tick, so the
    // rest is left for a call queued behind them, and what the ring cannot hold meanwhile is
    // counted there as "ring full".
    void process_input();
    // A turn of a few milliseconds even when every datagram is full of sentences.
    static constexpr int datagrams_per_turn = 256;

    void on_rx_datagram();
    void on_rx_idle();
    void on_rx_connected();
    void on_rx_disconnected();

    TWSocketServer* output_server(int output);
    bool open_output(int output);
    void close_output(int output);
    void close_outputs();

    // The one reporting call: status line always, event log when write_log is set.
    void update_status(const std::string& text, bool write_log) override;
    bool shorten_log_file() { return log.shorten_log_file(); }
    const std::filesystem::path& get_log_file_name() const { return log.get_log_file_name(); }

    // The Data Monitor window has been opened or closed: batch_sent and outputs_serviced are
    // emitted only while it is open.
    void data_monitor_opened() { data_monitor_open = true; }
    void data_monitor_closed() { data_monitor_open = false; }
    bool is_data_monitor_open() const { return data_monitor_open; }
    // Where the Data Monitor says the served text is available: the output address (the first
    // adapter's when the outputs listen on every adapter) and the first output port.
    std::string served_address() const;
    int first_output_port() const { return manager.output_ports[0]; }

    // The operator has confirmed Exit: logged, and the program ends without another question.
    void operator_confirmed_exit();
    // The desktop is ending the user's session: the program ends without asking.
    void session_ending() { session_is_ending_ = true; }
    bool exit_confirmed_by_operator() const { return exit_confirmed_; }
    bool session_is_ending() const { return session_is_ending_; }

    // State the windows and tests read.
    bool is_data_path_ready() const { return data_path_ready; }
    bool is_output_open(int output) const { return output_open.at(output); }
    bool is_input_open() const { return input_open; }
    bool is_capture_loaded() const { return capture_loaded; }
    int input_failures() const { return input_fail_count; }

    // What was dropped on an input (0 or 1) and why, since start.
    input_drops drop_counts(int input) const;
    // Frames of neither junction box's source, destination and port, since start.
    std::uint64_t unconfigured_frames() const;
    // The stream manager's counts, with the newest rejected lines.
    const stream_statistics& statistics() const { return manager.statistics(); }
    // Logs, for each input, what was dropped since start (on request: SIGUSR1), and answers the
    // lines.
    std::vector<std::string> report_drops_since_start();

    // The retry ladder: ticks to wait before the next attempt after `failures` failed ones.
    static int retry_delay(int failures);

  signals:
    // The settings file has been read (or written with the defaults) and the ports are known.
    void configuration_loaded();
    // Every status text, as given to update_status.
    void status_changed(const QString& text);
    // A line has been appended to the event log.
    void log_appended();
    // The text of a batch just sent to the clients of `output`; while the Data Monitor is open
    // only.
    void batch_sent(int output, std::string_view text);
    // Once per 100 ms service, after its batches; while the Data Monitor is open only.
    void outputs_serviced();
    // The capture input has started (open) or stopped capturing.
    void input_state_changed(bool open);
    // Once a second: the drop counts may have changed.
    void statistics_tick();

  private:
    // status_display, called by the event log.
    void show_status(const std::string& text) override {
        status_text = text;
        emit status_changed(QString::fromStdString(text));
    }
    // status_source, read by the status listener when a request comes.
    status_facts current_status() const override;
    void refresh_log_viewer() override { emit log_appended(); }

    // rx_target, called by the receive thread: queued to this object's thread, never waiting.
    void post_notification(rx_notification message) override;
    void post_report() override;
    bool application_closing() const override { return closing; }
    void add_input_failure() override { ++input_fail_count; }

    void show(const std::string& text) { update_status(text, false); }
    bool load_configuration();
    void supervise();
    void count_down_log_shortening();
    bool open_input();
    void report_hourly_drops();
    void report_senders(queue_clock::time_point now);

    void on_addresses_changed();
    void WSocketServerOutChangeState(TWSocketServer* server, socket_state old_state, socket_state new_state);
    void WSocketServerOutBgException(TWSocketServer* server, const QString& error, bool* can_abort);
    void WSocketServerOutClientConnect(TWSocketServer* server, TWSocketClient* client);
    void WSocketServerOutClientsNotReading(TWSocketServer* server, const QStringList& peers);

    config_manager& config;
    nmea_manager& manager;
    // Which Ethernet address each junction box's datagrams must come from.
    sender_identity senders;
    std::filesystem::path config_file;
    event_log log;
    service_notifier service;
    // Made before the output servers: they may serve on these sockets.
    service_sockets passed_sockets;
    bool data_monitor_open = false;
    bool exit_confirmed_ = false;
    bool session_is_ending_ = false;

    int input_fail_count = 0;
    bool data_path_ready = false;
    bool startup_done = false;
    bool config_loaded = false;
    bool traffic_active = false;
    int log_shorten_countdown = ticks_per_day;
    // Counted from the first tick, whether or not the data path is up: drops are reported
    // hourly for as long as the program runs.
    int drop_report_countdown = ticks_per_hour;
    std::array<input_drops, output_count> hour_baseline{};
    std::array<bool, output_count> output_open{false, false};
    std::array<int, output_count> output_countdown{1, 1};
    std::array<int, output_count> output_fail_count{0, 0};
    bool input_open = false;
    int input_countdown = 2;
    std::array<std::array<char, batch_capacity + 1>, output_count> output_text{};
    bool new_traffic = false;
    bool input_idle = true;
    // A call of process_input is queued for the datagrams that one turn left waiting.
    bool more_input_queued = false;
    bool closing = false;
    // The last failure of the configuration stage, logged once however often it repeats.
    std::string last_stage_error;
    // For the status listener: the newest status text, and what each output wrote since start.
    std::string status_text;
    std::array<output_traffic, output_count> output_sent{};

    TWSocketServer* WSocketServerOut1;
    TWSocketServer* WSocketServerOut2;
    QTimer* Timer1Sec;
    QTimer* Timer100ms;
    address_watch* addresses;
    status_listener* status_http;
    // Made last: its thread may report as soon as it exists.
    std::unique_ptr<input_source> input;
    bool capture_loaded;
};

}  // namespace vorlane
