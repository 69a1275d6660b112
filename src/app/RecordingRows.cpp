#include "app/RecordingRows.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <cmath>

#include "app/Artwork.h"
#include "recordings/StorageLocations.h"
#include "ui/Fonts.h"

namespace tavrin::app {
namespace {

constexpr int kNameColumn = 1;
constexpr int kPathColumn = 2;
constexpr int kNameColumnWidth = 168;  // pixels of the keypad screen
constexpr int kCardIcon = 0, kPhoneIcon = 1;

constexpr const char* kEmptyHint = "No recordings yet.\nPress F1 to record.";

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

RecordingRows::RecordingRows(QWidget& parent, platform::FileSystem& files)
    : QObject(&parent), recordings(files), verdicts(files) {
    list = new QTreeWidget(&parent);
    list->setObjectName(QStringLiteral("recordingList"));
    list->setColumnCount(3);
    list->header()->hide();
    // The first column is a placeholder the user never sees.
    list->header()->setMinimumSectionSize(0);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAllColumnsShowFocus(true);
    list->setWordWrap(false);
    list->setColumnWidth(0, 0);
    list->setColumnHidden(kPathColumn, true);
    connect(list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { emit rowActivated(list->indexOfTopLevelItem(item)); });
    connect(list, &QTreeWidget::currentItemChanged, this, [this] {
        if (!rebuilding) emit highlightMoved();
    });
    hint = new QLabel(QString::fromUtf8(kEmptyHint), list->viewport());
    hint->setObjectName(QStringLiteral("emptyHint"));
    hint->setAlignment(Qt::AlignCenter);
    SetInk(*hint, QColor(0x5a, 0x66, 0x5c));
    list->viewport()->installEventFilter(this);
    setScale(factor);
}

void RecordingRows::refresh(const std::vector<std::string>& locations) {
    const bool pathsChanged = recordings.refresh(locations);
    if (!pathsChanged && list->topLevelItemCount() == static_cast<int>(recordings.paths().size())) return;
    rebuild(locations);
}

void RecordingRows::rebuild(const std::vector<std::string>& locations) {
    const std::string highlighted = highlightedPath();
    const int highlightedRow = list->currentIndex().isValid() ? list->currentIndex().row() : -1;
    const std::vector<std::string>& paths = recordings.paths();
    shownVerdicts = verdicts.of(paths);
    const std::vector<std::string> names = recordings::RowNames(paths, locations);
    rebuilding = true;
    list->clear();
    const QIcon card(ListIcon(kCardIcon, factor)), phone(ListIcon(kPhoneIcon, factor));
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(paths.size()));
    for (std::size_t i = 0; i < paths.size(); ++i) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, QStringLiteral("1342f"));
        item->setText(kNameColumn, FromStd(names[i]));
        item->setIcon(kNameColumn, recordings::IsInside(paths[i], documents) ? phone : card);
        item->setText(kPathColumn, FromStd(paths[i]));
        const std::string_view why = recordings::WhyNotPlayable(shownVerdicts[i]);
        if (!why.empty()) {
            // Still listed (it is the user's file), but plainly not one to play.
            item->setForeground(kNameColumn, QColor(0x8a, 0x8a, 0x8a));
            item->setToolTip(kNameColumn, FromStd(std::string(why)));
        }
        rows.push_back(item);
    }
    list->addTopLevelItems(rows);
    hint->setVisible(hintAllowed && rows.isEmpty());
    int keep = -1;
    for (int row = 0; row < list->topLevelItemCount() && !highlighted.empty(); ++row) {
        if (pathOf(row) == highlighted) keep = row;
    }
    if (keep < 0 && highlightedRow >= 0) keep = std::min(highlightedRow, list->topLevelItemCount() - 1);
    highlightRow(keep);
    rebuilding = false;
}

std::string RecordingRows::highlightedPath() const {
    const QTreeWidgetItem* item = list->currentItem();
    if (!item || !item->isSelected()) return {};
    return item->text(kPathColumn).toStdString();
}

std::string RecordingRows::pathOf(int row) const {
    const QTreeWidgetItem* item = list->topLevelItem(row);
    return item ? item->text(kPathColumn).toStdString() : std::string();
}

void RecordingRows::highlight(const std::string& path) {
    const QString wanted = FromStd(path);
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        if (list->topLevelItem(row)->text(kPathColumn) != wanted) continue;
        const bool before = rebuilding;
        rebuilding = true;
        highlightRow(row);
        rebuilding = before;
        return;
    }
}

void RecordingRows::highlightRow(int row) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    if (!item) return;
    list->setCurrentItem(item);
    item->setSelected(true);
    list->scrollToItem(item);
}

void RecordingRows::setScale(qreal s) {
    factor = s;
    list->setFont(ui::TextFontScaled(s * 1.2));
    hint->setFont(ui::TextFontScaled(s));
    const int icon = static_cast<int>(std::lround(16 * s));
    list->setIconSize(QSize(icon, icon));
    list->setColumnWidth(kNameColumn, static_cast<int>(std::lround(kNameColumnWidth * s)));
    const QIcon card(ListIcon(kCardIcon, s)), phone(ListIcon(kPhoneIcon, s));
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        item->setIcon(kNameColumn, recordings::IsInside(item->text(kPathColumn).toStdString(), documents) ? phone : card);
    }
    placeHint();
}

void RecordingRows::allowHint(bool allowed) {
    hintAllowed = allowed;
    hint->setVisible(hintAllowed && list->topLevelItemCount() == 0);
}

void RecordingRows::placeHint() { hint->setGeometry(list->viewport()->rect()); }

bool RecordingRows::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list->viewport() && event->type() == QEvent::Resize) placeHint();
    return QObject::eventFilter(watched, event);
}

}  // namespace tavrin::app
