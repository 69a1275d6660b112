#include "ui/OptionsListDialog.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "recordings/StorageLocations.h"
#include "ui/AboutDialog.h"
#include "ui/AssignButtonsDialog.h"
#include "ui/Fonts.h"
#include "ui/KeypadFilter.h"
#include "ui/MicrophoneDialog.h"
#include "ui/RecordingOptionsDialog.h"
#include "ui/SoftKeyBar.h"

namespace tavrin::ui {
namespace {

constexpr int kNumberColumn = 1;
constexpr int kNameColumn = 2;
constexpr const char* kPages[] = {"Recording", "Microphone", "Buttons", "About"};

bool IsDigit1To9(std::uint32_t vk) { return vk >= settings::vk::Digit0 + 1 && vk <= settings::vk::Digit9; }

}  // namespace

OptionsListDialog::OptionsListDialog(QWidget* parent, OptionsContext& options, bool recording)
    : KeypadDialog(parent, tr("Tavrin Options")), context(options), recordingInProgress(recording) {
    setObjectName(QStringLiteral("optionsListDialog"));
    createList();
    softKeys().setLeft(softkey::Done, tr("Done"));
    // The list was opened with Action in the menu: that key's release must
    // not open the first page as well.
    new KeypadFilter(
        *rows, [](std::uint32_t vk) { return vk == settings::vk::Action || IsDigit1To9(vk); },
        [this](std::uint32_t vk) { listKeyUp(vk); }, KeypadFilter::Releases::AfterPress);
}

void OptionsListDialog::createList() {
    rows = new QTreeWidget(this);
    rows->setObjectName(QStringLiteral("pageList"));
    rows->setColumnCount(3);
    rows->setHeaderLabels({QStringLiteral("111"), QStringLiteral("222"), QStringLiteral("333")});
    rows->header()->hide();
    // The first column is a placeholder the user never sees.
    rows->header()->setMinimumSectionSize(0);
    rows->setRootIsDecorated(false);
    rows->setSelectionMode(QAbstractItemView::SingleSelection);
    rows->setAllColumnsShowFocus(true);
    rows->setFont(CaptionFont());
    rows->setColumnWidth(0, 0);
    rows->setColumnWidth(kNumberColumn, 40);
    rows->setColumnWidth(kNameColumn, 312);
    int index = 0;
    for (const char* page : kPages) {
        auto* item = new QTreeWidgetItem(rows);
        item->setText(0, QStringLiteral("1342f"));
        item->setText(kNumberColumn, index < 9 ? QString::number(index + 1) : QStringLiteral("."));
        item->setText(kNameColumn, QString::fromLatin1(page));
        ++index;
    }
    body().addWidget(rows, 1);
    rows->setCurrentItem(rows->topLevelItem(0));
    rows->setFocus();
    connect(rows, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { openPage(rows->indexOfTopLevelItem(item)); });
}

void OptionsListDialog::listKeyUp(std::uint32_t vk) {
    if (vk == settings::vk::Action) {
        if (rows->currentIndex().isValid()) openPage(rows->currentIndex().row());
        return;
    }
    const int row = static_cast<int>(vk - settings::vk::Digit0) - 1;
    if (row >= rows->topLevelItemCount()) return;
    rows->setCurrentItem(rows->topLevelItem(row));
    openPage(row);
}

void OptionsListDialog::openPage(int row) {
    const QTreeWidgetItem* item = rows->topLevelItem(row);
    if (!item) return;
    const QString page = item->text(kNameColumn);
    if (page == QLatin1String("Recording")) {
        openRecordingPage();
    } else if (page == QLatin1String("Microphone")) {
        // Asked afresh each time, so that a headset plugged in since shows.
        MicrophoneDialog(this, context.settings, context.microphones, context.microphoneChosen).exec();
    } else if (page == QLatin1String("Buttons")) {
        AssignButtonsDialog(this, context.settings, context.shell, context.keysChanged).exec();
    } else if (page == QLatin1String("About")) {
        AboutDialog(this).exec();
    }
    rows->setFocus();
}

void OptionsListDialog::openRecordingPage() {
    settings::Settings& s = context.settings;
    const std::vector<std::string> locations = recordings::StorageLocations(context.shell, context.files).list();
    s.validateSaveLocation(locations);
    const std::vector<std::uint32_t> formats = settings::SupportedFormats(context.probeFormats(), context.shell);
    s.validateFormat(formats);
    RecordingOptionsDialog(this, s, context.recordingProbe, locations, formats, recordingInProgress).exec();
}

void OptionsListDialog::onSoftKey(std::uint32_t command) {
    if (command == softkey::Done) done(result::Done);
}

}  // namespace tavrin::ui
