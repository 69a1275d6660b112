#include "ui/AssignKeyDialog.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/Fonts.h"
#include "ui/KeyMap.h"
#include "ui/SoftKeyBar.h"
#include "ui/Text.h"

namespace tavrin::ui {
namespace {

// Names the function a key was taken from.
std::string TakenKeyMessage(std::uint32_t key, settings::Function loser) {
    return "Key \"" + std::string(settings::KeyName(key)) + "\" was taken from \"" +
           std::string(settings::InfoOf(loser).label) + "\".";
}

}  // namespace

AssignKeyDialog::AssignKeyDialog(QWidget* parent, settings::KeyAssignments& assignments, platform::Shell& desktop,
                                 settings::Function assigned)
    : KeypadDialog(parent, Text(settings::kAssignKeyCaption)),
      keys(assignments),
      shell(desktop),
      function(assigned) {
    setObjectName(QStringLiteral("assignKeyDialog"));
    auto* prompt = new QLabel(tr("Press key for"), this);
    auto* name = new QLabel(QLatin1Char('"') + Text(settings::InfoOf(function).label) + QLatin1Char('"'), this);
    name->setObjectName(QStringLiteral("functionLabel"));
    for (QLabel* label : {prompt, name}) {
        label->setFont(CaptionFont());
        label->setAlignment(Qt::AlignHCenter);
    }
    body().addStretch(1);
    body().addWidget(prompt);
    body().addWidget(name);
    body().addStretch(2);
    softKeys().setRight(softkey::Cancel, tr("Cancel"));
    // No control takes the keys: the page itself must have the focus.
    setFocusPolicy(Qt::StrongFocus);
}

void AssignKeyDialog::showEvent(QShowEvent* event) {
    KeypadDialog::showEvent(event);
    setFocus();
}

void AssignKeyDialog::onSoftKey(std::uint32_t command) {
    if (command == softkey::Cancel) done(result::Cancel);
}

bool AssignKeyDialog::takesKey(std::uint32_t vk) const { return vk != 0; }

void AssignKeyDialog::onKeyUp(std::uint32_t vk) {
    if (vk == kVkLeftSoftKey || vk == kVkRightSoftKey) {
        softKeys().press(vk);
    } else if (vk == settings::vk::Back) {
        done(result::Cancel);
    } else if (const auto refusal = settings::ReservedKeyMessage(vk)) {
        shell.messageBox(std::string(*refusal), std::string(settings::kCantAssignCaption), platform::mb::IconAsterisk);
    } else if (settings::IsAssignable(vk)) {
        const std::optional<settings::Function> loser = keys.holderOf(vk);
        if (!keys.assign(function, vk)) return;
        // A key has one function: the one it is taken from is named, so
        // that nothing changes behind the user's back.
        if (loser && *loser != function) {
            shell.messageBox(std::string(TakenKeyMessage(vk, *loser)), std::string(settings::kAssignKeyCaption),
                             platform::mb::IconAsterisk);
        }
        done(result::Ok);
    }
}

}  // namespace tavrin::ui
