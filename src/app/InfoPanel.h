#pragma once

#include <array>
#include <cstdint>

#include <QPixmap>
#include <QString>
#include <QWidget>

#include "app/LevelMeter.h"
#include "app/WaveformView.h"
#include "controller/Window.h"

class QLabel;
class QTimer;
class QLineEdit;

namespace tavrin::app {

// The information panel under the recording list: name, date, time,
// position, length and time left of the current recording, the status icons
// and the level meter, on the panel's own background. It is laid out in the
// 240 x 90 pixels it had on the keypad screen, drawn `scale` times larger and
// centred in whatever width it gets.
class InfoPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 240;
    static constexpr int kHeight = 114;  // with the waveform strip at its foot

    explicit InfoPanel(QWidget* parent = nullptr);

    QWidget& control(controller::Control which);
    const QWidget& control(controller::Control which) const;
    // The text of a field (name, date, time, position, length, time left).
    void setText(controller::Control field, const QString& text);
    QString text(controller::Control field) const;

    // The line at the foot of the panel; empty hides it.
    void setNotice(const QString& text);
    QString notice() const;
    // A word shown in the notice line for a moment (about two seconds); the
    // notice set meanwhile or before comes back after it.
    void flashNotice(const QString& text);
    const QLabel& noticeLabel() const { return *noticeLine; }

    void setLevel(std::uint32_t level);

    // The selected recording's waveform, across the foot of the panel.
    WaveformView& waveform() { return *wave; }
    // The playback speed beside the time left ("1.5×").
    void setSpeed(const QString& text);
    QString speed() const;
    // How many marks the recording has, beside the speed ("3 marks"); none shows nothing.
    void setMarkCount(std::uint32_t count);
    QString markCount() const;
    // Segments lit now, counted from the widgets themselves.
    int litSegments() const;
    const QWidget& segment(int index) const;

    void setScale(qreal scale);
    qreal scale() const { return factor; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createFields();
    void createIcons();
    void createLevelMeter();
    void createNotice();
    void createListening();
    void place();
    QPoint origin() const;
    QRect scaled(const QRect& screenRect) const;

    static constexpr std::size_t kControls = 17;
    std::array<QWidget*, kControls> controls{};
    std::array<QLabel*, kSegmentCount> segments{};
    QLabel* noticeLine = nullptr;
    QString lastingNotice;  // what the line shows once a flashed word has gone
    QTimer* flashTimer = nullptr;
    QLabel* speedLabel = nullptr;
    QLabel* marksLabel = nullptr;
    WaveformView* wave = nullptr;
    qreal factor = 2.0;
};

}  // namespace tavrin::app
