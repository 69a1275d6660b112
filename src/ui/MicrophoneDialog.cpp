#include "ui/MicrophoneDialog.h"

#include <QHeaderView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/Fonts.h"
#include "ui/SoftKeyBar.h"

namespace tavrin::ui {
namespace {

constexpr const char* kDefaultRow = "Default (as the desktop)";
constexpr int kPollMs = 1000;

}  // namespace

MicrophoneDialog::MicrophoneDialog(QWidget* parent, settings::Settings& values, Query found,
                                   std::function<void(const std::string&)> chosen)
    : KeypadDialog(parent, tr("Tavrin  Microphone")),
      settings(values),
      query(std::move(found)),
      onChosen(std::move(chosen)) {
    setObjectName(QStringLiteral("microphoneDialog"));
    createList();
    fill(query());
    softKeys().setLeft(softkey::Done, tr("Done"));
    // The server is asked again while the page shows: sources come and go.
    auto* poll = new QTimer(this);
    poll->setObjectName(QStringLiteral("sourcePoll"));
    poll->setInterval(kPollMs);
    connect(poll, &QTimer::timeout, this, &MicrophoneDialog::refresh);
    poll->start();
}

void MicrophoneDialog::createList() {
    rows = new QTreeWidget(this);
    rows->setObjectName(QStringLiteral("microphoneList"));
    rows->setColumnCount(1);
    rows->header()->hide();
    rows->setRootIsDecorated(false);
    rows->setSelectionMode(QAbstractItemView::SingleSelection);
    rows->setFont(CaptionFont());
    body().addWidget(rows, 1);
    rows->setFocus();
    connect(rows, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { choose(rows->indexOfTopLevelItem(item)); });
}

void MicrophoneDialog::refresh() {
    std::vector<MicrophoneSource> found = query();
    if (found == lastFound) return;
    // The row the user is on stays under the highlight if it is still there.
    const int at = rows->currentIndex().isValid() ? rows->currentIndex().row() : -1;
    const std::string on = at >= 0 ? sources[static_cast<std::size_t>(at)].name : std::string();
    fill(std::move(found));
    for (int row = 0; row < rows->topLevelItemCount() && at >= 0; ++row) {
        if (sources[static_cast<std::size_t>(row)].name == on) rows->setCurrentItem(rows->topLevelItem(row));
    }
}

void MicrophoneDialog::fill(std::vector<MicrophoneSource> found) {
    lastFound = found;
    sources.clear();
    sources.push_back({"", kDefaultRow});
    sources.insert(sources.end(), found.begin(), found.end());
    const std::string& current = settings.microphone();
    const bool listed = std::any_of(sources.begin(), sources.end(),
                                    [&](const MicrophoneSource& s) { return s.name == current; });
    if (!listed) sources.push_back({current, current + " (not connected)"});
    rows->clear();
    for (const std::string& label : SourceLabels(sources)) {
        auto* item = new QTreeWidgetItem(rows);
        item->setText(0, QString::fromStdString(label));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    showChoice();
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

std::vector<std::string> SourceLabels(const std::vector<MicrophoneSource>& sources) {
    std::vector<std::string> labels;
    for (const MicrophoneSource& s : sources) {
        const auto same = std::count_if(sources.begin(), sources.end(),
                                        [&](const MicrophoneSource& o) { return o.description == s.description; });
        labels.push_back(same > 1 && !s.name.empty() ? s.description + " (" + s.name + ")" : s.description);
    }
    return labels;
}

void MicrophoneDialog::onSoftKey(std::uint32_t command) {
    if (command == softkey::Done) done(result::Done);
}

}  // namespace tavrin::ui
