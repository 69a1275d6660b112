#include "app/InfoPanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <cmath>

#include "app/Artwork.h"
#include "ui/Fonts.h"

namespace tavrin::app {
namespace {

using controller::Control;

// The panel's ink, as the keypad screen drew its text.
const QColor kInk(0x1f, 0x2a, 0x21);

struct Placement {
    Control control;
    QRect rect;  // in pixels of the keypad screen, inside the panel
    int bitmap;  // 0 for the text controls
};

constexpr std::array<Placement, 17> kLayout{{
    {Control::Name, QRect(6, 4, 152, 16), 0},
    {Control::Date, QRect(6, 22, 78, 14), 0},
    {Control::Time, QRect(86, 22, 60, 14), 0},
    {Control::Position, QRect(6, 40, 58, 18), 0},
    {Control::Length, QRect(62, 40, 82, 18), 0},
    {Control::LeftLabel, QRect(6, 62, 28, 14), 0},
    {Control::TimeLeft, QRect(34, 62, 72, 14), 0},
    {Control::CardIcon, QRect(218, 4, 16, 16), bitmap::Card},
    {Control::RecordIcon, QRect(142, 60, 16, 16), bitmap::Record},
    {Control::AppendIcon, QRect(142, 60, 16, 16), bitmap::Append},
    {Control::InsertIcon, QRect(142, 60, 16, 16), bitmap::Insert},
    {Control::OverwriteIcon, QRect(142, 60, 16, 16), bitmap::Overwrite},
    {Control::PlayIcon, QRect(142, 60, 16, 16), bitmap::Play},
    {Control::VoiceIcon, QRect(186, 26, 16, 16), bitmap::Voice},
    {Control::SilenceIcon, QRect(186, 46, 16, 16), bitmap::Silence},
    {Control::SavingIcon, QRect(218, 26, 16, 16), bitmap::Saving},
    // Beside the position and length, left of the option icons.
    {Control::PausedLabel, QRect(146, 42, 40, 14), 0},
}};

std::size_t Slot(Control c) { return static_cast<std::size_t>(c); }

// Below the time left and the level meter's lowest segment, across the panel.
const QRect kNoticeRect(6, 78, 228, 12);
// The playback speed right of the time left; the waveform under the notice.
const QRect kSpeedRect(108, 62, 32, 14);
const QRect kMarksRect(142, 62, 56, 14);
const QRect kWaveformRect(6, 92, 228, 20);

// How long a flashed word stays.
constexpr int kFlashMs = 2000;

bool IsCaptionField(Control c) { return c == Control::Name || c == Control::Position || c == Control::Length; }

}  // namespace

InfoPanel::InfoPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("infoPanel"));
    // The panel is only a picture with fields on it: clicks and focus go elsewhere.
    setFocusPolicy(Qt::NoFocus);
    createFields();
    createIcons();
    createLevelMeter();
    createNotice();
    createListening();
    setScale(factor);
}

void InfoPanel::createFields() {
    for (const Placement& p : kLayout) {
        if (p.bitmap != 0) continue;
        QWidget* w = nullptr;
        if (p.control == Control::LeftLabel || p.control == Control::PausedLabel) {
            w = new QLabel(p.control == Control::LeftLabel ? tr("Left:") : tr("Paused"), this);
        } else {
            auto* field = new QLineEdit(this);
            field->setReadOnly(true);
            field->setFrame(false);
            field->setFocusPolicy(Qt::NoFocus);
            field->setAttribute(Qt::WA_TransparentForMouseEvents);
            // Text straight on the panel's brush, as the keypad screen drew it.
            SetInk(*field, kInk);
            w = field;
        }
        w->setObjectName(QStringLiteral("control%1").arg(static_cast<int>(p.control)));
        controls[Slot(p.control)] = w;
    }
    for (Control label : {Control::LeftLabel, Control::PausedLabel}) {
        SetInk(control(label), kInk);
        control(label).hide();
    }
    control(Control::TimeLeft).hide();
}

void InfoPanel::createIcons() {
    for (const Placement& p : kLayout) {
        if (p.bitmap == 0) continue;
        auto* icon = new QLabel(this);
        icon->setObjectName(QStringLiteral("control%1").arg(static_cast<int>(p.control)));
        // Hidden until a state shows it; the saving icon alone starts out shown.
        icon->setVisible(p.control == Control::SavingIcon);
        controls[Slot(p.control)] = icon;
    }
}

void InfoPanel::createNotice() {
    noticeLine = new QLabel(this);
    noticeLine->setObjectName(QStringLiteral("notice"));
    SetInk(*noticeLine, kInk);
    noticeLine->hide();
    flashTimer = new QTimer(this);
    flashTimer->setObjectName(QStringLiteral("flashTimer"));
    flashTimer->setSingleShot(true);
    flashTimer->setInterval(kFlashMs);
    connect(flashTimer, &QTimer::timeout, this, [this] {
        noticeLine->setText(lastingNotice);
        noticeLine->setVisible(!lastingNotice.isEmpty());
    });
}

