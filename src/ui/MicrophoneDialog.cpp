#include "ui/MicrophoneDialog.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/Fonts.h"
#include "ui/SoftKeyBar.h"

namespace tavrin::ui {
namespace {

constexpr const char* kDefaultRow = "Default (as the desktop)";

}  // namespace

MicrophoneDialog::MicrophoneDialog(QWidget* parent, settings::Settings& values, std::vector<MicrophoneSource> found,
                                   std::function<void(const std::string&)> chosen)
    : KeypadDialog(parent, QStringLiteral("Tavrin  Microphone")), settings(values), onChosen(std::move(chosen)) {
    setObjectName(QStringLiteral("microphoneDialog"));
    sources.push_back({"", kDefaultRow});
    sources.insert(sources.end(), found.begin(), found.end());
    const std::string& current = settings.microphone();
    const bool listed = std::any_of(sources.begin(), sources.end(),
                                    [&](const MicrophoneSource& s) { return s.name == current; });
    if (!listed) sources.push_back({current, current + " (not connected)"});
    createList();
    softKeys().setLeft(softkey::Done, QStringLiteral("Done"));
}

void MicrophoneDialog::createList() {
    rows = new QTreeWidget(this);
    rows->setObjectName(QStringLiteral("microphoneList"));
    rows->setColumnCount(1);
    rows->header()->hide();
    rows->setRootIsDecorated(false);
    rows->setSelectionMode(QAbstractItemView::SingleSelection);
    rows->setFont(CaptionFont());
    for (const auto& source : sources) {
        auto* item = new QTreeWidgetItem(rows);
        item->setText(0, QString::fromStdString(source.description));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    body().addWidget(rows, 1);
    showChoice();
    rows->setFocus();
    connect(rows, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { choose(rows->indexOfTopLevelItem(item)); });
}

// Checks the current choice and puts the selection on it.
void MicrophoneDialog::showChoice() {
    for (int row = 0; row < rows->topLevelItemCount(); ++row) {
        const bool current = sources[static_cast<std::size_t>(row)].name == settings.microphone();
        rows->topLevelItem(row)->setCheckState(0, current ? Qt::Checked : Qt::Unchecked);
        if (current) rows->setCurrentItem(rows->topLevelItem(row));
    }
}

void MicrophoneDialog::choose(int row) {
    if (row < 0 || row >= rows->topLevelItemCount()) return;
    const std::string name = sources[static_cast<std::size_t>(row)].name;
    settings.writeMicrophone(name);
    onChosen(name);
    showChoice();
}

void MicrophoneDialog::onAction() {
    if (rows->currentIndex().isValid()) choose(rows->currentIndex().row());
}

void MicrophoneDialog::onSoftKey(std::uint32_t command) {
    if (command == softkey::Done) done(result::Done);
}

}  // namespace tavrin::ui
