#include "controller/main_win.h"

#include <QTimer>
#include <exception>

#include "base/error_texts.h"

namespace vorlane {

TMainWin::TMainWin(config_manager& settings, nmea_manager& streams, const std::filesystem::path& program_dir,
                   const input_factory& make_input, timers mode, QObject* parent)
    : QObject(parent),
      reporter(program_dir / event_log_file_name, settings),
      outputs_(settings, streams, reporter),
      link(settings, streams, reporter),
      supervisor(settings, streams, program_dir / config_file_name, reporter, outputs_, link),
      drops_(streams, link, outputs_, reporter, hour),
      status_(settings, reporter, link, outputs_, drops_, hour),
      Timer1Sec(new QTimer(this)),
      Timer100ms(new QTimer(this)) {
    // The wiring rule: a part is given the parts it reads, never the controller, and a window
    // connects to the part it shows (the status line and the log to status(), the served text to
    // outputs(), the counts to drops(), the start-up stages to supervision()), never to the
    // controller, which relays no part's signal.
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
    status_.keep_open();
}

void TMainWin::Timer100msTimer() {
    if (supervisor.is_data_path_ready()) outputs_.service();
}

void TMainWin::restart() {
    supervisor.reload_settings();
    try {
        link.close_input();
        close_outputs();
        status_.close();
    } catch (const std::exception& e) {
        update_status(error_text(reported_error::restart_failed, e), true);
        return;
    }
    supervisor.reset_ladders();
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
