#include "ui/KeyMap.h"

#include <QKeyEvent>

#include "settings/KeyAssignments.h"

namespace tavrin::ui {

std::uint32_t VirtualKeyOf(int qtKey) {
    namespace vk = settings::vk;
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return vk::Digit0 + static_cast<std::uint32_t>(qtKey - Qt::Key_0);
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter: return vk::Action;
        case Qt::Key_Escape: return vk::Back;
        case Qt::Key_Left: return vk::Left;
        case Qt::Key_Up: return vk::Up;
        case Qt::Key_Right: return vk::Right;
        case Qt::Key_Down: return vk::Down;
        case Qt::Key_Asterisk:
        case Qt::Key_F8: return vk::Star;
        case Qt::Key_NumberSign:
        case Qt::Key_F9: return vk::Pound;
        case Qt::Key_F1: return kVkLeftSoftKey;
        case Qt::Key_F2: return kVkRightSoftKey;
        case Qt::Key_F3: return vk::Talk;
        case Qt::Key_F4: return vk::End;
        case Qt::Key_F6: return vk::VolumeUp;
        case Qt::Key_F7: return vk::VolumeDown;
        case Qt::Key_F10: return vk::RecordKey;
        default: return vk::None;
    }
}

std::uint32_t VirtualKeyOf(const QKeyEvent& event) { return VirtualKeyOf(event.key()); }

bool IsIgnoredKeyUp(const QKeyEvent& event) {
    return event.isAutoRepeat() || (event.modifiers() & Qt::AltModifier) != 0;
}

}  // namespace tavrin::ui
