#include "app/WaveformView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "waveform/Peaks.h"

namespace tavrin::app {
namespace {

// The panel's ink for what was heard, a lighter green for what is to come.
const QColor kPlayed(0x1f, 0x2a, 0x21);
const QColor kAhead(0x5d, 0x7a, 0x62);
const QColor kPosition(0xb0, 0x30, 0x28);

}  // namespace

WaveformView::WaveformView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("waveform"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void WaveformView::setPositionMs(std::uint32_t ms) {
    if (ms == position) return;
    position = ms;
    update();
}

void WaveformView::paintEvent(QPaintEvent*) {
    const auto& peaks = shape.Peaks();
    if (shape.TotalBuckets() == 0 || width() <= 0) return;
    QPainter p(this);
    const int middle = height() / 2;
    const std::uint32_t heard = position / waveform::kBucketMs;
    for (int x = 0; x < width(); ++x) {
        const std::uint32_t from = shape.BucketAt(x, width());
        const std::uint32_t to = std::max(from + 1, shape.BucketAt(x + 1, width()));
        if (from >= peaks.size()) break;  // not measured yet
        const auto last = peaks.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(to, peaks.size()));
        const int peak = *std::max_element(peaks.begin() + static_cast<std::ptrdiff_t>(from), last);
        const int half = std::max(1, peak * middle / 255);
        p.setPen(from < heard ? kPlayed : kAhead);
        p.drawLine(x, middle - half, x, middle + half);
    }
    const auto lengthMs = std::uint64_t{shape.TotalBuckets()} * waveform::kBucketMs;
    const int at = static_cast<int>(std::min<std::uint64_t>(position, lengthMs) * width() / lengthMs);
    p.setPen(kPosition);
    p.drawLine(at, 0, at, height() - 1);
}

void WaveformView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || shape.TotalBuckets() == 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    emit seekRequested(shape.MsAt(static_cast<int>(event->position().x()), width()));
}

}  // namespace tavrin::app
