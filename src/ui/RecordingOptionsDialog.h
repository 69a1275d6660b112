#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "ui/KeypadDialog.h"
#include "ui/RecordingTimes.h"

class QComboBox;
class QLabel;

namespace tavrin::ui {

// Where new recordings go and in which format, with the recording time the
// choice leaves. Each change is written at once; "Cancel" (or Back) puts the
// values found at opening back and writes them again. While a recording is in
// progress the page only shows the times.
class RecordingOptionsDialog : public KeypadDialog {
    Q_OBJECT
public:
    // `locations`: the storage locations, documents folder first; `formats`:
    // the format bits the input device accepts, in catalogue order.
    RecordingOptionsDialog(QWidget* parent, settings::Settings& settings, RecordingTimes& times,
                           std::vector<std::string> locations, std::vector<std::uint32_t> formats,
                           bool recordingInProgress);

    QComboBox& locationList() { return *locationBox; }
    QComboBox& formatList() { return *formatBox; }
    QString totalTimeText() const;
    QString singleTimeText() const;

protected:
    void onSoftKey(std::uint32_t command) override;
    void onBack() override { cancel(); }

private:
    void createControls();
    void fillLists();
    void showTimes();
    void locationChosen(int index);
    void formatChosen(int index);
    void cancel();

    settings::Settings& settings;
    RecordingTimes& times;
    std::vector<std::string> locations;
    std::vector<std::uint32_t> formats;
    const std::uint32_t formatAtOpening;
    const std::string locationAtOpening;
    QComboBox* locationBox = nullptr;
    QComboBox* formatBox = nullptr;
    QLabel* totalTime = nullptr;
    QLabel* singleTime = nullptr;
};

}  // namespace tavrin::ui
