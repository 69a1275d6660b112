#include "ui/KeypadDialog.h"

#include <QKeyEvent>
#include <QVBoxLayout>

#include "settings/KeyAssignments.h"
#include "ui/KeyMap.h"
#include "ui/SoftKeyBar.h"

namespace tavrin::ui {

KeypadDialog::KeypadDialog(QWidget* parent, const QString& caption) : QDialog(parent) {
    setWindowTitle(caption);
    setModal(true);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    content = new QVBoxLayout;
    content->setContentsMargins(8, 8, 8, 8);
    outer->addLayout(content, 1);
    bar = new SoftKeyBar(this);
    bar->setMinimumHeight(40);
    outer->addWidget(bar);
    connect(bar, &SoftKeyBar::commandChosen, this, [this](std::uint32_t command) { onSoftKey(command); });
}

bool KeypadDialog::takesKey(std::uint32_t vk) const {
    return vk == kVkLeftSoftKey || vk == kVkRightSoftKey || vk == settings::vk::Back || vk == settings::vk::Action;
}

void KeypadDialog::onKeyUp(std::uint32_t vk) {
    if (vk == settings::vk::Back) {
        onBack();
    } else if (vk == settings::vk::Action) {
        onAction();
    } else {
        bar->press(vk);
    }
}

bool KeypadDialog::pageKey(const QKeyEvent& event) {
    const std::uint32_t vk = VirtualKeyOf(event);
    if (vk == 0 || vk >= down.size() || !takesKey(vk)) return false;
    if (event.type() == QEvent::KeyPress) {
        down.set(vk);
    } else if (!IsIgnoredKeyUp(event) && down.test(vk)) {
        down.reset(vk);
        onKeyUp(vk);
    }
    return true;
}

void KeypadDialog::keyPressEvent(QKeyEvent* event) {
    // Swallowed here and acted on at the release; QDialog would otherwise
    // take Return for a default button and Escape for an immediate reject.
    if (!pageKey(*event)) QDialog::keyPressEvent(event);
}

void KeypadDialog::keyReleaseEvent(QKeyEvent* event) {
    if (!pageKey(*event)) QDialog::keyReleaseEvent(event);
}

bool KeypadDialog::eventFilter(QObject* watched, QEvent* event) {
    // The soft keys belong to the page whatever has the focus: a text field
    // keeps the releases of keys it does not know to itself.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const std::uint32_t vk = VirtualKeyOf(static_cast<const QKeyEvent&>(*event));
        if (vk == kVkLeftSoftKey || vk == kVkRightSoftKey) return pageKey(static_cast<const QKeyEvent&>(*event));
    }
    return QDialog::eventFilter(watched, event);
}

void KeypadDialog::showEvent(QShowEvent* event) {
    if (!watchingControls) {
        for (QWidget* control : findChildren<QWidget*>()) control->installEventFilter(this);
        watchingControls = true;
    }
    // A page covers the window it belongs to, as it covered the keypad's screen.
    if (QWidget* owner = parentWidget()) setGeometry(owner->window()->geometry());
    QDialog::showEvent(event);
}

}  // namespace tavrin::ui
