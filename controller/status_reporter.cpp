#include "controller/status_reporter.h"

namespace vorlane {

status_reporter::status_reporter(const std::filesystem::path& log_file, const config_manager& config)
    : log(log_file, config, *this) {}

void status_reporter::update_status(const std::string& text, bool write_log) {
    log.update_status(text, write_log);
    service.status(text);
}

void status_reporter::show_status(const std::string& text) {
    status_text_ = text;
    emit status_changed(QString::fromStdString(text));
}

void status_reporter::count_down_log_shortening() {
    if (log_shorten_countdown >= 0 && --log_shorten_countdown == 0) {
        log.shorten_log_file();
        log_shorten_countdown = ticks_per_day;
    }
}

}  // namespace vorlane
