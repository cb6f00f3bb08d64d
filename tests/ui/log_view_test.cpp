// The Log viewer: what it shows for a missing, empty, unreadable and ordinary log, and that it
// follows the log while it is open.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <filesystem>

#include "monitor/log_view_win.h"
#include "tests/ui/window_fixture.h"
#include "ui/form_style.h"

namespace vorlane::test {
namespace {

struct log_view_fixture : window_fixture {
    TLogViewWin viewer{&controller().status()};

    QPlainTextEdit& view() { return *viewer.findChild<QPlainTextEdit*>("MemoLog"); }
    QString shown() { return view().toPlainText(); }
    QString log_path() const { return QString::fromStdString((dir / "Vorlane.log").string()); }
};

TEST_F(log_view_fixture, LayoutAsTheOperatorKnowsIt) {
    EXPECT_EQ(viewer.windowTitle(), "Vorlane Log");
    EXPECT_EQ(viewer.size(), QSize(449, 532));
    const auto* pages = viewer.findChild<QTabWidget*>("PageControl1");
    ASSERT_EQ(pages->count(), 1);
    EXPECT_EQ(pages->tabText(0), "Log file");
    EXPECT_TRUE(view().isReadOnly());
    EXPECT_EQ(view().font().family(), "Courier New");
    EXPECT_EQ(view().fontMetrics().horizontalAdvance('0'),
              QFontMetrics(text_view_font()).horizontalAdvance('0'));
    const auto* close = viewer.findChild<QPushButton*>("ButtonClose");
    EXPECT_EQ(close->text(), "&Close");
    EXPECT_TRUE(close->isDefault());
}

TEST_F(log_view_fixture, MissingLogIsNamedWithItsFullPath) {
    viewer.show();
    EXPECT_EQ(shown(), "Error QXE-506: Log file '" + log_path() + "' not found");
}

TEST_F(log_view_fixture, EmptyLogSaysSo) {
    write_file(dir / "Vorlane.log", "");
    viewer.show();
    EXPECT_EQ(shown(), "Error QXE-507: Log file '" + log_path() + "' is empty");
}

TEST_F(log_view_fixture, UnreadableLogShowsTheErrorClass) {
    std::filesystem::create_directory(dir / "Vorlane.log");
    viewer.show();
    EXPECT_EQ(shown(), "Error QXE-508: std::system_error");
}

TEST_F(log_view_fixture, ShowsEveryLineScrolledToTheNewest) {
    std::string log;
    for (int i = 0; i < 200; ++i) log += "06.12.26 16:38 line " + std::to_string(i) + "\n";
    write_file(dir / "Vorlane.log", log);
    viewer.show();
    EXPECT_EQ(shown().toStdString() + "\n", log);
    const QScrollBar* scroll = view().verticalScrollBar();
    EXPECT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());
    EXPECT_EQ(view().textCursor().position(), shown().size());
}

TEST_F(log_view_fixture, FollowsTheLogWhileOpen) {
    viewer.show();
    controller().update_status("Vorlane closed by operator", true);
    EXPECT_TRUE(shown().endsWith(" Vorlane closed by operator")) << shown().toStdString();
    EXPECT_FALSE(shown().contains("QXE-506")) << "reloaded, not appended to";
    controller().update_status("Ready", false);
    EXPECT_FALSE(shown().contains("Ready")) << "status-only texts are not in the log";

    viewer.findChild<QPushButton*>("ButtonClose")->click();
    EXPECT_FALSE(viewer.isVisible());
    controller().update_status("Configuration locked", true);
    EXPECT_FALSE(shown().contains("Configuration locked")) << "a hidden viewer is not reloaded";
    viewer.show();
    EXPECT_TRUE(shown().endsWith(" Configuration locked")) << "showing loads afresh";
}

TEST(LogViewWithoutMainWindow, SaysSo) {
    TLogViewWin viewer(nullptr);
    viewer.show();
    EXPECT_EQ(viewer.findChild<QPlainTextEdit*>("MemoLog")->toPlainText(), "Main window not found!");
}

}  // namespace
}  // namespace vorlane::test
