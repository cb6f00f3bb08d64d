#pragma once

#include <QFont>

class QPlainTextEdit;
class QWidget;

namespace vorlane {

// The forms are drawn in "Haettenschweiler" 20 px and the text views in "Courier New" 13 px,
// sizes in device-independent pixels (96 dpi), which Qt scales on high-density screens.
QFont form_font();
QFont text_view_font();

// Neither font ships with Linux desktops. Where one is missing, a font of the same character
// stands in: a condensed sans for the display face, the metric-compatible Liberation Mono for
// the monospaced one, so that the layouts keep their proportions. Needs the application object.
void register_font_substitutes();

// Puts the cursor behind the last line of a text view and scrolls that line into sight, at the
// bottom of the view.
void scroll_to_last_line(QPlainTextEdit& view);

// Moves a top-level window so that its frame sits in the middle of the screen it is on.
void centre_on_screen(QWidget& window);

}  // namespace vorlane
