#include "app/main_win_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QSessionManager>

#include "ui/form_style.h"
#include "ui/ui_main_win.h"

namespace vorlane {

namespace {

// Brings a window to the front, restored if it was minimised.
void bring_forward(QWidget& window) {
    if (window.isMinimized())
        window.showNormal();
    else
        window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace

TMainWinForm::TMainWinForm(config_manager& config, nmea_manager& manager,
                           const std::filesystem::path& program_dir, operator_dialogs& dialogs,
                           const TMainWin::input_factory& make_input, TMainWin::timers mode, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::TMainWin>()),
      PopupMenu1(new QMenu(this)),
      dialogs(dialogs),
      status_text_("Starting up...") {
    ui->setupUi(this);
    // A fixed single border and no close button: ending the program goes through Exit.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint);
    setFont(form_font());
    PopupMenu1->addActions({ui->MenuShowLog, ui->MenuDataMonitor, ui->MenuConfig, ui->MenuExit});

    connect(ui->ButtonHide, &QPushButton::clicked, this, &TMainWinForm::ButtonHideClick);
    connect(ui->MenuShowLog, &QAction::triggered, this, &TMainWinForm::MenuShowLogClick);
    connect(ui->MenuDataMonitor, &QAction::triggered, this, &TMainWinForm::MenuDataMonitorClick);
    connect(ui->MenuConfig, &QAction::triggered, this, &TMainWinForm::MenuConfigClick);
    connect(ui->MenuExit, &QAction::triggered, this, &TMainWinForm::MenuExitClick);
    // The session manager's request to save before the log-on ends (X11); Wayland desktops end
    // the session with a termination signal, which the program routes to end_session().
    if (qGuiApp != nullptr)
        connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { query_end_session(); });

    controller_ = std::make_unique<TMainWin>(config, manager, program_dir, *this, make_input, mode);
    centre_on_screen(*this);
}

TMainWinForm::~TMainWinForm() {
    controller_.reset();
}

void TMainWinForm::set_windows(QWidget* log_viewer_window, QWidget* data_monitor_window, QWidget* config) {
    log_viewer = log_viewer_window;
    data_monitor = data_monitor_window;
    config_window = config;
}

void TMainWinForm::show_status(const std::string& text) {
    status_text_ = QString::fromStdString(text);
    ui->PanelStatus->setText(QString::fromStdString(status_panel_caption(text)));
    // Visible at once, also while a long step is still running on this thread.
    ui->PanelStatus->repaint();
    emit status_changed(status_text_);
}

void TMainWinForm::refresh_log_viewer() {
    emit log_appended();
}

void TMainWinForm::query_end_session() {
    controller_->system_shutdown = true;
}

void TMainWinForm::end_session() {
    controller_->system_shutdown = true;
    close();
}

// Minimises the application: every window of it that is open goes to the task bar.
void TMainWinForm::ButtonHideClick() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && (window->windowType() == Qt::Window || window->windowType() == Qt::Dialog))
            window->showMinimized();
}

void TMainWinForm::MenuShowLogClick() {
    if (log_viewer) bring_forward(*log_viewer);
}

void TMainWinForm::MenuDataMonitorClick() {
    if (data_monitor) bring_forward(*data_monitor);
}

void TMainWinForm::MenuConfigClick() {
    if (config_window && !config_window->isVisible()) bring_forward(*config_window);
}

void TMainWinForm::MenuExitClick() {
    if (!exit_confirmed()) {
        controller_->close_confirmed = false;
        return;
    }
    controller_->close_confirmed = true;
    controller_->update_status("Vorlane closed by operator", true);
    close();
}

bool TMainWinForm::exit_confirmed() {
    return dialogs.ask_yes_no(
        this, "Vorlane WARNING",
        "WARNING: Closing the Vorlane will cause the Conning to stop receiving data from "
        "VDR junction box!\n\nAre you sure you want to close Vorlane?",
        operator_dialogs::icon::none);
}

void TMainWinForm::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}

bool TMainWinForm::FormCloseQuery() {
    return shut_down || controller_->system_shutdown || controller_->close_confirmed || exit_confirmed();
}

// A window that has closed can be asked to close again (the application quitting closes every
// window); the shut-down is logged once.
void TMainWinForm::FormClose() {
    if (shut_down) return;
    shut_down = true;
    controller_->update_status("Vorlane shutting down", true);
    emit closed();
}

void TMainWinForm::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu1->popup(event->globalPos());
}

// Enter presses the default button, Hide, wherever the focus is.
void TMainWinForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        ui->ButtonHide->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace vorlane
