#include "ui/RecordingOptionsDialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "controller/Duration.h"
#include "recordings/StorageLocations.h"
#include "ui/Fonts.h"
#include "ui/SoftKeyBar.h"
#include "ui/Text.h"
#include "wav/Formats.h"

namespace tavrin::ui {
namespace {

// The panel's meter: 27 segments, segment i lit when 3i is below the level.
constexpr int kSegments = 27;
constexpr int kMeterPeriodMs = 200;

QLabel* CaptionLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(CaptionFont());
    return label;
}

QCheckBox* Switch(const QString& text, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setFont(CaptionFont());
    return box;
}

QSpinBox* Number(int low, int high, const QString& suffix, const char* name, QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QLatin1String(name));
    spin->setRange(low, high);
    spin->setSuffix(suffix);
    return spin;
}

QHBoxLayout* Row(std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    for (QWidget* w : widgets) row->addWidget(w);
    row->addStretch(1);
    return row;
}

}  // namespace

LevelBar::LevelBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("levelMeter"));
    setMinimumHeight(14);
    setFocusPolicy(Qt::NoFocus);
}

void LevelBar::setLevel(std::uint32_t percent) {
    if (percent == shown) return;
    shown = percent;
    update();
}

void LevelBar::setMarks(std::uint32_t voicePercent, std::uint32_t silencePercent) {
    voiceMark = voicePercent;
    silenceMark = silencePercent;
    update();
}

void LevelBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(175, 195, 177));  // the panel's brush
    const qreal step = width() / qreal(kSegments);
    for (int i = 0; i < kSegments; ++i) {
        if (static_cast<std::uint32_t>(3 * i) >= shown) break;
        const QColor lit = i < 18 ? QColor(40, 120, 50) : i < 24 ? QColor(200, 160, 20) : QColor(190, 40, 30);
        p.fillRect(QRectF(i * step + 1, 2, step - 2, height() - 4), lit);
    }
    p.setPen(QPen(QColor(31, 42, 33), 2));
    for (std::uint32_t mark : {voiceMark, silenceMark}) {
        const qreal x = width() * std::min<std::uint32_t>(mark, 100) / 100.0;
        p.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
}

RecordingOptionsDialog::RecordingOptionsDialog(QWidget* parent, settings::Settings& s, RecordingProbe& estimates,
                                               std::vector<std::string> folders, std::vector<std::uint32_t> offered,
                                               bool recordingInProgress)
    : KeypadDialog(parent, tr("Tavrin Options")),
      settings(s),
      probe(estimates),
      locations(std::move(folders)),
      formats(std::move(offered)),
      atOpening(s.snapshot()),
      recording(recordingInProgress) {
    setObjectName(QStringLiteral("recordingOptionsDialog"));
    createControls();
    fillLists();
    showOptions();
    showTimes();
    for (QWidget* control : focusOrder()) control->setEnabled(!recordingInProgress);
    enableNumbers();
    softKeys().setLeft(softkey::Done, tr("Done"));
    softKeys().setRight(softkey::Cancel, tr("Cancel"));
    locationBox->setFocus();
    startMeter();
}

RecordingOptionsDialog::~RecordingOptionsDialog() { stopMeter(); }

void RecordingOptionsDialog::createControls() {
    locationBox = new QComboBox(this);
    locationBox->setObjectName(QStringLiteral("locationList"));
    formatBox = new QComboBox(this);
    formatBox->setObjectName(QStringLiteral("formatList"));
    totalTime = new QLabel(this);
    totalTime->setObjectName(QStringLiteral("totalTime"));
    singleTime = new QLabel(this);
    singleTime->setObjectName(QStringLiteral("singleTime"));
    body().addWidget(CaptionLabel(tr("Save to:"), this));
    body().addWidget(locationBox);
    body().addWidget(CaptionLabel(tr("Format:"), this));
    body().addWidget(formatBox);
    body().addSpacing(12);
    body().addWidget(CaptionLabel(tr("Total recording time:"), this));
    body().addWidget(totalTime);
    body().addWidget(CaptionLabel(tr("Single recording time:"), this));
    body().addWidget(singleTime);
    createOptionControls();
    body().addStretch(1);
    connect(locationBox, &QComboBox::currentIndexChanged, this, &RecordingOptionsDialog::locationChosen);
    connect(formatBox, &QComboBox::currentIndexChanged, this, &RecordingOptionsDialog::formatChosen);
}

