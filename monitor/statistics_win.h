#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <cstddef>
#include <memory>

#include "controller/drop_reporter.h"
#include "ui/operator_dialogs.h"

class QTableWidget;
namespace Ui {
class TStatisticsWin;
}

namespace vorlane {

// What was dropped and why, per input, for the integrator commissioning a bridge: per formatter
// the accepted and rejected sentences with the most frequent reason and an example line, the
// frames and datagrams dropped before any sentence was judged, the output's clients dropped for
// not reading, and the newest rejected lines.
// While shown it redraws on the drop reporter's once-a-second tick; Reset counts from now on.
class TStatisticsWin : public QWidget {
    Q_OBJECT
  public:
    // `drops` gives the counts and their tick; it may be missing. `dialogs` must outlive the window.
    TStatisticsWin(const drop_reporter* drops, operator_dialogs& dialogs, QWidget* parent = nullptr);
    ~TStatisticsWin() override;

    // Redraws the tables and the rejected lines from the drop reporter's counts.
    void refresh();
    // Everything the window shows, as plain text: what Save to file writes.
    QString report_text() const;

    void ButtonResetClick();
    void sbFileLogClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QTableWidget* formatter_grid(int input) const;

    std::unique_ptr<Ui::TStatisticsWin> ui;
    QPointer<const drop_reporter> drop_source;
    operator_dialogs& dialogs;
    // The counts at the last Reset; all zero until then.
    std::unique_ptr<std::array<input_drops, junction_box_count>> baseline;
    std::size_t rejected_seen_at_reset = 0;
    std::uint64_t unconfigured_at_reset = 0;
};

}  // namespace vorlane
