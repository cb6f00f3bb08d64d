// The Data Monitor: fed by the controller while shown, bounded, paused, cleared and saved.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <cstring>
#include <fstream>

#include "monitor/data_monitor_win.h"
#include "tests/support/nmea_text.h"
#include "tests/ui/window_fixture.h"
#include "ui/form_style.h"

namespace vorlane::test {
namespace {

struct monitor_fixture : window_fixture {
    TDataMonitorWin monitor{&controller().status(), &controller().outputs(), dialogs};

    template <typename T>
    T& control(const char* name) {
        return control_of<T>(monitor, name);
    }
    QString view_text() { return control<QPlainTextEdit>("MemoOutput").toPlainText(); }
    QToolButton& pause_button() { return control<QToolButton>("sbPause"); }
    void feed(const std::string& text) {
        monitor.append_line(text);
        monitor.flush_pending();
    }
};

TEST_F(monitor_fixture, LayoutAsTheOperatorKnowsIt) {
    EXPECT_EQ(monitor.windowTitle(), "Vorlane Data Monitor");
    EXPECT_EQ(monitor.size(), QSize(979, 610));
    EXPECT_EQ(control<QLabel>("Label1").text(), "Data available at IP: ");
    EXPECT_EQ(control<QLabel>("lbSourceIP").text(), "???.???.???.???");
    EXPECT_EQ(control<QLabel>("Label2").text(), "Port: ");
    EXPECT_EQ(control<QLabel>("lbSourcePort").text(), "12001");
    EXPECT_EQ(control<QPushButton>("ButtonClear").text(), "Clear");
    EXPECT_EQ(control<QToolButton>("sbFileLog").text(), "Save to file");
    EXPECT_EQ(pause_button().text(), "Pause");
    EXPECT_TRUE(pause_button().isCheckable());
    EXPECT_TRUE(control<QPlainTextEdit>("MemoOutput").isReadOnly());
    EXPECT_EQ(control<QPlainTextEdit>("MemoOutput").font().family(), "Courier New");
    EXPECT_EQ(control<QPlainTextEdit>("MemoOutput").font().pixelSize(), 13);
    // Drawn at the width of its own face, whatever stretch the form's font needs.
    EXPECT_EQ(control<QPlainTextEdit>("MemoOutput").fontMetrics().horizontalAdvance('0'),
              QFontMetrics(text_view_font()).horizontalAdvance('0'));
    EXPECT_EQ(control<QLabel>("PanelBottom").text(), " Status:");
    EXPECT_EQ(control<QLabel>("PanelBottom").height(), 25);
    EXPECT_FALSE(monitor.show_output());
    EXPECT_TRUE(monitor.is_paused());
}

TEST_F(monitor_fixture, ShowingAndHidingSwitchTheFeed) {
    config.output_ip = "127.0.0.1";
    manager->output_ports = {15000, 15001};
    controller().update_status("Ready", false);
    monitor.show();
    EXPECT_TRUE(controller().outputs().batches_watched());
    EXPECT_TRUE(monitor.show_output());
    EXPECT_FALSE(monitor.is_paused());
    EXPECT_EQ(control<QLabel>("lbSourceIP").text(), "127.0.0.1");
    EXPECT_EQ(control<QLabel>("lbSourcePort").text(), "15000");
    EXPECT_EQ(control<QLabel>("PanelBottom").text(), " Status:  Ready");

    feed("$GPZDA\r\n");
    monitor.append_line("queued before the window closed\r\n");
    monitor.hide();
    EXPECT_FALSE(controller().outputs().batches_watched());
    EXPECT_FALSE(monitor.show_output());
    EXPECT_TRUE(monitor.is_paused());
    EXPECT_EQ(monitor.line_count(), 0);

    monitor.show();
    monitor.flush_pending();
    EXPECT_EQ(view_text(), "") << "a new opening starts with an empty view";
}

TEST_F(monitor_fixture, AnyAdapterWithoutAnIPv4AddressReadsAsItIs) {
    // The tests bind no capture library, so there is no adapter to name.
    config.output_ip = "0.0.0.0";
    monitor.show();
    EXPECT_EQ(control<QLabel>("lbSourceIP").text(), "0.0.0.0");
}

TEST_F(monitor_fixture, StatusPanelFollowsTheMainWindowWhileShown) {
    monitor.show();
    controller().update_status("Active", false);
    EXPECT_EQ(control<QLabel>("PanelBottom").text(), " Status:  Active");
    monitor.hide();
    controller().update_status("Idle", true);
    EXPECT_EQ(control<QLabel>("PanelBottom").text(), " Status:  Active");
    monitor.show();
    EXPECT_EQ(control<QLabel>("PanelBottom").text(), " Status:  Idle");
}

struct view_case {
    const char* name;
    std::vector<std::string> texts;
    QString shown;
    int lines;
};

TEST_F(monitor_fixture, TextsBecomeLinesOfTheView) {
    const view_case cases[] = {
        {"sentence_ending_in_crlf_is_one_line", {"$GPZDA,1*00\r\n"}, "$GPZDA,1*00", 1},
        {"batch_of_two_sentences", {"$A*00\r\n$B*00\r\n"}, "$A*00\n$B*00", 2},
        {"two_texts", {"$A*00\r\n", "$B*00\r\n"}, "$A*00\n$B*00", 2},
        {"text_without_line_break", {"$A*00"}, "$A*00", 1},
        {"tab_and_high_byte_become_dots", {"a\tb\260c\r\n"}, "a.b.c", 1},
        {"escape_becomes_a_dot_delete_stays", {"x\033y\177z"}, "x.y\177z", 1},
        {"lone_cr_and_lone_lf_break_lines", {"a\rb\nc"}, "a\nb\nc", 3},
        {"only_one_final_crlf_is_dropped", {"a\r\n\r\n"}, "a\n", 2},
        {"empty_text_is_skipped", {"", "a"}, "a", 1},
        {"bare_crlf_is_an_empty_line", {"\r\n", "a"}, "\na", 2},
    };
    monitor.show();
    for (const view_case& c : cases) {
        control<QPushButton>("ButtonClear").click();
        for (const std::string& text : c.texts) monitor.append_line(text);
        EXPECT_EQ(view_text(), "") << c.name << ": nothing is drawn before the flush";
        monitor.flush_pending();
        EXPECT_EQ(view_text(), c.shown) << c.name;
        EXPECT_EQ(monitor.line_count(), c.lines) << c.name;
    }
}

TEST_F(monitor_fixture, PastTheBoundTheWindowPausesItself) {
    monitor.show();
    for (int i = 0; i < TDataMonitorWin::max_lines; ++i) monitor.append_line("$L*00\r\n");
    monitor.flush_pending();
    EXPECT_EQ(monitor.line_count(), 2048);
    EXPECT_TRUE(monitor.show_output());

    monitor.append_line("$X*00\r\n");
    monitor.append_line("$Y*00\r\n");
    monitor.flush_pending();
    EXPECT_EQ(monitor.line_count(), 2049) << "the text that crosses the bound is shown, the next one dropped";
    EXPECT_TRUE(view_text().endsWith("$L*00\n$X*00"));
    EXPECT_TRUE(pause_button().isChecked());
    EXPECT_TRUE(monitor.is_paused());
    EXPECT_FALSE(monitor.show_output());
    const QScrollBar* scroll = control<QPlainTextEdit>("MemoOutput").verticalScrollBar();
    EXPECT_EQ(scroll->value(), scroll->maximum()) << "scrolled to the last line";

    pause_button().click();
    EXPECT_EQ(monitor.line_count(), 0) << "resuming past the bound empties the view";
    EXPECT_TRUE(monitor.show_output());
    EXPECT_FALSE(monitor.is_paused());
}

TEST_F(monitor_fixture, PauseAndResumeByTheOperator) {
    monitor.show();
    feed("$A*00\r\n");
    pause_button().click();
    EXPECT_TRUE(monitor.is_paused());
    EXPECT_FALSE(monitor.show_output());
    feed("$B*00\r\n");
    EXPECT_EQ(view_text(), "$A*00\n$B*00") << "what was queued still drains into the view";
    pause_button().click();
    EXPECT_TRUE(monitor.show_output());
    EXPECT_EQ(view_text(), "$A*00\n$B*00") << "below the bound resuming keeps the view";

    pause_button().click();
    monitor.hide();
    monitor.show();
    EXPECT_TRUE(pause_button().isChecked()) << "the button keeps its state across hide and show";
    EXPECT_FALSE(monitor.show_output());
}

TEST_F(monitor_fixture, ClearEmptiesTheViewButKeepsQueuedTexts) {
    monitor.show();
    feed("$A*00\r\n");
    monitor.append_line("$B*00\r\n");
    control<QPushButton>("ButtonClear").click();
    EXPECT_EQ(view_text(), "");
    monitor.flush_pending();
    EXPECT_EQ(view_text(), "$B*00");
}

TEST_F(monitor_fixture, SaveOnAnEmptyViewOpensNoDialog) {
    monitor.show();
    control<QToolButton>("sbFileLog").click();
    EXPECT_TRUE(dialogs.save_requests.empty());
    EXPECT_FALSE(monitor.is_paused());
}

TEST_F(monitor_fixture, SavePausesFirstAndWritesTheLinesOfTheView) {
    const auto file = dir / "monitor";
    write_file(file, "an older file that is replaced\n");
    dialogs.file_names = {QString::fromStdString(file.string())};
    monitor.show();
    feed("$A*00\r\n$B*00\r\n");
    feed("c\td\r\n");
    control<QToolButton>("sbFileLog").click();

    ASSERT_EQ(dialogs.save_requests.size(), 1u);
    EXPECT_EQ(dialogs.save_requests[0].title, "Save monitor output to file");
    EXPECT_EQ(dialogs.save_requests[0].filter, "Text file (*.txt)");
    EXPECT_TRUE(pause_button().isChecked());
    EXPECT_FALSE(monitor.show_output());
    EXPECT_EQ(read_file(file), "$A*00\n$B*00\nc.d\n") << "the name is taken as given, without an extension";
}

TEST_F(monitor_fixture, CancelledSaveWritesNothing) {
    monitor.show();
    feed("$A*00\r\n");
    control<QToolButton>("sbFileLog").click();
    EXPECT_EQ(dialogs.save_requests.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "no file besides the (absent) log";
}

TEST_F(monitor_fixture, UnwritableFileLeavesTheViewAsItWas) {
    dialogs.file_names = {QString::fromStdString((dir / "missing" / "out.txt").string())};
    monitor.show();
    feed("$A*00\r\n");
    control<QToolButton>("sbFileLog").click();
    EXPECT_EQ(view_text(), "$A*00");
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(DataMonitorWithoutMainWindow, SaveDoesNothing) {
    scripted_dialogs dialogs;
    TDataMonitorWin monitor(nullptr, nullptr, dialogs);
    monitor.show();
    monitor.append_line("$A*00\r\n");
    monitor.flush_pending();
    monitor.findChild<QToolButton*>("sbFileLog")->click();
    EXPECT_TRUE(dialogs.save_requests.empty());
}

// The whole path: a sentence the controller serves on an output shows in the monitor while it
// is shown and not paused, and only then.
struct fed_monitor_fixture : monitor_fixture {
    int first_port = free_port_pair();

    fed_monitor_fixture() {
        std::ofstream(dir / "Vorlane.ini")
            << "[Vorlane]\ninput_ip=127.0.0.1\noutput_ip=127.0.0.1\nfirst_output_port=" << first_port << "\n";
        tick(3);
        controller().on_rx_connected();
        tick();
        if (!controller().supervision().is_data_path_ready())
            throw std::runtime_error("the data path did not open");
    }

    void serve(int box, const std::string& sentence) {
        std::string payload = std::string("UdPbC\0\0\0", 8) + sentence + "\r\n";
        manager->process_datagram(box, box, reinterpret_cast<std::uint8_t*>(payload.data()),
                                  static_cast<std::int32_t>(payload.size()), false);
        controller().Timer100msTimer();
    }
};

TEST_F(fed_monitor_fixture, ServedSentencesOfBothOutputsAppearWhileShown) {
    const std::string zda = with_checksum("$GPZDA,081502.00,07,12,2026,00,00");
    const std::string hdt = with_checksum("$HEHDT,271.4,T");
    serve(0, zda);
    EXPECT_EQ(view_text(), "") << "hidden: not fed";

    monitor.show();
    serve(0, zda);
    serve(1, hdt);
    EXPECT_EQ(view_text(), QString::fromStdString(zda + "\n" + hdt));

    pause_button().click();
    serve(0, zda);
    EXPECT_EQ(monitor.line_count(), 2) << "paused: nothing new is accepted";
}

}  // namespace
}  // namespace vorlane::test