void InfoPanel::createListening() {
    speedLabel = new QLabel(this);
    speedLabel->setObjectName(QStringLiteral("speed"));
    SetInk(*speedLabel, kInk);
    marksLabel = new QLabel(this);
    marksLabel->setObjectName(QStringLiteral("marks"));
    SetInk(*marksLabel, kInk);
    wave = new WaveformView(this);
}

void InfoPanel::setSpeed(const QString& text) { speedLabel->setText(text); }

QString InfoPanel::speed() const { return speedLabel->text(); }

void InfoPanel::setMarkCount(std::uint32_t count) {
    marksLabel->setText(count == 0 ? QString() : count == 1 ? tr("1 mark") : tr("%1 marks").arg(count));
}

QString InfoPanel::markCount() const { return marksLabel->text(); }

void InfoPanel::setNotice(const QString& text) {
    lastingNotice = text;
    if (flashTimer->isActive()) return;  // shown once the flashed word has gone
    noticeLine->setText(text);
    noticeLine->setVisible(!text.isEmpty());
}

QString InfoPanel::notice() const { return noticeLine->isHidden() ? QString() : noticeLine->text(); }

void InfoPanel::flashNotice(const QString& text) {
    noticeLine->setText(text);
    noticeLine->setVisible(!text.isEmpty());
    flashTimer->start();
}

void InfoPanel::createLevelMeter() {
    for (int i = 0; i < kSegmentCount; ++i) {
        auto* s = new QLabel(this);
        s->setObjectName(QStringLiteral("segment%1").arg(i));
        s->hide();
        segments[static_cast<std::size_t>(i)] = s;
    }
}

const QWidget& InfoPanel::segment(int index) const { return *segments[static_cast<std::size_t>(index)]; }

QWidget& InfoPanel::control(Control which) { return *controls[Slot(which)]; }
const QWidget& InfoPanel::control(Control which) const { return *controls[Slot(which)]; }

void InfoPanel::setText(Control field, const QString& text) {
    // A line edit repaints on every setText, even of the text it shows.
    auto* edit = qobject_cast<QLineEdit*>(controls[Slot(field)]);
    if (edit && edit->text() != text) edit->setText(text);
}

QString InfoPanel::text(Control field) const {
    if (const auto* edit = qobject_cast<const QLineEdit*>(controls[Slot(field)])) return edit->text();
    return {};
}

void InfoPanel::setLevel(std::uint32_t level) {
    const int lit = SegmentsForLevel(level);
    for (int i = 0; i < kSegmentCount; ++i) segments[static_cast<std::size_t>(i)]->setVisible(i < lit);
}

int InfoPanel::litSegments() const {
    int lit = 0;
    for (const QLabel* s : segments) lit += s->isHidden() ? 0 : 1;
    return lit;
}

void InfoPanel::setScale(qreal scale) {
    factor = scale;
    const QFont caption = ui::CaptionFontScaled(factor);
    const QFont text = ui::TextFontScaled(factor);
    for (const Placement& p : kLayout) {
        QWidget& w = control(p.control);
        if (p.bitmap != 0) {
            static_cast<QLabel&>(w).setPixmap(StatusIcon(p.bitmap, factor));
        } else {
            w.setFont(IsCaptionField(p.control) ? caption : text);
        }
    }
    for (int i = 0; i < kSegmentCount; ++i) segments[static_cast<std::size_t>(i)]->setPixmap(MeterSegment(i, factor));
    noticeLine->setFont(text);
    speedLabel->setFont(text);
    place();
    update();
}

QPoint InfoPanel::origin() const {
    const int drawn = static_cast<int>(std::lround(kWidth * factor));
    return QPoint(std::max(0, (width() - drawn) / 2), 0);
}

QRect InfoPanel::scaled(const QRect& r) const {
    const auto at = [this](int v) { return static_cast<int>(std::lround(v * factor)); };
    const QSize size(std::max(1, at(r.width())), std::max(1, at(r.height())));
    return QRect(origin() + QPoint(at(r.x()), at(r.y())), size);
}

void InfoPanel::place() {
    for (const Placement& p : kLayout) control(p.control).setGeometry(scaled(p.rect));
    for (int i = 0; i < kSegmentCount; ++i) segments[static_cast<std::size_t>(i)]->setGeometry(scaled(SegmentRect(i)));
    noticeLine->setGeometry(scaled(kNoticeRect));
    speedLabel->setGeometry(scaled(kSpeedRect));
    marksLabel->setGeometry(scaled(kMarksRect));
    wave->setGeometry(scaled(kWaveformRect));
}

void InfoPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

// Only what needs painting: a level segment or a field is a sliver of the
// panel, and blending the whole background for it five times a second kept
// the library's image threads waking along with the meter.
void InfoPanel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    for (const QRect& r : event->region()) p.fillRect(r, PanelColour().darker(106));
    const QRect drawn(origin(), QSize(static_cast<int>(std::lround(kWidth * factor)),
                                      static_cast<int>(std::lround(kHeight * factor))));
    const QRegion region = event->region().intersected(drawn);
    if (region.isEmpty()) return;
    p.setClipRegion(region);
    p.translate(drawn.topLeft());
    p.scale(factor, factor);
    PaintPanelBackground(p, kWidth, kHeight);
}

}  // namespace tavrin::app
