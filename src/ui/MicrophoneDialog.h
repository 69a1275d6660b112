#pragma once

#include <functional>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "ui/KeypadDialog.h"
#include "ui/OptionsContext.h"

class QTreeWidget;

namespace tavrin::ui {

// The microphone page: "Default (as the desktop)" and then every source the
// sound server has now, by the description the desktop shows, the current
// choice checked. Action (or a double click) on a row takes that source at
// once and writes it by the server's name; "Done" closes the page. A chosen
// source that is not there now is still listed, so that the user sees what
// is chosen and can leave it.
class MicrophoneDialog : public KeypadDialog {
    Q_OBJECT
public:
    MicrophoneDialog(QWidget* parent, settings::Settings& settings, std::vector<MicrophoneSource> sources,
                     std::function<void(const std::string&)> chosen);

    QTreeWidget& list() { return *rows; }
    // Takes the source of a row, as Action on it does.
    void choose(int row);

protected:
    void onSoftKey(std::uint32_t command) override;
    void onAction() override;

private:
    void createList();
    void showChoice();

    settings::Settings& settings;
    std::vector<MicrophoneSource> sources;  // row 0 is the desktop's default, named ""
    std::function<void(const std::string&)> onChosen;
    QTreeWidget* rows = nullptr;
};

}  // namespace tavrin::ui
