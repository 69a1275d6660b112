#pragma once

#include <string>

#include "platform/Shell.h"
#include "settings/KeyAssignments.h"
#include "ui/KeypadDialog.h"

namespace tavrin::ui {

// Waits for the key to put on one function. An assignable key is assigned
// at once and ends the page with result::Ok; a key that can never be
// assigned is explained and the page waits on; Back or "Cancel" end it with
// result::Cancel and nothing changed.
class AssignKeyDialog : public KeypadDialog {
    Q_OBJECT
public:
    AssignKeyDialog(QWidget* parent, settings::KeyAssignments& keys, platform::Shell& shell,
                    settings::Function function);

protected:
    void onSoftKey(std::uint32_t command) override;
    bool takesKey(std::uint32_t virtualKey) const override;
    void onKeyUp(std::uint32_t virtualKey) override;
    void showEvent(QShowEvent* event) override;

private:
    settings::KeyAssignments& keys;
    platform::Shell& shell;
    settings::Function function;
};

}  // namespace tavrin::ui
