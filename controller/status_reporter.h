#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <string>

#include "config/config_manager.h"
#include "controller/event_log.h"
#include "controller/service_notify.h"

namespace vorlane {

// The one way the program reports: every text goes to the status line and the service manager,
// events and errors also to the event log. It shortens the log once a day, and tells the service
// manager about readiness, liveness and the end. The windows learn of each text and of each
// logged line through its signals.
class status_reporter : public QObject, private status_display {
    Q_OBJECT
  public:
    static constexpr int ticks_per_day = 86400;

    status_reporter(const std::filesystem::path& log_file, const config_manager& config);

    // Status line always, event log when write_log is set.
    void update_status(const std::string& text, bool write_log);
    void show(const std::string& text) { update_status(text, false); }
    // The newest status text.
    const std::string& status_text() const { return status_text_; }

    bool shorten_log_file() { return log.shorten_log_file(); }
    const std::filesystem::path& log_file_name() const { return log.get_log_file_name(); }
    // Called once a tick while the settings allow work: shortens the log once a day.
    void count_down_log_shortening();

    void ready() { service.ready(); }
    void alive() { service.alive(); }
    void stopping() { service.stopping(); }

  signals:
    // Every status text, as given to update_status.
    void status_changed(const QString& text);
    // A line has been appended to the event log.
    void log_appended();

  private:
    void show_status(const std::string& text) override;
    void refresh_log_viewer() override { emit log_appended(); }

    event_log log;
    service_notifier service;
    std::string status_text_;
    int log_shorten_countdown = ticks_per_day;
};

}  // namespace vorlane
