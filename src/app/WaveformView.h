#pragma once

#include <cstdint>

#include <QWidget>

#include "waveform/Waveform.h"

namespace tavrin::app {

// The selected recording's waveform on the information panel: its peaks over
// its length, the part already played darker than the rest, and the
// position as a line. A click asks to seek there; the keys wind as before.
class WaveformView : public QWidget {
    Q_OBJECT
public:
    explicit WaveformView(QWidget* parent = nullptr);

    waveform::Waveform& model() { return shape; }
    const waveform::Waveform& model() const { return shape; }
    void setPositionMs(std::uint32_t ms);
    std::uint32_t positionMs() const { return position; }

signals:
    void seekRequested(std::uint32_t ms);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    waveform::Waveform shape;
    std::uint32_t position = 0;
};

}  // namespace tavrin::app
