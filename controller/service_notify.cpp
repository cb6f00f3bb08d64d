#include "controller/service_notify.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>

namespace vorlane {

namespace {

// Without a watchdog the start-up is still extended, by a few ticks at a time.
constexpr std::uint64_t default_start_extension_us = 10'000'000;

}  // namespace

void service_notifier::status(const std::string& text) {
    // The protocol separates assignments by line breaks; a text must stay one assignment.
    std::string line = text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    sd_notifyf(0, "STATUS=%s", line.c_str());
}

void service_notifier::ready() {
    ready_sent = true;
    sd_notify(0, "READY=1");
}

void service_notifier::alive() {
    if (ready_sent) {
        sd_notify(0, "WATCHDOG=1");
        return;
    }
    std::uint64_t watchdog_us = 0;
    const std::uint64_t extension_us =
        sd_watchdog_enabled(0, &watchdog_us) > 0 ? watchdog_us : default_start_extension_us;
    sd_notifyf(0, "WATCHDOG=1\nEXTEND_TIMEOUT_USEC=%llu", static_cast<unsigned long long>(extension_us));
}

void service_notifier::stopping() {
    sd_notify(0, "STOPPING=1");
}

}  // namespace vorlane