void RecordingOptionsDialog::createOptionControls() {
    voiceBox = Switch(tr("Start when I speak"), "voiceSwitch", this);
    voicePercent = Number(0, static_cast<int>(settings::kMaxLevelPercent), QStringLiteral("%"), "voiceLevel", this);
    silenceBox = Switch(tr("Skip silences"), "silenceSwitch", this);
    silencePercent =
        Number(0, static_cast<int>(settings::kMaxLevelPercent), QStringLiteral("%"), "silenceLevel", this);
    silenceTime = Number(static_cast<int>(settings::kMinSilenceSeconds), static_cast<int>(settings::kMaxSilenceSeconds),
                         tr(" s"), "silenceSeconds", this);
    limitBox = Switch(tr("Stop after"), "limitSwitch", this);
    limitTime = Number(static_cast<int>(settings::kMinTimeLimitMinutes),
                       static_cast<int>(settings::kMaxTimeLimitMinutes), tr(" min"), "limitMinutes", this);
    folderEdit = new QLineEdit(this);
    folderEdit->setObjectName(QStringLiteral("subFolder"));
    // One folder name: none of the characters a rename refuses.
    folderEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^\\\\/:*?\"<.>|]*")), folderEdit));
    levelBar = new LevelBar(this);
    levelBar->hide();
    body().addSpacing(8);
    body().addLayout(Row({voiceBox, voicePercent}));
    body().addLayout(Row({silenceBox, silencePercent, silenceTime}));
    body().addWidget(levelBar);
    body().addLayout(Row({limitBox, limitTime}));
    body().addWidget(CaptionLabel(tr("Sub-folder:"), this));
    body().addWidget(folderEdit);
    for (QCheckBox* box : {voiceBox, silenceBox, limitBox})
        connect(box, &QCheckBox::toggled, this, &RecordingOptionsDialog::optionsChanged);
    for (QSpinBox* spin : {voicePercent, silencePercent, silenceTime, limitTime})
        connect(spin, &QSpinBox::valueChanged, this, &RecordingOptionsDialog::optionsChanged);
    connect(folderEdit, &QLineEdit::textChanged, this, &RecordingOptionsDialog::optionsChanged);
}

void RecordingOptionsDialog::fillLists() {
    // Filling and selecting what is in effect is not a choice of the user.
    const QSignalBlocker quietLocations(locationBox);
    const QSignalBlocker quietFormats(formatBox);
    for (const std::string& name : recordings::DisplayNames(locations))
        locationBox->addItem(QString::fromStdString(name));
    for (std::uint32_t code : formats) {
        if (const auto label = wav::LabelOfCode(code)) formatBox->addItem(Text(*label), QVariant::fromValue(code));
    }
    const auto at = std::find(locations.begin(), locations.end(), settings.saveLocation());
    locationBox->setCurrentIndex(at == locations.end() ? -1 : static_cast<int>(at - locations.begin()));
    formatBox->setCurrentIndex(formatBox->findData(QVariant::fromValue(settings.format())));
}

void RecordingOptionsDialog::showOptions() {
    const settings::RecordingOptions& o = settings.recordingOptions();
    for (QWidget* w : std::initializer_list<QWidget*>{voiceBox, voicePercent, silenceBox, silencePercent, silenceTime,
                                                      limitBox, limitTime, folderEdit})
        w->blockSignals(true);
    voiceBox->setChecked(o.voiceActivated);
    voicePercent->setValue(static_cast<int>(o.voiceActivationLevel));
    silenceBox->setChecked(o.silenceCut);
    silencePercent->setValue(static_cast<int>(o.silenceCutLevel));
    silenceTime->setValue(static_cast<int>(o.silenceSeconds));
    limitBox->setChecked(o.timeLimitOn);
    limitTime->setValue(static_cast<int>(o.timeLimitMinutes));
    folderEdit->setText(QString::fromStdString(o.subFolder));
    for (QWidget* w : std::initializer_list<QWidget*>{voiceBox, voicePercent, silenceBox, silencePercent, silenceTime,
                                                      limitBox, limitTime, folderEdit})
        w->blockSignals(false);
    levelBar->setMarks(o.voiceActivated ? o.voiceActivationLevel : 0, o.silenceCut ? o.silenceCutLevel : 0);
}

QString RecordingOptionsDialog::totalTimeText() const { return totalTime->text(); }
QString RecordingOptionsDialog::singleTimeText() const { return singleTime->text(); }

void RecordingOptionsDialog::showTimes() {
    const std::uint32_t format = settings.format();
    const std::string& folder = settings.saveLocation();
    totalTime->setText(QString::fromStdString(controller::FormatDuration(probe.totalSeconds(format, folder))));
    singleTime->setText(QString::fromStdString(controller::FormatDuration(probe.singleSeconds(format, folder))));
}

// The meter measures in the format chosen, as the recording will.
void RecordingOptionsDialog::startMeter() {
    if (recording) return;
    metering = probe.startLevelMonitor(settings.format());
    levelBar->setVisible(metering);
    if (!metering) return;
    if (!meterTimer) {
        meterTimer = new QTimer(this);
        meterTimer->setInterval(kMeterPeriodMs);
        connect(meterTimer, &QTimer::timeout, this, &RecordingOptionsDialog::showLevel);
    }
    meterTimer->start();
}

void RecordingOptionsDialog::stopMeter() {
    if (meterTimer) meterTimer->stop();
    if (!metering) return;
    metering = false;
    probe.stopLevelMonitor();
    levelBar->setLevel(0);
}

