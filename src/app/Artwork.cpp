#include "app/Artwork.h"

#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>
#include <cmath>

#include "app/LevelMeter.h"

namespace tavrin::app {
namespace {

constexpr int kIcon = 16;

// A transparent pixmap with a painter working in screen pixels.
struct Canvas {
    Canvas(int width, int height, qreal scale)
        : pixmap(std::max(1, static_cast<int>(std::lround(width * scale))),
                 std::max(1, static_cast<int>(std::lround(height * scale)))) {
        pixmap.fill(Qt::transparent);
        painter.begin(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
    }
    QPixmap finish() {
        painter.end();
        return pixmap;
    }
    QPixmap pixmap;
    QPainter painter;
};

const QColor kInk(40, 52, 43);
const QColor kRed(200, 34, 34);
const QColor kGreen(34, 140, 60);
const QColor kBlue(40, 80, 160);

void RecordDot(QPainter& p, QPointF centre, qreal radius) {
    p.setPen(QPen(kRed.darker(140), 0.8));
    p.setBrush(kRed);
    p.drawEllipse(centre, radius, radius);
}

void DrawSaving(QPainter& p) {
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(2, 2, 12, 12), 1.5, 1.5);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 2.5, 7, 4.5));
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(QRectF(5, 9.5, 6, 4.5));
}

void DrawVoice(QPainter& p) {
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(6, 2, 4, 8), 2, 2);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4, 5, 8, 7), 180 * 16, 180 * 16);
    p.drawLine(QPointF(8, 12), QPointF(8, 14));
    p.drawArc(QRectF(1, 3, 3, 7), 100 * 16, 160 * 16);
    p.drawArc(QRectF(12, 3, 3, 7), -80 * 16, 160 * 16);
}

void DrawAppend(QPainter& p) {
    RecordDot(p, {5, 8}, 4);
    p.setPen(QPen(kInk, 1.4));
    p.drawLine(QPointF(10, 8), QPointF(14, 8));
    p.drawLine(QPointF(12, 6), QPointF(14, 8));
    p.drawLine(QPointF(12, 10), QPointF(14, 8));
    p.drawLine(QPointF(15, 4), QPointF(15, 12));
}

void DrawCard(QPainter& p) {
    QPainterPath card;
    card.moveTo(4, 1.5);
    card.lineTo(11, 1.5);
    card.lineTo(13.5, 4);
    card.lineTo(13.5, 14.5);
    card.lineTo(2.5, 14.5);
    card.lineTo(2.5, 3);
    card.closeSubpath();
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(kBlue);
    p.drawPath(card);
    p.setPen(QPen(QColor(230, 200, 90), 1.0));
    for (qreal x = 5; x <= 11; x += 2) p.drawLine(QPointF(x, 3), QPointF(x, 6));
}

void DrawSilence(QPainter& p) {
    p.setPen(QPen(kInk, 1.2));
    const qreal heights[] = {3, 6, 2, 0, 0, 4, 7, 3};
    for (int i = 0; i < 8; ++i) {
        const qreal x = 1.5 + i * 1.8;
        if (heights[i] > 0) p.drawLine(QPointF(x, 8 - heights[i] / 2), QPointF(x, 8 + heights[i] / 2));
    }
    p.setPen(QPen(kRed, 1.0, Qt::DotLine));
    p.drawLine(QPointF(6.5, 2), QPointF(6.5, 14));
    p.drawLine(QPointF(9.5, 2), QPointF(9.5, 14));
}

void DrawInsert(QPainter& p) {
    RecordDot(p, {8, 10}, 4);
    p.setPen(QPen(kInk, 1.4));
    p.drawLine(QPointF(8, 1), QPointF(8, 5));
    p.drawLine(QPointF(6, 3), QPointF(8, 5));
    p.drawLine(QPointF(10, 3), QPointF(8, 5));
}

void DrawOverwrite(QPainter& p) {
    RecordDot(p, {8, 8}, 5);
    p.setPen(QPen(Qt::white, 1.6));
    p.drawLine(QPointF(4.5, 8), QPointF(11.5, 8));
}

void DrawPlay(QPainter& p) {
    QPainterPath triangle;
    triangle.moveTo(4, 2);
    triangle.lineTo(14, 8);
    triangle.lineTo(4, 14);
    triangle.closeSubpath();
    p.setPen(QPen(kGreen.darker(140), 0.8));
    p.setBrush(kGreen);
    p.drawPath(triangle);
}

void DrawPhone(QPainter& p) {
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(QColor(70, 80, 74));
    p.drawRoundedRect(QRectF(4, 1, 8, 14), 1.5, 1.5);
    p.setBrush(QColor(170, 210, 180));
    p.drawRect(QRectF(5.2, 2.5, 5.6, 5));
    p.setBrush(QColor(200, 205, 200));
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col) p.drawRect(QRectF(5.3 + col * 2, 9 + row * 2.3, 1.3, 1.3));
}

}  // namespace

