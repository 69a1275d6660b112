#include "ui/RecordingOptionsDialog.h"

#include <algorithm>

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "controller/Duration.h"
#include "recordings/StorageLocations.h"
#include "ui/Fonts.h"
#include "ui/SoftKeyBar.h"
#include "ui/Text.h"
#include "wav/Formats.h"

namespace tavrin::ui {
namespace {

QLabel* CaptionLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(CaptionFont());
    return label;
}

}  // namespace

RecordingOptionsDialog::RecordingOptionsDialog(QWidget* parent, settings::Settings& s, RecordingTimes& estimates,
                                               std::vector<std::string> folders, std::vector<std::uint32_t> offered,
                                               bool recordingInProgress)
    : KeypadDialog(parent, QStringLiteral("Tavrin Options")),
      settings(s),
      times(estimates),
      locations(std::move(folders)),
      formats(std::move(offered)),
      formatAtOpening(s.format()),
      locationAtOpening(s.saveLocation()) {
    setObjectName(QStringLiteral("recordingOptionsDialog"));
    createControls();
    fillLists();
    showTimes();
    locationBox->setEnabled(!recordingInProgress);
    formatBox->setEnabled(!recordingInProgress);
    softKeys().setLeft(softkey::Done, QStringLiteral("Done"));
    softKeys().setRight(softkey::Cancel, QStringLiteral("Cancel"));
    locationBox->setFocus();
}

void RecordingOptionsDialog::createControls() {
    locationBox = new QComboBox(this);
    locationBox->setObjectName(QStringLiteral("locationList"));
    formatBox = new QComboBox(this);
    formatBox->setObjectName(QStringLiteral("formatList"));
    totalTime = new QLabel(this);
    totalTime->setObjectName(QStringLiteral("totalTime"));
    singleTime = new QLabel(this);
    singleTime->setObjectName(QStringLiteral("singleTime"));
    body().addWidget(CaptionLabel(QStringLiteral("Save to:"), this));
    body().addWidget(locationBox);
    body().addWidget(CaptionLabel(QStringLiteral("Format:"), this));
    body().addWidget(formatBox);
    body().addSpacing(12);
    body().addWidget(CaptionLabel(QStringLiteral("Total recording time:"), this));
    body().addWidget(totalTime);
    body().addWidget(CaptionLabel(QStringLiteral("Single recording time:"), this));
    body().addWidget(singleTime);
    body().addStretch(1);
    connect(locationBox, &QComboBox::currentIndexChanged, this, &RecordingOptionsDialog::locationChosen);
    connect(formatBox, &QComboBox::currentIndexChanged, this, &RecordingOptionsDialog::formatChosen);
}

void RecordingOptionsDialog::fillLists() {
    // Filling and selecting what is in effect is not a choice of the user: nothing is written.
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

QString RecordingOptionsDialog::totalTimeText() const { return totalTime->text(); }
QString RecordingOptionsDialog::singleTimeText() const { return singleTime->text(); }

void RecordingOptionsDialog::showTimes() {
    const std::uint32_t format = settings.format();
    const std::string& folder = settings.saveLocation();
    totalTime->setText(QString::fromStdString(controller::FormatDuration(times.totalSeconds(format, folder))));
    singleTime->setText(QString::fromStdString(controller::FormatDuration(times.singleSeconds(format, folder))));
}

void RecordingOptionsDialog::locationChosen(int index) {
    if (index < 0) return;
    const auto folder = recordings::LocationOfDisplayName(locations, locationBox->itemText(index).toStdString());
    if (!folder) return;
    settings.setSaveLocation(*folder);
    settings.writeSettings(settings::kWriteSaveLocation);
    showTimes();
}

void RecordingOptionsDialog::formatChosen(int index) {
    if (index < 0) return;
    const auto code = wav::CodeOfLabel(formatBox->itemText(index).toStdString());
    if (!code) return;
    settings.setFormat(*code);
    settings.writeSettings(settings::kWriteFormat);
    showTimes();
}

void RecordingOptionsDialog::cancel() {
    settings.setFormat(formatAtOpening);
    settings.setSaveLocation(locationAtOpening);
    settings.writeSettings(settings::kWriteFormat | settings::kWriteSaveLocation);
    done(result::Cancel);
}

void RecordingOptionsDialog::onSoftKey(std::uint32_t command) {
    if (command == softkey::Done) {
        done(result::Ok);
    } else if (command == softkey::Cancel) {
        cancel();
    }
}

}  // namespace tavrin::ui
