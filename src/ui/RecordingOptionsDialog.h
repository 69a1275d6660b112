#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QWidget>

#include "settings/Settings.h"
#include "ui/KeypadDialog.h"
#include "ui/RecordingProbe.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTimer;

namespace tavrin::ui {

// The microphone's level as a row of segments, lit as the panel's meter is,
// with a mark at each chosen level.
class LevelBar : public QWidget {
    Q_OBJECT
public:
    explicit LevelBar(QWidget* parent = nullptr);
    void setLevel(std::uint32_t percent);
    void setMarks(std::uint32_t voicePercent, std::uint32_t silencePercent);
    std::uint32_t level() const { return shown; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::uint32_t shown = 0;
    std::uint32_t voiceMark = 0;
    std::uint32_t silenceMark = 0;
};

// Where new recordings go, in which format, and how they start, skip
// silences, end and are filed, with the recording time the choice leaves and
// the microphone's level to set the levels by. Changes take effect in memory
// at once; "Done" writes the values that differ from those found at opening,
// "Cancel" and Back put those back and write nothing. While a recording is in
// progress the page only shows the times.
class RecordingOptionsDialog : public KeypadDialog {
    Q_OBJECT
public:
    // `locations`: the storage locations, documents folder first; `formats`:
    // the format bits the input device accepts, in catalogue order.
    RecordingOptionsDialog(QWidget* parent, settings::Settings& settings, RecordingProbe& probe,
                           std::vector<std::string> locations, std::vector<std::uint32_t> formats,
                           bool recordingInProgress);
    ~RecordingOptionsDialog() override;

    QComboBox& locationList() { return *locationBox; }
    QComboBox& formatList() { return *formatBox; }
    QCheckBox& voiceSwitch() { return *voiceBox; }
    QSpinBox& voiceLevel() { return *voicePercent; }
    QCheckBox& silenceSwitch() { return *silenceBox; }
    QSpinBox& silenceLevel() { return *silencePercent; }
    QSpinBox& silenceSeconds() { return *silenceTime; }
    QCheckBox& limitSwitch() { return *limitBox; }
    QSpinBox& limitMinutes() { return *limitTime; }
    QLineEdit& subFolder() { return *folderEdit; }
    LevelBar& meter() { return *levelBar; }
    QString totalTimeText() const;
    QString singleTimeText() const;
    // Polls the level once, as the meter's timer does.
    void showLevel();

    void done(int result) override;

protected:
    void onSoftKey(std::uint32_t command) override;
    void onBack() override { cancel(); }
    void onAction() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createOptionControls();
    void fillLists();
    void showOptions();
    void showTimes();
    void startMeter();
    void stopMeter();
    void locationChosen(int index);
    void formatChosen(int index);
    void optionsChanged();
    void enableNumbers();
    void cancel();
    // The page's controls in Up/Down order.
    std::vector<QWidget*> focusOrder() const;
    bool moveFocus(int step);

    settings::Settings& settings;
    RecordingProbe& probe;
    std::vector<std::string> locations;
    std::vector<std::uint32_t> formats;
    const settings::Settings::Snapshot atOpening;
    const bool recording;
    bool metering = false;
    QComboBox* locationBox = nullptr;
    QComboBox* formatBox = nullptr;
    QLabel* totalTime = nullptr;
    QLabel* singleTime = nullptr;
    QCheckBox* voiceBox = nullptr;
    QSpinBox* voicePercent = nullptr;
    QCheckBox* silenceBox = nullptr;
    QSpinBox* silencePercent = nullptr;
    QSpinBox* silenceTime = nullptr;
    QCheckBox* limitBox = nullptr;
    QSpinBox* limitTime = nullptr;
    QLineEdit* folderEdit = nullptr;
    LevelBar* levelBar = nullptr;
    QTimer* meterTimer = nullptr;
};

}  // namespace tavrin::ui
