#pragma once

#include <bitset>
#include <cstdint>

#include <QDialog>
#include <QString>

class QVBoxLayout;

namespace tavrin::ui {

class SoftKeyBar;

// Result codes the dialogs end with, as the recorder has always used them.
namespace result {
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
inline constexpr int Done = 12;
inline constexpr int CancelKey = 13;
}  // namespace result

// Soft-key command identifiers of the dialogs.
namespace softkey {
inline constexpr std::uint32_t Done = 12;
inline constexpr std::uint32_t Cancel = 13;
}  // namespace softkey

// A modal page of the recorder: it covers the window it was opened from, has
// a soft-key bar at the bottom and is worked with the keypad. Keys that no
// control of the page takes reach the page itself and act when released: F1
// and F2 choose the soft keys, Back (Escape) and closing the window go to
// `onBack`, Action to `onAction`. A release counts only when the page saw the
// key go down, so the key that opened the page does not also act in it.
class KeypadDialog : public QDialog {
    Q_OBJECT
public:
    KeypadDialog(QWidget* parent, const QString& caption);

    SoftKeyBar& softKeys() { return *bar; }

protected:
    // The layout above the soft-key bar, for the page's own controls.
    QVBoxLayout& body() { return *content; }

    // A soft key was chosen.
    virtual void onSoftKey(std::uint32_t command) = 0;
    virtual void onBack() { done(result::Cancel); }
    virtual void onAction() {}
    // Which keypad keys the page acts on; the others go on to QDialog.
    virtual bool takesKey(std::uint32_t virtualKey) const;
    // A key the page takes was released.
    virtual void onKeyUp(std::uint32_t virtualKey);

    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void reject() override { onBack(); }

private:
    // Tracks a key the page takes and acts on its release; false for other keys.
    bool pageKey(const QKeyEvent& event);

    QVBoxLayout* content = nullptr;
    SoftKeyBar* bar = nullptr;
    std::bitset<256> down;
    bool watchingControls = false;
};

}  // namespace tavrin::ui
