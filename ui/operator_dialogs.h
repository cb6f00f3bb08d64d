#pragma once

#include <QString>

class QWidget;

namespace vorlane {

// The questions and the file dialog that the windows put to the operator. The windows reach
// them only through this interface, so that tests can answer in the operator's place.
class operator_dialogs {
  public:
    enum class icon { none, warning, question };

    virtual ~operator_dialogs() = default;

    // A modal message box with the buttons Yes and No; true only when Yes was chosen.
    virtual bool ask_yes_no(QWidget* parent, const QString& caption, const QString& text, icon symbol) = 0;
    // A modal save-file dialog that asks before it replaces an existing file and adds no
    // extension; `filter` is in the toolkit's form, "Text file (*.txt)". Empty when cancelled.
    virtual QString save_file_name(QWidget* parent, const QString& title, const QString& filter) = 0;
};

// The toolkit's own message boxes and file dialog.
class toolkit_dialogs final : public operator_dialogs {
  public:
    bool ask_yes_no(QWidget* parent, const QString& caption, const QString& text, icon symbol) override;
    QString save_file_name(QWidget* parent, const QString& title, const QString& filter) override;
};

}  // namespace vorlane