QColor PanelColour() { return QColor(175, 195, 177); }

void SetInk(QWidget& widget, const QColor& colour) {
    QPalette colours = widget.palette();
    colours.setColor(QPalette::WindowText, colour);
    colours.setColor(QPalette::Text, colour);
    colours.setColor(QPalette::Base, Qt::transparent);
    widget.setPalette(colours);
}

void PaintPanelBackground(QPainter& p, int width, int height) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shade(0, 0, 0, height);
    shade.setColorAt(0, PanelColour().lighter(112));
    shade.setColorAt(1, PanelColour().darker(106));
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawRect(QRectF(0, 0, width, height));
    p.setPen(QPen(PanelColour().darker(130), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1.5, 1.5, width - 3, height - 3), 4, 4);
    // The slot the level meter lights up in, with a tick every third segment.
    const QRect first = SegmentRect(0);
    const QRect last = SegmentRect(kSegmentCount - 1);
    const QRectF slot(first.left() - 2, last.top() - 2, first.width() + 4, first.bottom() - last.top() + 5);
    p.setPen(QPen(PanelColour().darker(150), 0.8));
    p.setBrush(PanelColour().darker(125));
    p.drawRoundedRect(slot, 1.5, 1.5);
    p.setPen(QPen(PanelColour().darker(160), 0.6));
    for (int i = 0; i < kSegmentCount; i += 3) {
        const qreal y = SegmentRect(i).top() + 0.5;
        p.drawLine(QPointF(slot.right() + 1, y), QPointF(slot.right() + 3, y));
    }
    p.restore();
}

QPixmap StatusIcon(int id, qreal scale) {
    Canvas c(kIcon, kIcon, scale);
    QPainter& p = c.painter;
    switch (id) {
        case bitmap::Saving: DrawSaving(p); break;
        case bitmap::Voice: DrawVoice(p); break;
        case bitmap::Append: DrawAppend(p); break;
        case bitmap::Card: DrawCard(p); break;
        case bitmap::Silence: DrawSilence(p); break;
        case bitmap::Insert: DrawInsert(p); break;
        case bitmap::Overwrite: DrawOverwrite(p); break;
        case bitmap::Play: DrawPlay(p); break;
        case bitmap::Record: RecordDot(p, {8, 8}, 5.5); break;
        default: break;
    }
    return c.finish();
}

QPixmap ListIcon(int index, qreal scale) {
    Canvas c(kIcon, kIcon, scale);
    if (index == 0) {
        DrawCard(c.painter);
    } else {
        DrawPhone(c.painter);
    }
    return c.finish();
}

QPixmap MeterSegment(int index, qreal scale) {
    const QRect r = SegmentRect(index);
    Canvas c(r.width(), r.height(), scale);
    // Green for speech, amber near the top, red where it clips.
    const QColor colour = index >= 24 ? QColor(215, 40, 30) : index >= 18 ? QColor(235, 170, 20) : QColor(30, 150, 50);
    c.painter.fillRect(QRectF(0, 0, r.width(), r.height()), colour);
    return c.finish();
}

namespace {

// The program's icon on a 64 x 64 grid.
void DrawApplicationIcon(QPainter& p) {
    p.setPen(QPen(QColor(47, 58, 49), 3));
    p.setBrush(PanelColour());
    p.drawRoundedRect(QRectF(3, 3, 58, 58), 12, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(47, 58, 49));
    p.drawRoundedRect(QRectF(24, 10, 16, 28), 8, 8);
    p.setPen(QPen(QColor(47, 58, 49), 4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(16, 18, 32, 28), 180 * 16, 180 * 16);
    p.drawLine(QPointF(32, 46), QPointF(32, 53));
    p.drawLine(QPointF(24, 53), QPointF(40, 53));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 34, 34));
    p.drawEllipse(QPointF(49, 15), 6, 6);
}

// Draws the icon at whatever size is asked for and keeps none: seven sizes
// drawn ahead held 0.35 MiB for as long as the window lived, for a picture
// the desktop asks for once.
class DrawnIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / 64.0, rect.height() / 64.0);
        DrawApplicationIcon(*painter);
        painter->restore();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap drawn(size);
        drawn.fill(Qt::transparent);
        QPainter p(&drawn);
        paint(&p, drawn.rect(), mode, state);
        return drawn;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int side : {16, 24, 32, 48, 64, 128, 256}) sizes.append(QSize(side, side));
        return sizes;
    }
    QIconEngine* clone() const override { return new DrawnIconEngine; }
    QString key() const override { return QStringLiteral("tavrin-drawn"); }
};

}  // namespace

QIcon ApplicationIcon() { return QIcon(new DrawnIconEngine); }

}  // namespace tavrin::app
