#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

#include "controller/status_reporter.h"

namespace Ui {
class TLogViewWin;
}

namespace vorlane {

// The event log, read-only and scrolled to its newest line. Loaded afresh each time the window
// is shown, and again after every line the log appends while it is visible, so it follows the
// log. Its messages stay in the view: they are not logged.
class TLogViewWin : public QDialog {
    Q_OBJECT
  public:
    // `log` names the log file and tells of each appended line; it may be missing, and the
    // viewer then says so.
    explicit TLogViewWin(const status_reporter* log, QWidget* parent = nullptr);
    ~TLogViewWin() override;

    // Empties the view and fills it from the log file.
    void load();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void add_line(const QString& line);

    std::unique_ptr<Ui::TLogViewWin> ui;
    QPointer<const status_reporter> log;
};

}  // namespace vorlane
