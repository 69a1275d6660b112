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
// sound server has, by the description the desktop shows (with the source's
// own name where two share a description), the current choice checked. The
// list follows the server while the page shows: a source plugged in appears,
// one unplugged goes. Action (or a double click) on a row takes that source
// at once and writes it by the server's name; "Done" closes the page. A
// chosen source that is not there now is still listed, so that the user sees
// what is chosen and can leave it.
class MicrophoneDialog : public KeypadDialog {
    Q_OBJECT
public:
    using Query = std::function<std::vector<MicrophoneSource>()>;

    MicrophoneDialog(QWidget* parent, settings::Settings& settings, Query sources,
                     std::function<void(const std::string&)> chosen);

    QTreeWidget& list() { return *rows; }
    // Takes the source of a row, as Action on it does.
    void choose(int row);
    // Asks the server again and shows what changed, as the page's timer does.
    void refresh();

protected:
    void onSoftKey(std::uint32_t command) override;
    void onAction() override;

private:
    void createList();
    void fill(std::vector<MicrophoneSource> found);
    void showChoice();

    settings::Settings& settings;
    Query query;
    std::vector<MicrophoneSource> sources;  // row 0 is the desktop's default, named ""
    std::vector<MicrophoneSource> lastFound;
    std::function<void(const std::string&)> onChosen;
    QTreeWidget* rows = nullptr;
};

}  // namespace tavrin::ui
