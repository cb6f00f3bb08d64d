// The main window: its close logic, the log-off path, the pop-up menu and the status panel.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <filesystem>

#include "tests/ui/window_fixture.h"

namespace vorlane::test {
namespace {

using strings = std::vector<std::string>;

const QString exit_warning =
    "WARNING: Closing the Vorlane will cause the Conning to stop receiving data from VDR junction box!\n\n"
    "Are you sure you want to close Vorlane?";

struct main_window_fixture : window_fixture {
    int closed_signals = 0;

    main_window_fixture() {
        QObject::connect(main_window.get(), &TMainWindow::closed, [this] { ++closed_signals; });
        main_window->show();
    }

    QAction& menu_item(const char* name) {
        auto* action = main_window->findChild<QAction*>(name);
        if (action == nullptr) throw std::logic_error(std::string("no menu item ") + name);
        return *action;
    }
    QString panel_text() const { return main_window->findChild<QLabel*>("PanelStatus")->text(); }
    bool log_exists() const { return std::filesystem::exists(dir / "Vorlane.log"); }
};

TEST_F(main_window_fixture, LayoutAsTheOperatorKnowsIt) {
    EXPECT_EQ(main_window->windowTitle(), "Vorlane");
    EXPECT_EQ(main_window->size(), QSize(479, 77));
    EXPECT_EQ(main_window->minimumSize(), main_window->maximumSize()) << "not resizable";
    EXPECT_FALSE(main_window->windowFlags() & Qt::WindowCloseButtonHint) << "no close button";
    EXPECT_FALSE(main_window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(main_window->font().pixelSize(), 20);
    EXPECT_EQ(main_window->font().family(), "Haettenschweiler");

    EXPECT_EQ(main_window->findChild<QLabel*>("LabelStatus")->text(), "Status:");
    EXPECT_EQ(main_window->findChild<QLabel*>("PanelStatus")->geometry(), QRect(56, 8, 417, 25));
    EXPECT_EQ(panel_text(), " Starting up...");
    EXPECT_EQ(main_window->findChild<QLabel*>("LabelVersion")->text(), "v1.0.0");
    const auto* hide = main_window->findChild<QPushButton*>("ButtonHide");
    EXPECT_EQ(hide->text(), "&Hide");
    EXPECT_EQ(hide->geometry(), QRect(399, 40, 75, 33));
    EXPECT_TRUE(hide->isDefault());

    QStringList items;
    for (const QAction* action : main_window->findChild<QMenu*>()->actions()) items << action->text();
    EXPECT_EQ(items,
              (QStringList{"&Show Log...", "&Data Monitor...", "Configure...", "Statistics...", "&Exit"}));
}

TEST_F(main_window_fixture, StatusPanelShowsTheNewestTextWithABlankInFront) {
    std::vector<QString> signalled;
    QObject::connect(&controller().status(), &status_reporter::status_changed,
                     [&signalled](const QString& text) { signalled.push_back(text); });
    controller().update_status("Ready", false);
    EXPECT_EQ(panel_text(), " Ready");
    controller().update_status("Error QXE-609: Failed to write config file", true);
    EXPECT_EQ(panel_text(), " Error QXE-609: Failed to write config file");
    EXPECT_EQ(main_window->status_text(), "Error QXE-609: Failed to write config file");
    EXPECT_EQ(signalled, (std::vector<QString>{"Ready", "Error QXE-609: Failed to write config file"}));
}

TEST_F(main_window_fixture, ExitAnsweredYesAsksOnceAndLogsBothLines) {
    dialogs.answers = {true};
    menu_item("MenuExit").trigger();

    ASSERT_EQ(dialogs.asked.size(), 1u) << "the close after a confirmed Exit does not ask again";
    EXPECT_EQ(dialogs.asked[0].caption, "Vorlane WARNING");
    EXPECT_EQ(dialogs.asked[0].text, exit_warning);
    EXPECT_EQ(dialogs.asked[0].symbol, operator_dialogs::icon::none);
    EXPECT_EQ(logged(), (strings{"Vorlane closed by operator", "Vorlane shutting down"}));
    EXPECT_TRUE(controller().exit_confirmed_by_operator());
    EXPECT_FALSE(main_window->isVisible());
    EXPECT_EQ(closed_signals, 1);
}

TEST_F(main_window_fixture, ExitAnsweredNoKeepsRunningAndWritesNothing) {
    dialogs.answers = {false};
    menu_item("MenuExit").trigger();

    EXPECT_EQ(dialogs.asked.size(), 1u);
    EXPECT_FALSE(controller().exit_confirmed_by_operator());
    EXPECT_TRUE(main_window->isVisible());
    EXPECT_FALSE(log_exists());
    EXPECT_EQ(closed_signals, 0);
}

TEST_F(main_window_fixture, EveryOtherCloseAttemptAsksAndNoRefusesIt) {
    dialogs.answers = {false, true};
    EXPECT_FALSE(main_window->close());
    EXPECT_TRUE(main_window->isVisible());
    EXPECT_FALSE(log_exists());
    EXPECT_EQ(closed_signals, 0);

    EXPECT_TRUE(main_window->close());
    EXPECT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.asked[1].text, exit_warning);
    EXPECT_EQ(logged(), strings{"Vorlane shutting down"});
    EXPECT_FALSE(controller().exit_confirmed_by_operator()) << "only Exit confirms";
    EXPECT_EQ(closed_signals, 1);
}

TEST_F(main_window_fixture, EndOfTheLogOnClosesWithoutAQuestion) {
    main_window->query_end_session();
    EXPECT_TRUE(main_window->isVisible()) << "the query alone closes nothing";
    EXPECT_TRUE(controller().session_is_ending());
    EXPECT_TRUE(main_window->close());

    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_EQ(logged(), strings{"Vorlane shutting down"});
    EXPECT_EQ(closed_signals, 1);
    main_window->close();
    EXPECT_EQ(logged(), strings{"Vorlane shutting down"}) << "a second close request logs nothing more";
}

TEST_F(main_window_fixture, AnnouncedEndOfSessionClosesAtOnce) {
    main_window->end_session();
    EXPECT_FALSE(main_window->isVisible());
    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_EQ(logged(), strings{"Vorlane shutting down"});
    EXPECT_EQ(closed_signals, 1);
}

TEST_F(main_window_fixture, MenuItemsShowTheirWindows) {
    QWidget log_viewer, data_monitor, config_window;
    main_window->set_windows(&log_viewer, &data_monitor, &config_window);

    menu_item("MenuShowLog").trigger();
    EXPECT_TRUE(log_viewer.isVisible());
    menu_item("MenuDataMonitor").trigger();
    EXPECT_TRUE(data_monitor.isVisible());
    menu_item("MenuConfig").trigger();
    EXPECT_TRUE(config_window.isVisible());

    // An open window is brought forward again, restored from the task bar...
    log_viewer.showMinimized();
    data_monitor.showMinimized();
    menu_item("MenuShowLog").trigger();
    menu_item("MenuDataMonitor").trigger();
    EXPECT_FALSE(log_viewer.isMinimized());
    EXPECT_FALSE(data_monitor.isMinimized());
    // ...except the configuration window, which is left as it is while it is open.
    config_window.showMinimized();
    menu_item("MenuConfig").trigger();
    EXPECT_TRUE(config_window.isMinimized());
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(main_window_fixture, MenuWithoutItsWindowsDoesNothing) {
    menu_item("MenuShowLog").trigger();
    menu_item("MenuDataMonitor").trigger();
    menu_item("MenuConfig").trigger();
    EXPECT_TRUE(main_window->isVisible());
}

TEST_F(main_window_fixture, RightClickAnywhereOpensThePopupMenu) {
    auto* label = main_window->findChild<QLabel*>("LabelVersion");
    QContextMenuEvent right_click(QContextMenuEvent::Mouse, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(label, &right_click);
    auto* menu = main_window->findChild<QMenu*>();
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
}

TEST_F(main_window_fixture, HideAndEnterMinimiseEveryOpenWindow) {
    QWidget other;
    other.show();
    main_window->findChild<QPushButton*>("ButtonHide")->click();
    EXPECT_TRUE(main_window->isMinimized());
    EXPECT_TRUE(other.isMinimized());

    main_window->showNormal();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(main_window.get(), &enter);
    EXPECT_TRUE(main_window->isMinimized());
    EXPECT_TRUE(main_window->isVisible()) << "minimised, not closed";
    EXPECT_FALSE(log_exists());
}

}  // namespace
}  // namespace vorlane::test
