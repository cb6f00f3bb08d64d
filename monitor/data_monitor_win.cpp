#include "monitor/data_monitor_win.h"

#include <QFile>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <exception>

#include "base/shown_text.h"
#include "config/text_file.h"
#include "controller/event_log.h"
#include "ui/form_style.h"
#include "ui/ui_data_monitor_win.h"

namespace vorlane {

namespace {

// Appends one queued text to `lines` as the view shows it and answers how many lines it
// makes: control bytes other than CR and LF and every byte from 0x80 up become "." (see
// shown_sentence_byte), one CR LF
// at the end is dropped, and CR LF, a lone CR or a lone LF inside start a new line.
int append_view_lines(std::string_view text, QString& lines) {
    if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") text.remove_suffix(2);
    int count = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\r' || byte == '\n') {
            if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.append(QLatin1Char('\n'));
            ++count;
        } else {
            lines.append(QLatin1Char(shown_sentence_byte(byte)));
        }
    }
    return count;
}

}  // namespace

TDataMonitorWin::TDataMonitorWin(const status_reporter* status_texts, const output_service* served,
                                 operator_dialogs& questions, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::TDataMonitorWin>()),
      status(status_texts),
      outputs(served),
      dialogs(questions) {
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(form_font());
    ui->MemoOutput->setFont(text_view_font());
    centre_on_screen(*this);

    connect(ui->ButtonClear, &QPushButton::clicked, this, &TDataMonitorWin::ButtonClearClick);
    connect(ui->sbFileLog, &QToolButton::clicked, this, &TDataMonitorWin::sbFileLogClick);
    connect(ui->sbPause, &QToolButton::clicked, this, &TDataMonitorWin::sbPauseClick);
    if (status != nullptr)
        connect(status, &status_reporter::status_changed, this, [this](const QString& text) {
            if (isVisible())
                ui->PanelBottom->setText(QString::fromStdString(monitor_status_caption(text.toStdString())));
        });
}

TDataMonitorWin::~TDataMonitorWin() = default;

void TDataMonitorWin::watch_batches(bool watch) {
    for (const QMetaObject::Connection& connection : feed) disconnect(connection);
    if (!watch || !outputs) return;
    feed = {connect(outputs, &output_service::batch_sent, this,
                    [this](int, std::string_view text) {
                        if (output_shown) append_line(text);
                    }),
            connect(outputs, &output_service::outputs_serviced, this, &TDataMonitorWin::flush_pending)};
}

void TDataMonitorWin::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window system also reports a restore from the task bar as a show; that is no new
    // opening of the window.
    if (event->spontaneous()) return;
    if (status)
        ui->PanelBottom->setText(QString::fromStdString(monitor_status_caption(status->status_text())));
    if (outputs) {
        ui->lbSourceIP->setText(QString::fromStdString(outputs->served_address()));
        ui->lbSourcePort->setText(QString::number(outputs->first_output_port()));
    }
    apply_pause();
    empty_view();
    watch_batches(true);
}

void TDataMonitorWin::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;
    watch_batches(false);
    paused = true;
    output_shown = false;
    empty_view();
    // Texts queued before the window closed would open the next view with stale data.
    pending.clear();
}

void TDataMonitorWin::append_line(std::string_view text) {
    try {
        pending.emplace_back(text);
    } catch (const std::exception&) {
        // Out of memory: the text is dropped, the feed goes on.
    }
}

void TDataMonitorWin::flush_pending() {
    if (pending.empty()) return;
    ui->MemoOutput->setUpdatesEnabled(false);
    try {
        QString lines;
        for (; !pending.empty(); pending.pop_front()) {
            const std::string& text = pending.front();
            if (text.empty() || lines_in_view > max_lines) continue;
            if (lines_in_view > 0) lines.append(QLatin1Char('\n'));
            lines_in_view += append_view_lines(text, lines);
        }
        QTextCursor end(ui->MemoOutput->document());
        end.movePosition(QTextCursor::End);
        end.insertText(lines);
        if (lines_in_view > max_lines) {
            ui->sbPause->setChecked(true);
            apply_pause();
        }
    } catch (const std::exception&) {
        // Out of memory: what was not drawn is dropped with the queue's failed texts.
    }
    scroll_to_last_line(*ui->MemoOutput);
    ui->MemoOutput->setUpdatesEnabled(true);
}

void TDataMonitorWin::apply_pause() {
    paused = ui->sbPause->isChecked();
    output_shown = !paused;
    if (!paused && lines_in_view > max_lines) empty_view();
}

void TDataMonitorWin::sbPauseClick() {
    apply_pause();
}

// Texts already queued stay and appear at the next flush.
void TDataMonitorWin::ButtonClearClick() {
    empty_view();
}

void TDataMonitorWin::sbFileLogClick() {
    if (!outputs || lines_in_view == 0) return;
    // What the file gets must be what the operator saw when asking for it.
    if (!paused) {
        ui->sbPause->setChecked(true);
        apply_pause();
    }
    try {
        const QString file = dialogs.save_file_name(this, "Save monitor output to file", "Text file (*.txt)");
        if (file.isEmpty()) return;
        std::string text;
        for (QTextBlock line = ui->MemoOutput->document()->begin(); line.isValid(); line = line.next())
            text.append(line.text().toStdString()).append("\n");
        replace_text_file(QFile::encodeName(file).toStdString(), text);
    } catch (const std::exception&) {
        // The file keeps its old content; the view is unchanged and can be saved again.
    }
}

void TDataMonitorWin::empty_view() {
    ui->MemoOutput->clear();
    lines_in_view = 0;
}

}  // namespace vorlane
