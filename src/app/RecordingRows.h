#pragma once

#include <string>
#include <vector>

#include <QObject>

#include "platform/FileSystem.h"
#include "recordings/Playable.h"
#include "recordings/RecordingList.h"

class QLabel;
class QTreeWidget;
class QWidget;

namespace tavrin::app {

// The list of recordings as the window shows it: one row per recording, its
// name (with its folder where names repeat) beside the icon of its place,
// the path in a hidden column; a row the recorder cannot play greyed, with
// the reason as its tip; a hint where there is no row yet. The highlight
// stays on its recording when the rows are rebuilt, and only the user's
// moves of it are reported.
class RecordingRows : public QObject {
    Q_OBJECT
public:
    RecordingRows(QWidget& parent, platform::FileSystem& files);

    QTreeWidget& view() { return *list; }
    void setDocumentsFolder(std::string folder) { documents = std::move(folder); }

    // Re-reads the locations; rebuilds the rows only when their recordings
    // or verdicts changed. The highlight stays on its recording, or, when that
    // one went, on the row now in its place.
    void refresh(const std::vector<std::string>& locations);
    // The highlighted row's path; empty when none.
    std::string highlightedPath() const;
    std::string pathOf(int row) const;
    // Highlights the row of `path` (none when no row has it), without
    // reporting it as a move of the user's.
    void highlight(const std::string& path);
    // The rows drawn `scale` times the keypad screen's size.
    void setScale(qreal scale);
    // Whether the hint of an empty list may show: not while the first
    // recording is being made, which has no row until it ends.
    void allowHint(bool allowed);

signals:
    // The user moved the highlight (keys, a click).
    void highlightMoved();
    // A double click on a row, which acts as Action.
    void rowActivated(int row);

private:
    void rebuild(const std::vector<std::string>& locations);
    void highlightRow(int row);
    void placeHint();
    bool eventFilter(QObject* watched, QEvent* event) override;

    recordings::RecordingList recordings;
    recordings::Verdicts verdicts;
    std::vector<recordings::Playable> shownVerdicts;
    std::string documents;
    QTreeWidget* list = nullptr;
    QLabel* hint = nullptr;
    bool hintAllowed = true;
    qreal factor = 2.0;
    bool rebuilding = false;  // highlight changes are the program's own
};

}  // namespace tavrin::app
