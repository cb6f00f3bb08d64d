#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "config/config_manager.h"
#include "config/text_file.h"

namespace vorlane {

// The event log beside the executable.
inline constexpr const char* event_log_file_name = "Vorlane.log";

// Where the event log's texts become visible. The controller implements it: it keeps the newest
// text and passes each on as a signal, to which the main window's status line, the Data
// Monitor's status panel and the Log viewer connect; the event log knows none of them.
class status_display {
  public:
    virtual ~status_display() = default;

    // The newest status text. Its receivers are connected directly, so the main window shows
    // status_panel_caption(text), repainted, and a shown Data Monitor monitor_status_caption(text)
    // before this returns.
    virtual void show_status(const std::string& text) = 0;
    // A line has been appended to the log file: the Log viewer reloads it if it is visible.
    virtual void refresh_log_viewer() = 0;
};

// The main window's status caption: one blank, then the text.
std::string status_panel_caption(std::string_view text);
// The Data Monitor's status panel: "Status:" and the main window's caption, so that two blanks
// stand between the colon and the text.
std::string monitor_status_caption(std::string_view text);

// The local time now, as the time stamp of a log line. Tests put a fixed clock in its place.
using local_time_source = std::function<std::tm()>;
std::tm current_local_time();
// "dd.mm.yy hh:nn": day, month, two-digit year, hour on the 24-hour clock, minute.
std::string log_time_stamp(const std::tm& time);

// The single way the program reports: every text replaces the status line, and events and
// errors are also appended to the log file with a time stamp. The file is opened and closed
// for each line, so the Log viewer may read it and shorten_log_file may replace it between
// any two lines. Used on the GUI thread only.
class event_log {
  public:
    // `config` is the process-wide settings record; its max_log_lines is read at each
    // shortening, so the first one at start-up uses the default.
    event_log(std::filesystem::path log_file, const config_manager& config, status_display& display,
              local_time_source local_time = current_local_time);

    // Never throws for a failure of the log: a line that cannot be appended is lost, and an
    // error while appending shows "Error QXE-500: ..." in the status line only; a refused log
    // (see open_checked) shows its refusal there once. Control bytes in `text` show as '.'.
    void update_status(const std::string& text, bool write_log);
    // Cuts a log of max_log_lines lines or more down to its newest max_log_lines / 2 lines and
    // logs that it did; reads no more of the file than those lines take (see read_log_tail). True when the
    // log is in order afterwards (missing, short enough or shortened); false after a failure, which is logged
    // and leaves the file as it was.
    bool shorten_log_file();
    const std::filesystem::path& get_log_file_name() const { return log_file_name_; }

  private:
    void append_line(std::string_view line);
    void report_refused_log(const refused_file& refusal);
    void write_shortened(std::string_view text);

    std::filesystem::path log_file_name_;
    const config_manager& config_;
    status_display& display_;
    local_time_source local_time_;
    bool log_refused_ = false;
};

}  // namespace vorlane
