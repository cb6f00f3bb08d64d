#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QSessionManager>

#include "controller/event_log.h"
#include "ui/form_style.h"
#include "ui/ui_main_window.h"

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

TMainWindow::TMainWindow(config_manager& config, nmea_manager& manager,
                         const std::filesystem::path& program_dir, operator_dialogs& questions,
                         const TMainWin::input_factory& make_input, TMainWin::timers mode, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::TMainWindow>()),
      PopupMenu1(new QMenu(this)),
      dialogs(questions),
      status_text_("Starting up...") {
    ui->setupUi(this);
    // A fixed single border and no close button: ending the program goes through Exit.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint);
    setFont(form_font());
    PopupMenu1->addActions(
        {ui->MenuShowLog, ui->MenuDataMonitor, ui->MenuConfig, ui->MenuStatistics, ui->MenuExit});

    connect(ui->ButtonHide, &QPushButton::clicked, this, &TMainWindow::ButtonHideClick);
    connect(ui->MenuShowLog, &QAction::triggered, this, &TMainWindow::MenuShowLogClick);
    connect(ui->MenuDataMonitor, &QAction::triggered, this, &TMainWindow::MenuDataMonitorClick);
    connect(ui->MenuConfig, &QAction::triggered, this, &TMainWindow::MenuConfigClick);
    connect(ui->MenuStatistics, &QAction::triggered, this, &TMainWindow::MenuStatisticsClick);
    connect(ui->MenuExit, &QAction::triggered, this, &TMainWindow::MenuExitClick);
    // The session manager's request to save before the log-on ends (X11); Wayland desktops end
    // the session with a termination signal, which the program routes to end_session().
    if (qGuiApp != nullptr)
        connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { query_end_session(); });

    controller_ = std::make_unique<TMainWin>(config, manager, program_dir, make_input, mode);
    connect(&controller_->status(), &status_reporter::status_changed, this, &TMainWindow::show_status);
    centre_on_screen(*this);
}

TMainWindow::~TMainWindow() {
    controller_.reset();
}

void TMainWindow::set_windows(QWidget* log_viewer_window, QWidget* data_monitor_window, QWidget* config) {
    log_viewer = log_viewer_window;
    data_monitor = data_monitor_window;
    config_window = config;
}

void TMainWindow::show_status(const QString& text) {
    status_text_ = text;
    ui->PanelStatus->setText(QString::fromStdString(status_panel_caption(text.toStdString())));
    // Visible at once, also while a long step is still running on this thread.
    ui->PanelStatus->repaint();
}

void TMainWindow::query_end_session() {
    controller_->session_ending();
}

void TMainWindow::end_session() {
    controller_->session_ending();
    close();
}

// Minimises the application: every window of it that is open goes to the task bar.
void TMainWindow::ButtonHideClick() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && (window->windowType() == Qt::Window || window->windowType() == Qt::Dialog))
            window->showMinimized();
}

void TMainWindow::MenuShowLogClick() {
    if (log_viewer) bring_forward(*log_viewer);
}

void TMainWindow::MenuDataMonitorClick() {
    if (data_monitor) bring_forward(*data_monitor);
}

void TMainWindow::MenuConfigClick() {
    if (config_window && !config_window->isVisible()) bring_forward(*config_window);
}

void TMainWindow::MenuStatisticsClick() {
    if (statistics_window) bring_forward(*statistics_window);
}

void TMainWindow::MenuExitClick() {
    if (!exit_confirmed()) return;
    controller_->operator_confirmed_exit();
    close();
}

bool TMainWindow::exit_confirmed() {
    return dialogs.ask_yes_no(
        this, "Vorlane WARNING",
        "WARNING: Closing the Vorlane will cause the Conning to stop receiving data from "
        "VDR junction box!\n\nAre you sure you want to close Vorlane?",
        operator_dialogs::icon::none);
}

void TMainWindow::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    FormClose();
}

bool TMainWindow::FormCloseQuery() {
    return shut_down || controller_->session_is_ending() || controller_->exit_confirmed_by_operator() ||
           exit_confirmed();
}

// A window that has closed can be asked to close again (the application quitting closes every
// window); the shut-down is logged once.
void TMainWindow::FormClose() {
    if (shut_down) return;
    shut_down = true;
    controller_->update_status("Vorlane shutting down", true);
    emit closed();
}

void TMainWindow::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu1->popup(event->globalPos());
}

// Enter presses the default button, Hide, wherever the focus is.
void TMainWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        ui->ButtonHide->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace vorlane
