#pragma once

#include <QObject>
#include <array>
#include <filesystem>
#include <string>

#include "config/config_manager.h"
#include "controller/input_link.h"
#include "controller/output_service.h"
#include "controller/status_reporter.h"
#include "net/address_watch.h"
#include "stream/nmea_manager.h"

namespace vorlane {

// The once-a-second supervision of the data path: the start-up stages (the settings read, or
// written with the defaults), opening the two outputs and then the input on a retry ladder each,
// reopening them when an adapter's addresses change, and the Ready/Active/Idle status.
class data_path_supervisor : public QObject {
    Q_OBJECT
  public:
    // The settings file is `config_file`; what it holds is read into `config` and `manager`.
    data_path_supervisor(config_manager& config, nmea_manager& manager, std::filesystem::path config_file,
                         status_reporter& reporter, output_service& outputs, input_link& link);

    // One second of supervision; false while the settings are not loaded.
    bool tick();
    // The settings are read again at the next tick.
    void reload_settings() { config_loaded = false; }
    // Every ladder starts again from its first step.
    void reset_ladders();
    // The capture has stopped: the data path is down until it reopens.
    void input_lost();
    bool is_data_path_ready() const { return data_path_ready; }

    // The retry ladder: ticks to wait before the next attempt after `failures` failed ones.
    static int retry_delay(int failures);

  signals:
    // The settings file has been read (or written with the defaults) and the ports are known.
    void configuration_loaded();

  private:
    bool load_configuration();
    void supervise();
    void on_addresses_changed();

    config_manager& config;
    nmea_manager& manager;
    std::filesystem::path config_file;
    status_reporter& reporter;
    output_service& outputs;
    input_link& link;
    bool startup_done = false;
    bool config_loaded = false;
    bool data_path_ready = false;
    bool traffic_active = false;
    // The last failure of the configuration stage, logged once however often it repeats.
    std::string last_stage_error;
    std::array<int, output_count> output_countdown{};
    std::array<int, output_count> output_fail_count{};
    int input_countdown = 2;
    address_watch* addresses;
};

}  // namespace vorlane
