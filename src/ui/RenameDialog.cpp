#include "ui/RenameDialog.h"

#include <functional>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "recordings/Naming.h"
#include "recordings/RecordingList.h"
#include "settings/KeyAssignments.h"
#include "ui/Fonts.h"
#include "ui/KeyMap.h"
#include "ui/SoftKeyBar.h"
#include "ui/Text.h"

namespace tavrin::ui {
namespace {

// The name field as the keypad's text fields work: Back deletes the
// character before the caret, and the field never comes up with its text
// selected (a key would replace the whole name), only with the caret at the end.
class NameFieldKeys : public QObject {
public:
    NameFieldKeys(QLineEdit& edit, std::function<void()> action)
        : QObject(&edit), field(edit), onAction(std::move(action)) {
        edit.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            // After the field's own focus handling, which may select everything.
            QMetaObject::invokeMethod(
                &field, [edit = &field] { edit->end(false); }, Qt::QueuedConnection);
            return false;
        }
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return QObject::eventFilter(watched, event);
        const auto& key = static_cast<const QKeyEvent&>(*event);
        const std::uint32_t vk = VirtualKeyOf(key);
        if (vk == settings::vk::Back) {
            if (event->type() == QEvent::KeyPress) field.backspace();
            return true;
        }
        if (vk != settings::vk::Action) return false;
        // Action means Done, but only for a press made here: the release of
        // the key that chose "Rename" in the menu arrives in this field too.
        if (event->type() == QEvent::KeyPress) {
            actionDown = true;
        } else if (actionDown && !IsIgnoredKeyUp(key)) {
            actionDown = false;
            onAction();
        }
        return true;
    }

private:
    QLineEdit& field;
    std::function<void()> onAction;
    bool actionDown = false;
};

}  // namespace

RenameDialog::RenameDialog(QWidget* parent, platform::FileSystem& fileSystem, platform::Shell& desktop,
                           std::string path)
    : KeypadDialog(parent, Text(recordings::kRenameCaption)),
      files(fileSystem),
      shell(desktop),
      oldPath(std::move(path)) {
    setObjectName(QStringLiteral("renameDialog"));
    auto* label = new QLabel(tr("Name:"), this);
    label->setFont(CaptionFont());
    field = new QLineEdit(QString::fromStdString(recordings::RecordingName(oldPath)), this);
    field->setObjectName(QStringLiteral("nameField"));
    field->setCursorPosition(static_cast<int>(field->text().size()));
    field->deselect();
    new NameFieldKeys(*field, [this] { finish(); });
    body().addWidget(label);
    body().addWidget(field);
    body().addStretch(1);
    softKeys().setLeft(softkey::Done, tr("Done"));
    softKeys().setRight(softkey::Cancel, tr("Cancel"));
    field->setFocus();
}

std::optional<std::string> RenameDialog::Run(QWidget* parent, platform::FileSystem& files, platform::Shell& shell,
                                             const std::string& path) {
    RenameDialog dialog(parent, files, shell, path);
    if (dialog.exec() != result::Done) return std::nullopt;
    return dialog.renamedPath();
}

void RenameDialog::onSoftKey(std::uint32_t command) {
    if (command == softkey::Done) {
        finish();
    } else if (command == softkey::Cancel) {
        done(result::CancelKey);
    }
}

void RenameDialog::finish() {
    // The whole field counts: names are not cut to a length.
    renamed = recordings::RenameRecording(files, shell, oldPath, field->text().toStdString());
    if (renamed) done(result::Done);
}

}  // namespace tavrin::ui
