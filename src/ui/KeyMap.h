#pragma once

#include <cstdint>

#include <Qt>

class QKeyEvent;

namespace tavrin::ui {

// Virtual keys of the two soft keys, which the desktop's F1 and F2 stand for.
inline constexpr std::uint32_t kVkLeftSoftKey = 112;
inline constexpr std::uint32_t kVkRightSoftKey = 113;

// The keypad key a desktop key stands for: Return and Enter are Action,
// Escape is Back, the arrows and digits are themselves, '*' and F8 the star,
// '#' and F9 the pound key, F3 Talk, F4 End, F6 and F7 the volume keys, F10
// the record key and F1, F2 the soft keys. 0 for every other key.
std::uint32_t VirtualKeyOf(int qtKey);
std::uint32_t VirtualKeyOf(const QKeyEvent& event);

// Key-ups that must not act: a release while Alt is held (the keypad's
// context bit) and the releases a held key repeats.
bool IsIgnoredKeyUp(const QKeyEvent& event);

}  // namespace tavrin::ui
