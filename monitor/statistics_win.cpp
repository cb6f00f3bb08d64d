#include "monitor/statistics_win.h"

#include <QFile>
#include <QShowEvent>
#include <QTableWidget>
#include <exception>
#include <string>
#include <vector>

#include "base/shown_text.h"
#include "config/text_file.h"
#include "ui/form_style.h"
#include "ui/ui_statistics_win.h"

namespace vorlane {

namespace {

enum formatter_column {
    column_formatter,
    column_accepted,
    column_rejected,
    column_reason,
    column_example,
    column_earlier_layout
};

void set_cell(QTableWidget& grid, int row, int column, const QString& text) {
    QTableWidgetItem* item = grid.item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        if (column != column_formatter && column != column_reason && column != column_example)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid.setItem(row, column, item);
    }
    if (item->text() != text) item->setText(text);
}

// The catalogue's words for the most frequent reason; the tally keeps no field numbers.
QString reason_text(const formatter_tally& tally) {
    return tally.rejected_total() == 0 ? QString() : QString::fromUtf8(text_of(tally.top_reason));
}

// The rows of the frames-and-datagrams table, in the order of the capture's and the stream
// manager's catalogues: what was dropped before a sentence was judged, accepted sentences that
// were never served, the displays of the input's output that were let go for not reading, what
// that output sent as UDP and the changes of the sources it serves; below them, a row of text:
// the sources it serves now.
struct drop_row {
    QString label;
    std::uint64_t (*count)(const input_drops&, std::size_t);
    std::size_t index;
};

std::vector<drop_row> make_drop_rows() {
    std::vector<drop_row> rows;
    for (std::size_t k = 0; k < frame_skip_count; ++k)
        rows.push_back({label_of(static_cast<frame_skip>(k)),
                        [](const input_drops& drops, std::size_t skip) { return drops.frames[skip]; }, k});
    for (std::size_t k = 0; k < stream_drop_count; ++k)
        rows.push_back({label_of(static_cast<stream_drop>(k)),
                        [](const input_drops& drops, std::size_t drop) { return drops.stream.dropped[drop]; },
                        k});
    rows.push_back({QStringLiteral("clients dropped: not reading"),
                    [](const input_drops& drops, std::size_t) { return drops.clients_not_reading; }, 0});
    rows.push_back({QStringLiteral("UDP datagrams sent"),
                    [](const input_drops& drops, std::size_t) { return drops.udp.datagrams; }, 0});
    rows.push_back({QStringLiteral("UDP bytes sent"),
                    [](const input_drops& drops, std::size_t) { return drops.udp.bytes; }, 0});
    rows.push_back({QStringLiteral("UDP sends failed"),
                    [](const input_drops& drops, std::size_t) { return drops.udp.failed; }, 0});
    rows.push_back({QStringLiteral("source switches"),
                    [](const input_drops& drops, std::size_t) { return drops.source_switches; }, 0});
    return rows;
}

const std::vector<drop_row> drop_rows = make_drop_rows();
// A frame of neither junction box belongs to no input: its row holds one count across both.
constexpr int unconfigured_row = static_cast<int>(frame_skip::unconfigured_source);
const int served_sources_row = static_cast<int>(drop_rows.size());
// Behind the served sources, two rows of each LAN: its frames since the input opened, and
// whether it carries; a LAN not in use shows "-".
const int first_lan_row = served_sources_row + 1;
constexpr int rows_per_lan = 2;

}  // namespace

TStatisticsWin::TStatisticsWin(const drop_reporter* reporter, operator_dialogs& asks, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::TStatisticsWin>()),
      drop_source(reporter),
      dialogs(asks),
      baseline(std::make_unique<std::array<input_drops, junction_box_count>>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(form_font());
    for (QWidget* view : {static_cast<QWidget*>(ui->GridInput1), static_cast<QWidget*>(ui->GridInput2),
                          static_cast<QWidget*>(ui->GridFrames), static_cast<QWidget*>(ui->MemoRejected)})
        view->setFont(text_view_font());
    ui->GridFrames->setRowCount(first_lan_row + rows_per_lan * lan_count);
    for (std::size_t row = 0; row < drop_rows.size(); ++row)
        set_cell(*ui->GridFrames, static_cast<int>(row), 0, drop_rows[row].label);
    set_cell(*ui->GridFrames, served_sources_row, 0, QStringLiteral("served sources"));
    for (int lan = 0; lan < lan_count; ++lan) {
        const int row = first_lan_row + rows_per_lan * lan;
        set_cell(*ui->GridFrames, row, 0, QString("frames on LAN %1").arg(lan_name(lan)));
        set_cell(*ui->GridFrames, row + 1, 0, QString("LAN %1 carries").arg(lan_name(lan)));
    }
    ui->GridFrames->setSpan(unconfigured_row, 1, 1, junction_box_count);
    centre_on_screen(*this);

    connect(ui->ButtonReset, &QPushButton::clicked, this, &TStatisticsWin::ButtonResetClick);
    connect(ui->sbFileLog, &QToolButton::clicked, this, &TStatisticsWin::sbFileLogClick);
    if (drop_source != nullptr)
        connect(drop_source, &drop_reporter::statistics_tick, this, [this] {
            if (isVisible()) refresh();
        });
}

TStatisticsWin::~TStatisticsWin() = default;

