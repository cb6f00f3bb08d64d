#include "controller/data_path_supervisor.h"

#include <exception>
#include <system_error>
#include <utility>

#include "base/error_texts.h"

namespace vorlane {

data_path_supervisor::data_path_supervisor(config_manager& settings, nmea_manager& streams,
                                           std::filesystem::path settings_file, status_reporter& status,
                                           output_service& served, input_link& input)
    : config(settings),
      manager(streams),
      config_file(std::move(settings_file)),
      reporter(status),
      outputs(served),
      link(input),
      addresses(new address_watch(this)) {
    output_countdown.fill(1);
    connect(addresses, &address_watch::addresses_changed, this, &data_path_supervisor::on_addresses_changed);
    connect(&outputs, &output_service::listening_changed, this, [this](int output, bool listening) {
        if (listening) output_fail_count[output] = 0;
    });
}

int data_path_supervisor::retry_delay(int failures) {
    if (failures < 10) return 10;
    if (failures < 20) return 60;
    if (failures < 30) return 3600;
    return status_reporter::ticks_per_day;
}

bool data_path_supervisor::tick() {
    if (!startup_done) {
        data_path_ready = false;
        reporter.update_status("Kestav Translator starting...", true);
        startup_done = true;
        // The settings are not read yet: this first shortening uses the default limit.
        reporter.shorten_log_file();
    }
    if (!config_loaded && !load_configuration()) {
        reporter.count_down_log_shortening();
        return false;
    }
    supervise();
    return true;
}

// False when the stage must run again on the next tick.
bool data_path_supervisor::load_configuration() {
    try {
        data_path_ready = false;
        reporter.show("Loading config...");
        // A path that cannot be examined is not written over: reading it reports why.
        std::error_code unexaminable;
        const bool present = std::filesystem::exists(config_file, unexaminable) || unexaminable;
        if (!present && !write_config(config, config_file)) {
            const std::string error = take_error(config);
            reporter.update_status(error.empty() ? error_text(reported_error::settings_create_failed) : error,
                                   true);
        }
        if (read_config(config, config_file)) {
            reporter.show("Config loaded");
        } else {
            const std::string error = take_error(config);
            reporter.update_status(error.empty() ? error_text(reported_error::settings_read_failed) : error,
                                   true);
        }
        manager.output_ports = std::to_array(config.output_port);
        for (const std::string& error : link.apply_formats()) reporter.update_status(error, true);
        for (const std::string& error : outputs.apply_udp_settings()) reporter.update_status(error, true);
        config_loaded = true;
        emit configuration_loaded();
        return true;
    } catch (const std::exception& e) {
        // Tried again every second, the same failure is logged only when it first occurs and
        // when it changes.
        const std::string error = error_text(reported_error::configuration_load_failed, e);
        reporter.update_status(error, error != last_stage_error);
        last_stage_error = error;
        return false;
    }
}

void data_path_supervisor::supervise() {
    if (!link.library_loaded()) {
        reporter.show("WinPCap is required, please install.");
        return;
    }
    if (config.input_ip.empty() || config.output_ip.empty()) {
        reporter.show("Please configure network settings");
        return;
    }
    reporter.count_down_log_shortening();

    // A countdown that reaches 0 makes one attempt; the next tick takes it to -1, and the one
    // after arms it again from the ladder, so attempts are one tick further apart than the
    // ladder says.
    bool all_open = true;
    for (int o = 0; o < output_count; ++o) {
        if (outputs.is_open(o)) continue;
        all_open = false;
        if (output_countdown[o] < 0) output_countdown[o] = retry_delay(output_fail_count[o]);
        if (output_countdown[o] >= 0) --output_countdown[o];
        if (output_countdown[o] == 0) {
            reporter.show("Opening outputs");
            data_path_ready = false;
            if (!outputs.open_output(o)) ++output_fail_count[o];
        }
    }
    // The input is not touched while an output is closed.
    if (!all_open) return;

    if (!link.is_open()) {
        all_open = false;
        if (input_countdown < 0) input_countdown = retry_delay(link.failures());
        if (input_countdown >= 0) --input_countdown;
        if (input_countdown == 0) {
            reporter.show("Opening input");
            data_path_ready = false;
            link.open_input();
        }
    }
    if (!all_open) return;
    link.retry_lans();

    if (!data_path_ready) {
        reporter.show("Ready");
        data_path_ready = true;
        reporter.ready();
    } else if (link.take_new_traffic()) {
        if (!traffic_active) {
            reporter.show("Active");
            traffic_active = true;
        }
    } else if (link.is_idle() && traffic_active) {
        reporter.show("Idle");
        traffic_active = false;
    }
}

void data_path_supervisor::reset_ladders() {
    output_countdown.fill(1);
    output_fail_count.fill(0);
    input_countdown = 2;
    link.reset_failures();
}

void data_path_supervisor::input_lost() {
    data_path_ready = false;
    traffic_active = false;
    // A restart has already armed the reopening: the capture it stopped ends here.
    if (input_countdown <= 0) input_countdown = -1;
}

// An adapter gained or lost an address (DHCP, a cable). Outputs told to listen on a specific
// address that has gone are closed rather than left bound to nothing while the status says
// "Ready"; every closed output is tried again at the next tick, on the address as it is then,
// and its listen error stays on the status line while the address is missing. A waiting
// input is tried again at the next tick too; the ladder itself is not reset.
void data_path_supervisor::on_addresses_changed() {
    const bool specific_address = config.output_ip != "0.0.0.0";
    for (int o = 0; o < output_count; ++o) {
        if (specific_address && outputs.is_open(o) && !address_watch::is_local_address(config.output_ip))
            outputs.close_output(o);
        if (!outputs.is_open(o)) output_countdown[o] = 1;
    }
    if (!link.is_open() && input_countdown > 1) input_countdown = 1;
}

}  // namespace vorlane
