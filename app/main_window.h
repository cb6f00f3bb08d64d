#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <string>

#include "controller/main_win.h"
#include "ui/operator_dialogs.h"

class QMenu;
namespace Ui {
class TMainWindow;
}

namespace vorlane {

// The main window: the status line, the Hide button and the pop-up menu that shows the other
// windows or ends the program. It constructs the controller and shows its status text. Ending it
// ends the program, and because the conning display then stops receiving data, every close
// must be confirmed unless the desktop is ending the user's session.
class TMainWindow : public QWidget {
    Q_OBJECT
  public:
    // The arguments after `dialogs` are the controller's (TMainWin). `dialogs` must outlive the
    // window. Nothing is shown: the program shows the window minimised.
    TMainWindow(config_manager& config, nmea_manager& manager, const std::filesystem::path& program_dir,
                operator_dialogs& dialogs, const TMainWin::input_factory& make_input,
                TMainWin::timers mode = TMainWin::timers::running, QWidget* parent = nullptr);
    // Destroys the controller first: its shut-down may still report to this window.
    ~TMainWindow() override;

    TMainWin& controller() { return *controller_; }
    // The windows the pop-up menu shows. They are created after this one; any may be missing.
    void set_windows(QWidget* log_viewer, QWidget* data_monitor, QWidget* config_window);
    void set_statistics_window(QWidget* window) { statistics_window = window; }

    // The last status text, without the blank the panel puts in front.
    const QString& status_text() const { return status_text_; }

    // The desktop asks whether the user's log-on may end: the answer is yes, and from now on
    // the window closes without asking.
    void query_end_session();
    // The log-on, or the whole system, really ends: close without asking.
    void end_session();

    void ButtonHideClick();
    void MenuShowLogClick();
    void MenuDataMonitorClick();
    void MenuConfigClick();
    void MenuStatisticsClick();
    void MenuExitClick();

  signals:
    // The window has closed; the program ends its event loop.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // The controller's status text: status_panel_caption(text), repainted before returning.
    void show_status(const QString& text);
    bool FormCloseQuery();
    void FormClose();
    bool exit_confirmed();

    std::unique_ptr<Ui::TMainWindow> ui;
    QMenu* PopupMenu1;
    operator_dialogs& dialogs;
    QString status_text_;
    QPointer<QWidget> log_viewer;
    QPointer<QWidget> data_monitor;
    QPointer<QWidget> config_window;
    QPointer<QWidget> statistics_window;
    bool shut_down = false;
    // Made last: it reports through this window from its first tick on.
    std::unique_ptr<TMainWin> controller_;
};

}  // namespace vorlane
