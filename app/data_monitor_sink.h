#pragma once

#include <string_view>

namespace vorlane {

// What the controller hands to the Data Monitor window while it is shown: every batch it
// sends, and a call once per 100 ms service to show what has been appended.
class data_monitor_sink {
public:
    virtual ~data_monitor_sink() = default;

    // The operator has not paused the view.
    virtual bool show_output() const = 0;
    virtual void append_line(std::string_view text) = 0;
    virtual void flush_pending() = 0;
};

}  // namespace vorlane
