#pragma once

#include <QIcon>
#include <QPixmap>

class QPainter;
class QWidget;

namespace tavrin::app {

// The pictures of the main window, drawn by the program itself at the size
// the window needs: the panel background (105), the status icons (300 to 309),
// the list's icon strip (310) and the level-meter segment (311). Sizes are in
// pixels of the 240 x 320 keypad screen and drawn `scale` times larger.
namespace bitmap {
inline constexpr int Panel = 105;
inline constexpr int Saving = 300;
inline constexpr int Voice = 302;
inline constexpr int Append = 303;
inline constexpr int Card = 304;
inline constexpr int Silence = 305;
inline constexpr int Insert = 306;
inline constexpr int Overwrite = 307;
inline constexpr int Play = 308;
inline constexpr int Record = 309;
inline constexpr int ListIcons = 310;
inline constexpr int Segment = 311;
}  // namespace bitmap

// The panel's brush colour.
QColor PanelColour();
// Text of `widget` in `colour`, straight on whatever lies behind it. Colours
// rather than a style sheet, which would bring the style-sheet machinery (a
// parser, and rules looked up at every repaint) into the window.
void SetInk(QWidget& widget, const QColor& colour);

// Paints the panel background, `width` x `height` screen pixels, through
// `painter`'s transform and clip. Painted for each repaint rather than kept
// as a picture: at the window's usual scale the picture held 0.4 MiB.
void PaintPanelBackground(QPainter& painter, int width, int height);
// A 16 x 16 status icon (300 to 309).
QPixmap StatusIcon(int id, qreal scale);
// Image `index` of the list's strip: 0 a storage card, 1 the phone's own memory.
QPixmap ListIcon(int index, qreal scale);
// Segment `index` (0 at the bottom) of the level meter, 8 x 1 screen pixels.
QPixmap MeterSegment(int index, qreal scale);
// The program's own icon, the same drawing as data/icons/tavrin.svg.
QIcon ApplicationIcon();

}  // namespace tavrin::app
