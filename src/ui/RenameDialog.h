#pragma once

#include <optional>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "ui/KeypadDialog.h"

class QLineEdit;

namespace tavrin::ui {

// Renames a recording: one field with its name, "Done" and "Cancel". Back
// deletes characters in the field instead of leaving. A refused name or a
// failed move is told and the page stays open, so that the user can correct it.
class RenameDialog : public KeypadDialog {
    Q_OBJECT
public:
    RenameDialog(QWidget* parent, platform::FileSystem& files, platform::Shell& shell, std::string path);

    // Runs the page modally: the new path once the file has its new name,
    // nothing when the user cancelled.
    static std::optional<std::string> Run(QWidget* parent, platform::FileSystem& files, platform::Shell& shell,
                                          const std::string& path);

    QLineEdit& nameField() { return *field; }
    const std::optional<std::string>& renamedPath() const { return renamed; }

protected:
    void onSoftKey(std::uint32_t command) override;

private:
    void finish();

    platform::FileSystem& files;
    platform::Shell& shell;
    std::string oldPath;
    QLineEdit* field = nullptr;
    std::optional<std::string> renamed;
};

}  // namespace tavrin::ui