QTableWidget* TStatisticsWin::formatter_grid(int input) const {
    return input == 0 ? ui->GridInput1 : ui->GridInput2;
}

void TStatisticsWin::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

void TStatisticsWin::refresh() {
    if (!drop_source) return;
    const drop_reporter& counts = *drop_source;
    for (int input = 0; input < junction_box_count; ++input) {
        const input_drops drops = counts.drop_counts(input).since((*baseline)[input]);
        QTableWidget& grid = *formatter_grid(input);
        int row = 0;
        for (std::size_t formatter = 0; formatter < formatter_row_count; ++formatter) {
            const formatter_tally& tally = drops.stream.formatters[formatter];
            if (tally.accepted == 0 && tally.rejected_total() == 0) continue;
            if (grid.rowCount() <= row) grid.setRowCount(row + 1);
            set_cell(grid, row, column_formatter, formatter_row_name(formatter));
            set_cell(grid, row, column_accepted, QString::number(tally.accepted));
            set_cell(grid, row, column_rejected, QString::number(tally.rejected_total()));
            set_cell(grid, row, column_reason, reason_text(tally));
            set_cell(grid, row, column_example, QString::fromLatin1(shown_sentence(tally.example)));
            set_cell(grid, row, column_earlier_layout,
                     tally.earlier_layout == 0 ? QString() : QString::number(tally.earlier_layout));
            ++row;
        }
        grid.setRowCount(row);
        for (std::size_t k = 0; k < drop_rows.size(); ++k)
            if (static_cast<int>(k) != unconfigured_row)
                set_cell(*ui->GridFrames, static_cast<int>(k), input + 1,
                         QString::number(drop_rows[k].count(drops, drop_rows[k].index)));
        set_cell(*ui->GridFrames, served_sources_row, input + 1,
                 QString::fromStdString(counts.served_sources(input)));
        for (int lan = 0; lan < lan_count; ++lan) {
            const int lan_row = first_lan_row + rows_per_lan * lan;
            const bool in_use = lan < counts.lans_in_use();
            const input_link::lan_view seen = counts.lan_seen(lan, input);
            set_cell(*ui->GridFrames, lan_row, input + 1,
                     in_use ? QString::number(seen.frames) : QString("-"));
            set_cell(*ui->GridFrames, lan_row + 1, input + 1,
                     in_use ? QString(seen.carries ? "yes" : "no") : QString("-"));
        }
    }
    set_cell(*ui->GridFrames, unconfigured_row, 1,
             QString::number(counts.unconfigured_frames() - unconfigured_at_reset));
    ui->GridInput1->resizeColumnsToContents();
    ui->GridInput2->resizeColumnsToContents();
    ui->GridFrames->resizeColumnsToContents();

    const stream_statistics& statistics = counts.statistics();
    const std::size_t since_reset = statistics.rejected_seen() - rejected_seen_at_reset;
    const std::size_t shown = std::min(statistics.recent_count(), since_reset);
    QString lines;
    for (std::size_t k = statistics.recent_count() - shown; k < statistics.recent_count(); ++k) {
        const rejected_line& line = statistics.recent(k);
        lines += QString("input %1: %2: %3\n")
                     .arg(line.input + 1)
                     .arg(QString::fromStdString(shown_sentence(describe(line.why, line.info))),
                          QString::fromLatin1(shown_sentence(line.text)));
    }
    if (ui->MemoRejected->toPlainText() != lines) {
        ui->MemoRejected->setPlainText(lines);
        scroll_to_last_line(*ui->MemoRejected);
    }
}

void TStatisticsWin::ButtonResetClick() {
    if (!drop_source) return;
    const drop_reporter& counts = *drop_source;
    for (int input = 0; input < junction_box_count; ++input) (*baseline)[input] = counts.drop_counts(input);
    rejected_seen_at_reset = counts.statistics().rejected_seen();
    unconfigured_at_reset = counts.unconfigured_frames();
    ui->lbSince->setText("Counted since the last Reset");
    refresh();
}

QString TStatisticsWin::report_text() const {
    QString text = ui->lbSince->text() + "\n";
    const auto write_grid = [&text](const QString& title, const QTableWidget& grid) {
        text += "\n" + title + "\n";
        QStringList header;
        for (int column = 0; column < grid.columnCount(); ++column)
            header << grid.horizontalHeaderItem(column)->text();
        text += header.join('\t') + "\n";
        for (int row = 0; row < grid.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < grid.columnCount(); ++column)
                cells << (grid.item(row, column) != nullptr ? grid.item(row, column)->text() : QString());
            text += cells.join('\t') + "\n";
        }
    };
    write_grid("Input 1", *ui->GridInput1);
    write_grid("Input 2", *ui->GridInput2);
    write_grid("Frames and datagrams", *ui->GridFrames);
    text += "\n" + ui->LabelRejected->text() + "\n" + ui->MemoRejected->toPlainText();
    return text;
}

void TStatisticsWin::sbFileLogClick() {
    try {
        const QString file = dialogs.save_file_name(this, "Save statistics to file", "Text file (*.txt)");
        if (file.isEmpty()) return;
        replace_text_file(QFile::encodeName(file).toStdString(), report_text().toStdString());
    } catch (const std::exception&) {
        // The file keeps its old content; the window is unchanged and can be saved again.
    }
}

}  // namespace vorlane
