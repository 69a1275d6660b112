#pragma once

#include "ui/KeypadDialog.h"

namespace tavrin::ui {

inline constexpr const char* kProductLine = "Tavrin \u2122 1.20";

// The product, its maker and a short legend of the desktop keys that stand
// for the keypad.
class AboutDialog : public KeypadDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent);

protected:
    void onSoftKey(std::uint32_t command) override;
};

}  // namespace tavrin::ui
