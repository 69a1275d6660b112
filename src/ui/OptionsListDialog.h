#pragma once

#include "ui/KeypadDialog.h"
#include "ui/OptionsContext.h"

class QTreeWidget;

namespace tavrin::ui {

// The list of option pages: "Recording", "Microphone", "Buttons" and "About". Action opens
// the selected page, a digit the page of that number; the list stays until
// "Done".
class OptionsListDialog : public KeypadDialog {
    Q_OBJECT
public:
    OptionsListDialog(QWidget* parent, OptionsContext& context, bool recordingInProgress);

    QTreeWidget& list() { return *rows; }
    // Opens the page named in a row, as Action on it does.
    void openPage(int row);

protected:
    void onSoftKey(std::uint32_t command) override;

private:
    void createList();
    void listKeyUp(std::uint32_t virtualKey);
    void openRecordingPage();

    OptionsContext& context;
    bool recordingInProgress;
    QTreeWidget* rows = nullptr;
};

}  // namespace tavrin::ui
