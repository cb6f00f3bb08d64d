#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "controller/main_win.h"
#include "tests/support/free_ports.h"
#include "tests/support/temp_dir.h"

namespace vorlane::test {

// The capture input as a script: open_input answers as told (a refusal is reported and
// counted as the receive thread would), datagrams wait in a queue.
class scripted_input : public input_source {
  public:
    scripted_input(rx_target& reports_to, bool library_loaded) : target(reports_to), loaded(library_loaded) {}
    bool library_loaded() const override { return loaded; }
    bool open_input(const config_manager&) override {
        ++opens;
        if (!open_succeeds) {
            target.update_status("Error QXE-RECV-105: Unable to open adapter 'lo'", true);
            target.add_input_failure();
        }
        return open_succeeds;
    }
    void close_input() override { ++closes; }
    bool take_datagram(rx_datagram& record) override {
        if (waiting.empty()) return false;
        record = waiting.front();
        waiting.pop_front();
        return true;
    }
    std::uint64_t skipped_frames(std::size_t row, frame_skip why) const override {
        return skipped[row][static_cast<std::size_t>(why)];
    }
    void run_report() override {}
    void stop_thread() override { stopped = true; }
    void retry_lans() override {}

    // One captured frame whose UDP payload is the 8-byte header and `lines`.
    void capture(int input_index, const std::string& lines, bool bad_checksum = false) {
        capture_payload(input_index, std::string("UdPbC\0\0\0", 8) + lines, bad_checksum);
    }

    // One captured frame with exactly `payload` behind its Ethernet, IPv4 and UDP headers.
    void capture_payload(int input_index, std::string_view payload, bool bad_checksum) {
        rx_datagram d;
        const int offset = 14 + 20 + 8;
        if (offset + payload.size() > max_frame_length) throw std::length_error("frame too long for a slot");
        std::memcpy(d.frame + offset, payload.data(), payload.size());
        d.payload_offset = offset;
        d.frame_length = offset + static_cast<int>(payload.size());
        d.input_index = input_index;
        d.bad_checksum = bad_checksum;
        waiting.push_back(d);
    }

    rx_target& target;
    bool loaded;
    bool open_succeeds = true;
    int opens = 0;
    int closes = 0;
    bool stopped = false;
    std::deque<rx_datagram> waiting;
    std::array<std::array<std::uint64_t, frame_skip_count>, frame_count_rows> skipped{};
};

// The controller in a scratch directory with real output servers on a free loopback port pair,
// its input scripted and its timers driven by the caller, one tick at a time.
struct scripted_controller {
    temp_dir dir;
    // The status texts in the order the controller signalled them.
    struct recording_display {
        std::vector<std::string> shown;
    } display;
    config_manager config;
    std::unique_ptr<nmea_manager> manager = std::make_unique<nmea_manager>();
    scripted_input* input = nullptr;
    std::unique_ptr<TMainWin> controller;
    int first_port = free_port_pair();
    // Lines of the [QXInput] section ("input_1_format=iec450\n"), written with the settings.
    std::string input_settings;

    void write_settings(const std::string& input_ip = "127.0.0.1",
                        const std::string& output_ip = "127.0.0.1") {
        std::ofstream(dir / "Vorlane.ini")
            << "[Vorlane]\ninput_ip=" << input_ip << "\noutput_ip=" << output_ip
            << "\nfirst_output_port=" << first_port << "\n"
            << (input_settings.empty() ? "" : "[QXInput]\n" + input_settings);
    }

    void start(bool library_loaded = true) {
        set_defaults(config);
        controller = std::make_unique<TMainWin>(
            config, *manager, dir.path(),
            [this, library_loaded](rx_target& target) {
                auto made = std::make_unique<scripted_input>(target, library_loaded);
                input = made.get();
                return made;
            },
            TMainWin::timers::driven_by_caller);
        QObject::connect(&controller->status(), &status_reporter::status_changed,
                         [this](const QString& text) { display.shown.push_back(text.toStdString()); });
    }

    // Runs n 1-second ticks and answers the texts they showed.
    std::vector<std::string> ticks(int n = 1) {
        const std::size_t before = display.shown.size();
        for (int i = 0; i < n; ++i) controller->Timer1SecTimer();
        return {display.shown.begin() + static_cast<long>(before), display.shown.end()};
    }

    std::string log_text() const { return read_file(dir / "Vorlane.log"); }

    // Ticks from a normal start until "Ready"; false when the controller showed anything else.
    bool run_to_ready() {
        write_settings();
        start();
        ticks(3);
        controller->on_rx_connected();
        return ticks() == std::vector<std::string>{"Ready"};
    }
};

}  // namespace vorlane::test
