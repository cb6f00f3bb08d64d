#include "monitor/log_view_win.h"

#include <QShowEvent>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include "base/error_texts.h"
#include "config/text_file.h"
#include "ui/form_style.h"
#include "ui/ui_log_view_win.h"

namespace vorlane {

TLogViewWin::TLogViewWin(const status_reporter* event_log, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TLogViewWin>()), log(event_log) {
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(form_font());
    ui->MemoLog->setFont(text_view_font());
    centre_on_screen(*this);

    connect(ui->ButtonClose, &QPushButton::clicked, this, &QDialog::hide);
    if (log != nullptr)
        connect(log, &status_reporter::log_appended, this, [this] {
            if (isVisible()) load();
        });
}

TLogViewWin::~TLogViewWin() = default;

void TLogViewWin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A restore from the task bar is no new opening of the window.
    if (!event->spontaneous()) load();
}

void TLogViewWin::load() {
    ui->MemoLog->clear();
    try {
        if (!log) {
            add_line("Main window not found!");
            return;
        }
        const std::filesystem::path& file = log->log_file_name();
        const std::optional<std::string> content = read_text_file(file);
        if (!content) {
            add_line(QString::fromStdString(error_text(reported_error::log_view_missing, {file.string()})));
            return;
        }
        // The lines as a text editor shows them: a final line break ends the last line and
        // does not open another one.
        QString lines = QString::fromUtf8(content->data(), static_cast<qsizetype>(content->size()));
        if (lines.endsWith('\n')) lines.chop(1);
        if (content->empty()) {
            add_line(QString::fromStdString(error_text(reported_error::log_view_empty, {file.string()})));
            return;
        }
        ui->MemoLog->setPlainText(lines);
        scroll_to_last_line(*ui->MemoLog);
    } catch (const refused_file& e) {
        add_line(QString::fromStdString(e.what()));
    } catch (const std::exception& e) {
        add_line(QString::fromStdString(error_text(reported_error::log_view_failed, e)));
    }
}

void TLogViewWin::add_line(const QString& line) {
    ui->MemoLog->appendPlainText(line);
}

}  // namespace vorlane
