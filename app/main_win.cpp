#include "app/main_win.h"

#include <QTimer>
#include <exception>

#include "app/error_texts.h"
#include "status/status_listener.h"

namespace vorlane {

TMainWin::TMainWin(config_manager& settings, nmea_manager& streams, const std::filesystem::path& program_dir,
                   const input_factory& make_input, timers mode, QObject* parent)
    : QObject(parent),
      config(settings),
      manager(streams),
      reporter(program_dir / event_log_file_name, settings),
      outputs_(settings, streams, reporter),
      link(settings, streams, reporter),
      supervisor(settings, streams, program_dir / config_file_name, reporter, outputs_, link),
      drops_(*this, reporter, hour),
      status_http(new status_listener(*this, hour, this)),
      Timer1Sec(new QTimer(this)),
      Timer100ms(new QTimer(this)) {
    connect(&reporter, &status_reporter::status_changed, this, &TMainWin::status_changed);
    connect(&supervisor, &data_path_supervisor::configuration_loaded, this, &TMainWin::configuration_loaded);
    connect(&link, &input_link::input_state_changed, this, &TMainWin::input_state_changed);
    connect(&link, &input_link::notified, this, &TMainWin::on_notification);
    connect(Timer1Sec, &QTimer::timeout, this, &TMainWin::Timer1SecTimer);
    connect(Timer100ms, &QTimer::timeout, this, &TMainWin::Timer100msTimer);

    // Made last: its thread may report as soon as it exists.
    link.attach(make_input);

    if (mode == timers::running) {
        Timer1Sec->start(1000);
        Timer100ms->start(100);
    }
}

TMainWin::~TMainWin() {
    reporter.stopping();
    Timer1Sec->stop();
    Timer100ms->stop();
    link.stop();
    close_outputs();
    link.release();
}

void TMainWin::operator_confirmed_exit() {
    exit_confirmed_ = true;
    update_status("Vorlane closed by operator", true);
}

void TMainWin::Timer1SecTimer() {
    reporter.alive();
    drops_.tick();
    if (!supervisor.tick()) return;
    link.report_senders(queue_clock::now());
    status_http->keep_open(config.status_ip, config.status_port, std::to_array(config.output_port),
                           config.status_hosts);
}

void TMainWin::Timer100msTimer() {
    if (supervisor.is_data_path_ready()) outputs_.service();
}

void TMainWin::restart() {
    supervisor.reload_settings();
    try {
        link.close_input();
        close_outputs();
    } catch (const std::exception& e) {
        update_status(error_text(reported_error::restart_failed, e), true);
        return;
    }
    supervisor.reset_ladders();
}

void TMainWin::close_outputs() {
    status_http->close();
    outputs_.close_all();
}

input_drops TMainWin::drop_counts(int input_number) const {
    input_drops drops;
    if (input_number < 0 || input_number >= junction_box_count) return drops;
    const auto row = static_cast<std::size_t>(input_number);
    for (std::size_t k = 0; k < frame_skip_count; ++k)
        drops.frames[k] = link.skipped_frames(row, static_cast<frame_skip>(k));
    drops.stream = manager.statistics().input(input_number);
    // Input k feeds output k only: the output's dropped clients are counted with its input.
    drops.clients_not_reading = outputs_.not_reading_drops(input_number);
    return drops;
}

std::uint64_t TMainWin::unconfigured_frames() const {
    return link.skipped_frames(unknown_source_row, frame_skip::unconfigured_source);
}

void TMainWin::on_rx_datagram() {
    link.datagram_arrived();
    process_input();
}

void TMainWin::on_rx_idle() {
    process_input();
    link.went_idle();
}

void TMainWin::on_rx_disconnected() {
    supervisor.input_lost();
    link.disconnected();
}

void TMainWin::on_notification(rx_notification message) {
    switch (message) {
        case WM_RX_DATAGRAM:
            on_rx_datagram();
            break;
        case WM_RX_IDLE:
            on_rx_idle();
            break;
        case WM_RX_CONNECTED:
            on_rx_connected();
            break;
        case WM_RX_DISCONNECTED:
            on_rx_disconnected();
            break;
    }
}

}  // namespace vorlane
