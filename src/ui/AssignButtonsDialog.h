#pragma once

#include <functional>
#include <optional>

#include "platform/Shell.h"
#include "settings/Settings.h"
#include "ui/KeypadDialog.h"

class QTreeWidget;

namespace tavrin::ui {

// The functions and their keys. Action on a row asks for a new key,
// Back takes the key away; each change is written to the settings at once
// and announced through `keysChanged`, so that the menu captions follow.
class AssignButtonsDialog : public KeypadDialog {
    Q_OBJECT
public:
    AssignButtonsDialog(QWidget* parent, settings::Settings& settings, platform::Shell& shell,
                        std::function<void()> keysChanged);

    QTreeWidget& list() { return *rows; }

    // What Action and Back on a row do.
    void assignRow(int row);
    void unassignRow(int row);

protected:
    void onSoftKey(std::uint32_t command) override;

private:
    void fill();
    void selectRow(int row);
    // The function named in a row, read back from its label.
    std::optional<settings::Function> functionOfRow(int row) const;

    settings::Settings& settings;
    platform::Shell& shell;
    std::function<void()> keysChanged;
    QTreeWidget* rows = nullptr;
};

}  // namespace tavrin::ui
