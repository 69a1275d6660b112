#pragma once

#include <cstdint>

#include <QString>
#include <QWidget>

class QPushButton;

namespace tavrin::ui {

// The two soft keys along the bottom of a window. Each carries a command
// identifier and a label; a key can be hidden, or greyed so that neither a
// click nor its desktop key (F1 left, F2 right) chooses it. The keys never
// take the focus: it stays in the window's list or field.
class SoftKeyBar : public QWidget {
    Q_OBJECT
public:
    explicit SoftKeyBar(QWidget* parent = nullptr);

    void setLeft(std::uint32_t command, const QString& label);
    void setRight(std::uint32_t command, const QString& label);
    void hideLeft();
    void hideRight();
    std::uint32_t leftCommand() const { return leftId; }
    std::uint32_t rightCommand() const { return rightId; }
    // Enables or greys whichever key carries the command.
    void setCommandEnabled(std::uint32_t command, bool enabled);
    bool isCommandEnabled(std::uint32_t command) const;

    // Chooses the soft key a virtual key stands for (112 left, 113 right)
    // when it is shown and enabled. True when the key was a soft key at all.
    bool press(std::uint32_t virtualKey);

    QPushButton& leftButton() { return *left; }
    QPushButton& rightButton() { return *right; }

signals:
    void commandChosen(std::uint32_t command);

private:
    QPushButton* makeKey();
    void choose(QPushButton& key, std::uint32_t command);

    QPushButton* left = nullptr;
    QPushButton* right = nullptr;
    std::uint32_t leftId = 0;
    std::uint32_t rightId = 0;
};

}  // namespace tavrin::ui
