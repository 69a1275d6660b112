#pragma once

#include <QFont>

namespace tavrin::ui {

// The semibold 11-point font of captions and labels ("Name:", "Save to:",
// "Press key for" ...), shared by the main window and the dialogs.
QFont CaptionFont();

// The caption font for a layout drawn at `scale` times the keypad screen's
// 240 x 320 pixels; at the default window size (scale 2) it is CaptionFont().
QFont CaptionFontScaled(qreal scale);

// The ordinary text font for the same scaled layout.
QFont TextFontScaled(qreal scale);

}  // namespace tavrin::ui
