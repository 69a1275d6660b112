#include "ui/AssignButtonsDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/AssignKeyDialog.h"
#include "ui/Fonts.h"
#include "ui/KeypadFilter.h"
#include "ui/SoftKeyBar.h"
#include "ui/Text.h"

namespace tavrin::ui {
namespace {

constexpr int kLabelColumn = 1;
constexpr int kKeyColumn = 2;

}  // namespace

AssignButtonsDialog::AssignButtonsDialog(QWidget* parent, settings::Settings& s, platform::Shell& desktop,
                                         std::function<void()> changed)
    : KeypadDialog(parent, tr("Tavrin Assign Buttons")),
      settings(s),
      shell(desktop),
      keysChanged(std::move(changed)) {
    setObjectName(QStringLiteral("assignButtonsDialog"));
    body().addWidget(new QLabel(tr("Press (Action) to assign"), this));
    body().addWidget(new QLabel(tr("Press (Back) to unassign"), this));
    auto* header = new QHBoxLayout;
    auto* function = new QLabel(tr("  Function"), this);
    auto* key = new QLabel(tr("       Key"), this);
    function->setFont(CaptionFont());
    key->setFont(CaptionFont());
    function->setFixedWidth(240);
    header->addWidget(function);
    header->addWidget(key, 1);
    body().addLayout(header);

    rows = new QTreeWidget(this);
    rows->setObjectName(QStringLiteral("functionList"));
    rows->setColumnCount(3);
    rows->setHeaderLabels({tr("Invisible"), tr("Function"), tr("Button")});
    rows->header()->hide();
    // The first column is a placeholder the user never sees.
    rows->header()->setMinimumSectionSize(0);
    rows->setRootIsDecorated(false);
    rows->setSelectionMode(QAbstractItemView::SingleSelection);
    rows->setAllColumnsShowFocus(true);
    rows->setColumnWidth(0, 0);
    rows->setColumnWidth(kLabelColumn, 240);
    rows->setColumnWidth(kKeyColumn, 94);
    body().addWidget(rows, 1);

    new KeypadFilter(
        *rows, [](std::uint32_t vk) { return vk == settings::vk::Action || vk == settings::vk::Back; },
        [this](std::uint32_t vk) {
            const int row = rows->currentIndex().isValid() ? rows->currentIndex().row() : -1;
            if (row < 0) return;
            if (vk == settings::vk::Action) {
                assignRow(row);
            } else {
                unassignRow(row);
            }
        },
        KeypadFilter::Releases::AfterPress);
    softKeys().setLeft(softkey::Done, tr("Done"));
    fill();
    selectRow(0);
    rows->setFocus();
}

void AssignButtonsDialog::fill() {
    rows->clear();
    for (const auto& f : settings::Functions()) {
        auto* item = new QTreeWidgetItem(rows);
        item->setText(kLabelColumn, Text(f.label));
        item->setText(kKeyColumn, Text(settings::KeyName(settings.keys().key(f.function))));
    }
}

void AssignButtonsDialog::selectRow(int row) {
    if (QTreeWidgetItem* item = rows->topLevelItem(row)) {
        rows->setCurrentItem(item);
        rows->scrollToItem(item);
    }
}

std::optional<settings::Function> AssignButtonsDialog::functionOfRow(int row) const {
    const QTreeWidgetItem* item = rows->topLevelItem(row);
    if (!item) return std::nullopt;
    return settings::FunctionOfLabel(item->text(kLabelColumn).toStdString());
}

void AssignButtonsDialog::assignRow(int row) {
    const auto function = functionOfRow(row);
    if (!function) return;
    AssignKeyDialog ask(this, settings.keys(), shell, *function);
    ask.exec();
    fill();
    // A new key may have been taken from another function: all of them are written.
    settings.writeKeys("");
    if (keysChanged) keysChanged();
    selectRow(row);
}

void AssignButtonsDialog::unassignRow(int row) {
    const auto function = functionOfRow(row);
    if (!function) return;
    settings.keys().unassign(*function);
    fill();
    settings.writeKeys(settings::InfoOf(*function).label);
    if (keysChanged) keysChanged();
    selectRow(row);
}

void AssignButtonsDialog::onSoftKey(std::uint32_t command) {
    if (command == softkey::Done) done(result::Done);
}

}  // namespace tavrin::ui
