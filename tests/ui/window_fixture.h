#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QPalette>
#include <QTcpServer>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/support/free_ports.h"
#include "tests/support/temp_dir.h"
#include "ui/operator_dialogs.h"

namespace vorlane::test {

// Answers the windows' questions in the operator's place, from a script, and keeps every
// question asked. An unscripted question is answered No, and an unscripted save dialog is
// cancelled, so a test that forgot one cannot go on as if the operator had agreed.
class scripted_dialogs : public operator_dialogs {
  public:
    struct question {
        QString caption;
        QString text;
        icon symbol;
    };
    struct save_request {
        QString title;
        QString filter;
    };

    bool ask_yes_no(QWidget*, const QString& caption, const QString& text, icon symbol) override {
        asked.push_back({caption, text, symbol});
        if (answers.empty()) return false;
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }
    QString save_file_name(QWidget*, const QString& title, const QString& filter) override {
        save_requests.push_back({title, filter});
        if (file_names.empty()) return {};
        const QString name = file_names.front();
        file_names.pop_front();
        return name;
    }

    std::deque<bool> answers;
    std::deque<QString> file_names;
    std::vector<question> asked;
    std::vector<save_request> save_requests;
};

// The capture input of a machine where every adapter opens at once; no frames arrive.
class idle_input : public input_source {
  public:
    bool library_loaded() const override { return true; }
    bool open_input(const config_manager&) override {
        ++opens;
        return true;
    }
    void close_input() override { ++closes; }
    bool take_datagram(rx_datagram&) override { return false; }
    std::uint64_t skipped_frames(std::size_t row, frame_skip why) const override {
        return row == unknown_source_row && why == frame_skip::unconfigured_source ? unconfigured : 0;
    }
    void run_report() override {}
    void stop_thread() override {}
    void retry_lans() override {}

    std::uint64_t unconfigured = 0;
    int opens = 0;
    int closes = 0;
};

// A control of a window by its object name; a missing one ends the test with its name.
template <typename T>
T& control_of(const QObject& window, const char* name) {
    auto* found = window.findChild<T*>(name);
    if (found == nullptr) throw std::logic_error(std::string("no control ") + name);
    return *found;
}

inline bool is_dark_red(const QLabel& label) {
    return label.palette().color(QPalette::Active, QPalette::WindowText) == QColor(128, 0, 0);
}

// A main window in a directory of its own, with its controller driven tick by tick.
struct window_fixture : testing::Test {
    temp_dir dir;
    config_manager config;
    std::unique_ptr<nmea_manager> manager = std::make_unique<nmea_manager>();
    scripted_dialogs dialogs;
    idle_input* input = nullptr;
    std::unique_ptr<TMainWindow> main_window;

    window_fixture() {
        set_defaults(config);
        main_window = std::make_unique<TMainWindow>(
            config, *manager, dir.path(), dialogs,
            [this](rx_target&) {
                auto made = std::make_unique<idle_input>();
                input = made.get();
                return made;
            },
            TMainWin::timers::driven_by_caller);
    }

    TMainWin& controller() { return main_window->controller(); }
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) controller().Timer1SecTimer();
    }
    std::string log_text() const { return read_file(dir / "Vorlane.log"); }
    // The texts of the log's lines, without their time stamps.
    std::vector<std::string> logged() const {
        std::vector<std::string> texts;
        const std::string log = log_text();
        for (std::size_t start = 0; start < log.size();) {
            const std::size_t end = log.find('\n', start);
            const std::string line = log.substr(start, end - start);
            texts.push_back(line.size() > 15 ? line.substr(15) : line);
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return texts;
    }
};

}  // namespace vorlane::test
