#include "ui/Fonts.h"

#include <QApplication>
#include <algorithm>
#include <cmath>

namespace tavrin::ui {
namespace {

// Pixel heights on the 240 x 320 keypad screen: 11 points at 96 dots per inch,
// halved because the desktop window shows that screen at twice its size.
constexpr qreal kCaptionPixels = 11.0 * 96.0 / 72.0 / 2.0;
constexpr qreal kTextPixels = 10.0 * 96.0 / 72.0 / 2.0;

QFont Sized(QFont font, qreal pixels) {
    font.setPixelSize(std::max(6, static_cast<int>(std::lround(pixels))));
    return font;
}

}  // namespace

QFont CaptionFont() {
    QFont font = QApplication::font();
    font.setPointSizeF(11.0);
    font.setWeight(QFont::DemiBold);
    return font;
}

QFont CaptionFontScaled(qreal scale) {
    QFont font = QApplication::font();
    font.setWeight(QFont::DemiBold);
    return Sized(font, kCaptionPixels * scale);
}

QFont TextFontScaled(qreal scale) { return Sized(QApplication::font(), kTextPixels * scale); }

}  // namespace tavrin::ui
