#pragma once

#include <string>

namespace vorlane {

// What the configuration window needs of the program: the one reporting call, and a restart of
// input and outputs with the settings it has just saved.
class configuration_target {
  public:
    // Status line always, event log when write_log is set.
    virtual void update_status(const std::string& text, bool write_log) = 0;
    // Stops input and outputs; the settings are read again at the next tick and everything reopens.
    virtual void restart() = 0;

  protected:
    ~configuration_target() = default;
};

}  // namespace vorlane
