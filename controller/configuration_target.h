#pragma once

#include <string>

#include "stream/sender_identity.h"

namespace vorlane {

// What the configuration window needs of the program: the one reporting call, a restart of
// input and outputs with the settings it has just saved, and the Ethernet sender each junction
// box is seen sending from, which the operator may pin without typing it.
class configuration_target {
  public:
    // Status line always, event log when write_log is set.
    virtual void update_status(const std::string& text, bool write_log) = 0;
    // Stops input and outputs; the settings are read again at the next tick and everything reopens.
    virtual void restart() = 0;
    // Junction box `box` (0 or 1): its configured or confirmed sender, else the one sending alone
    // lately, and the newest other sender since the input opened.
    virtual sender_view sender_seen(int box) const = 0;

  protected:
    ~configuration_target() = default;
};

}  // namespace vorlane
