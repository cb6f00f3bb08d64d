#include "ui/form_style.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QWidget>

namespace vorlane {

namespace {

constexpr const char* form_family = "Haettenschweiler";
constexpr const char* text_view_family = "Courier New";
// The display face is narrower still than the narrowest stand-in (Liberation Sans Narrow, a
// condensed face of width class 75): asked for a width of 66, Qt draws the stand-in at 88 % of
// its width, so that "Status:" fits in front of the main window's status panel as designed.
constexpr int form_substitute_stretch = 66;

}  // namespace

QFont form_font() {
    QFont font(form_family);
    font.setPixelSize(20);
    font.setStyleHint(QFont::SansSerif);
    if (!QFontDatabase::hasFamily(form_family)) font.setStretch(form_substitute_stretch);
    return font;
}

QFont text_view_font() {
    QFont font(text_view_family);
    font.setPixelSize(13);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    // Set, so that a view does not inherit the stretch its form's font may carry for the
    // display face's stand-in, which would squeeze the monospaced text to two thirds.
    font.setStretch(QFont::Unstretched);
    return font;
}

void register_font_substitutes() {
    if (!QFontDatabase::hasFamily(form_family))
        QFont::insertSubstitutions(form_family,
                                   {"Liberation Sans Narrow", "DejaVu Sans Condensed", "Nimbus Sans Narrow"});
    if (!QFontDatabase::hasFamily(text_view_family))
        QFont::insertSubstitutions(text_view_family,
                                   {"Liberation Mono", "DejaVu Sans Mono", "Nimbus Mono PS"});
}

void scroll_to_last_line(QPlainTextEdit& view) {
    view.moveCursor(QTextCursor::End);
    QScrollBar* scroll = view.verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

void centre_on_screen(QWidget& window) {
    const QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

}  // namespace vorlane