void RecordingOptionsDialog::showLevel() {
    if (metering) levelBar->setLevel(probe.monitorLevelPercent());
}

void RecordingOptionsDialog::locationChosen(int index) {
    if (index < 0) return;
    const auto folder = recordings::LocationOfDisplayName(locations, locationBox->itemText(index).toStdString());
    if (!folder) return;
    settings.setSaveLocation(*folder);
    showTimes();
}

void RecordingOptionsDialog::formatChosen(int index) {
    if (index < 0) return;
    const auto code = wav::CodeOfLabel(formatBox->itemText(index).toStdString());
    if (!code) return;
    settings.setFormat(*code);
    showTimes();
    stopMeter();
    startMeter();
}

void RecordingOptionsDialog::optionsChanged() {
    settings::RecordingOptions o = settings.recordingOptions();
    o.voiceActivated = voiceBox->isChecked();
    o.voiceActivationLevel = static_cast<std::uint32_t>(voicePercent->value());
    o.silenceCut = silenceBox->isChecked();
    o.silenceCutLevel = static_cast<std::uint32_t>(silencePercent->value());
    o.silenceSeconds = static_cast<std::uint32_t>(silenceTime->value());
    o.timeLimitOn = limitBox->isChecked();
    o.timeLimitMinutes = static_cast<std::uint32_t>(limitTime->value());
    o.subFolder = folderEdit->text().trimmed().toStdString();
    settings.setRecordingOptions(settings::Corrected(std::move(o)));
    enableNumbers();
    const settings::RecordingOptions& now = settings.recordingOptions();
    levelBar->setMarks(now.voiceActivated ? now.voiceActivationLevel : 0, now.silenceCut ? now.silenceCutLevel : 0);
}

void RecordingOptionsDialog::cancel() {
    settings.restore(atOpening);
    done(result::Cancel);
}

void RecordingOptionsDialog::done(int code) {
    stopMeter();
    KeypadDialog::done(code);
}

void RecordingOptionsDialog::onSoftKey(std::uint32_t command) {
    if (command == softkey::Done) {
        // Only what the user changed: a correction made at start-up (a card
        // that is gone, a format the device lacks) stays out of the store.
        settings.writeSettings(settings::Settings::Differences(atOpening, settings.snapshot()));
        done(result::Ok);
    } else if (command == softkey::Cancel) {
        cancel();
    }
}

// Action ticks a switch and opens a list, whose own Up, Down and Action then choose.
void RecordingOptionsDialog::onAction() {
    QWidget* focused = focusWidget();
    if (!focused || !focused->isEnabled()) return;
    if (auto* box = qobject_cast<QCheckBox*>(focused)) {
        box->toggle();
    } else if (auto* list = qobject_cast<QComboBox*>(focused)) {
        list->showPopup();
    }
}

// A number counts only while its switch is on; off, it is greyed and Up and
// Down pass it by.
void RecordingOptionsDialog::enableNumbers() {
    if (recording) return;
    voicePercent->setEnabled(voiceBox->isChecked());
    silencePercent->setEnabled(silenceBox->isChecked());
    silenceTime->setEnabled(silenceBox->isChecked());
    limitTime->setEnabled(limitBox->isChecked());
}

std::vector<QWidget*> RecordingOptionsDialog::focusOrder() const {
    return {locationBox, formatBox,  voiceBox, voicePercent, silenceBox,
            silencePercent, silenceTime, limitBox, limitTime, folderEdit};
}

bool RecordingOptionsDialog::moveFocus(int step) {
    const std::vector<QWidget*> order = focusOrder();
    const auto at = std::find(order.begin(), order.end(), focusWidget());
    if (at == order.end()) return false;
    const auto count = static_cast<int>(order.size());
    int index = static_cast<int>(at - order.begin());
    for (int tried = 0; tried < count; ++tried) {
        index = (index + step + count) % count;
        if (order[static_cast<std::size_t>(index)]->isEnabled()) {
            // As a tab would: a number is selected, so that digits replace it.
            order[static_cast<std::size_t>(index)]->setFocus(Qt::TabFocusReason);
            return true;
        }
    }
    return false;
}

// The keypad way: Up and Down go from control to control, Left and Right
// turn a list or a number, Action ticks a switch, digits type a number.
bool RecordingOptionsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (key.key() == Qt::Key_Up || key.key() == Qt::Key_Down) {
            if (moveFocus(key.key() == Qt::Key_Down ? 1 : -1)) return true;
        } else if (key.key() == Qt::Key_Left || key.key() == Qt::Key_Right) {
            const int step = key.key() == Qt::Key_Right ? 1 : -1;
            if (auto* list = qobject_cast<QComboBox*>(watched)) {
                const int next = list->currentIndex() + step;
                if (next >= 0 && next < list->count()) list->setCurrentIndex(next);
                return true;
            }
            if (auto* spin = qobject_cast<QSpinBox*>(watched)) {
                spin->stepBy(step);
                return true;
            }
        }
    }
    return KeypadDialog::eventFilter(watched, event);
}

}  // namespace tavrin::ui
