#pragma once

#include <bitset>
#include <cstdint>
#include <functional>

#include <QObject>

class QWidget;

namespace tavrin::ui {

// Reads the keypad from the key events of a widget, before the widget sees
// them. Keypad keys act when they are released: the press of a key that
// `takes` accepts is swallowed (so that a list does not also move or search),
// and its release goes to `onKeyUp` unless it is an ignored key-up. Every
// other key reaches the widget as usual.
class KeypadFilter : public QObject {
    Q_OBJECT
public:
    using Takes = std::function<bool(std::uint32_t virtualKey)>;
    using OnKeyUp = std::function<void(std::uint32_t virtualKey)>;

    // Whether a release counts when the widget never saw the key go down: a
    // widget that opens while a key is held (a list opened from a menu with
    // Action) should not act on the release of the key that opened it.
    enum class Releases { All, AfterPress };

    KeypadFilter(QWidget& target, Takes takes, OnKeyUp onKeyUp, Releases releases = Releases::All);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Takes takes;
    OnKeyUp onKeyUp;
    Releases releases;
    std::bitset<256> down;  // keys pressed on the widget and not yet released
};

}  // namespace tavrin::ui
