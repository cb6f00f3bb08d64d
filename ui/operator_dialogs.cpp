#include "ui/operator_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace vorlane {

namespace {

QMessageBox::Icon message_box_icon(operator_dialogs::icon symbol) {
    switch (symbol) {
        case operator_dialogs::icon::warning:
            return QMessageBox::Warning;
        case operator_dialogs::icon::question:
            return QMessageBox::Question;
        case operator_dialogs::icon::none:
            break;
    }
    return QMessageBox::NoIcon;
}

// A box over a minimised window would be minimised with it and stay out of sight; such a
// question stands on its own in the middle of the screen.
QWidget* visible_parent(QWidget* parent) {
    return parent != nullptr && parent->isVisible() && !parent->isMinimized() ? parent : nullptr;
}

}  // namespace

bool toolkit_dialogs::ask_yes_no(QWidget* parent, const QString& caption, const QString& text, icon symbol) {
    QMessageBox box(message_box_icon(symbol), caption, text, QMessageBox::Yes | QMessageBox::No,
                    visible_parent(parent));
    // Every question here leads to something that cannot be undone: Enter alone must not do it.
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString toolkit_dialogs::save_file_name(QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getSaveFileName(visible_parent(parent), title, QString(), filter);
}

}  // namespace vorlane
