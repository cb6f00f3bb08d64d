#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "controller/output_service.h"
#include "controller/status_reporter.h"
#include "ui/operator_dialogs.h"

namespace Ui {
class TDataMonitorWin;
}

namespace vorlane {

// The text the program serves to the conning display, live. While the window is shown it queues
// every batch the output service signals and draws the queue once per 100 ms service, so a burst
// of sentences costs one redraw. The view is bounded: past max_lines lines the window
// pauses itself. Showing and hiding switch the feed on and off: only a shown window is connected
// to the batches, so a hidden one costs the service nothing.
class TDataMonitorWin : public QWidget {
    Q_OBJECT
  public:
    static constexpr int max_lines = 2048;

    // `status` gives the status text, `outputs` the served text and where it is served; either
    // may be missing. `dialogs` must outlive the window.
    TDataMonitorWin(const status_reporter* status, const output_service* outputs, operator_dialogs& dialogs,
                    QWidget* parent = nullptr);
    ~TDataMonitorWin() override;

    // Shown and not paused: batches are taken into the view.
    bool show_output() const { return output_shown; }
    // Queues a copy of the text; nothing is drawn until flush_pending.
    void append_line(std::string_view text);
    // Moves the queued texts into the view, with redrawing suspended.
    void flush_pending();
    // Takes the state of the Pause button into the feed.
    void apply_pause();

    bool is_paused() const { return paused; }
    // Lines in the view; an empty view has none.
    int line_count() const { return lines_in_view; }

    void ButtonClearClick();
    void sbFileLogClick();
    void sbPauseClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void empty_view();
    // Connects to the output service's batches, or disconnects from them.
    void watch_batches(bool watch);

    std::unique_ptr<Ui::TDataMonitorWin> ui;
    QPointer<const status_reporter> status;
    QPointer<const output_service> outputs;
    std::array<QMetaObject::Connection, 2> feed;
    operator_dialogs& dialogs;
    bool paused = true;
    bool output_shown = false;
    std::deque<std::string> pending;
    int lines_in_view = 0;
};

}  // namespace vorlane
