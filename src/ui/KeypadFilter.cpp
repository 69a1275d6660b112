#include "ui/KeypadFilter.h"

#include <QKeyEvent>
#include <QWidget>

#include "ui/KeyMap.h"

namespace tavrin::ui {

KeypadFilter::KeypadFilter(QWidget& target, Takes takesKey, OnKeyUp keyUp, Releases which)
    : QObject(&target), takes(std::move(takesKey)), onKeyUp(std::move(keyUp)), releases(which) {
    target.installEventFilter(this);
}

bool KeypadFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return QObject::eventFilter(watched, event);
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const std::uint32_t vk = VirtualKeyOf(key);
    if (vk == 0 || vk >= down.size() || !takes(vk)) return false;
    if (event->type() == QEvent::KeyPress) {
        down.set(vk);
        return true;
    }
    if (IsIgnoredKeyUp(key)) return true;
    const bool pressedHere = down.test(vk);
    down.reset(vk);
    if (pressedHere || releases == Releases::All) onKeyUp(vk);
    return true;
}

}  // namespace tavrin::ui
