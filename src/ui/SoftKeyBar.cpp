#include "ui/SoftKeyBar.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "ui/KeyMap.h"

namespace tavrin::ui {
namespace {

constexpr const char* kBarStyle =
    "QWidget#softKeyBar { background: #2f3a31; }"
    "QPushButton { color: white; background: transparent; border: none; font-weight: 600; padding: 2px 8px; }"
    "QPushButton:pressed { background: #4d5e50; }"
    "QPushButton:disabled { color: #7d8a7f; }";

}  // namespace

SoftKeyBar::SoftKeyBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("softKeyBar"));
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QString::fromLatin1(kBarStyle));
    left = makeKey();
    right = makeKey();
    left->setObjectName(QStringLiteral("leftSoftKey"));
    right->setObjectName(QStringLiteral("rightSoftKey"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 0, 2, 0);
    row->addWidget(left, 1, Qt::AlignLeft | Qt::AlignVCenter);
    row->addWidget(right, 1, Qt::AlignRight | Qt::AlignVCenter);
    connect(left, &QPushButton::clicked, this, [this] { choose(*left, leftId); });
    connect(right, &QPushButton::clicked, this, [this] { choose(*right, rightId); });
    hideLeft();
    hideRight();
}

QPushButton* SoftKeyBar::makeKey() {
    auto* key = new QPushButton(this);
    // Return in a dialog must reach the dialog's list, never a soft key.
    key->setAutoDefault(false);
    key->setDefault(false);
    key->setFocusPolicy(Qt::NoFocus);
    key->setFlat(true);
    return key;
}

void SoftKeyBar::setLeft(std::uint32_t command, const QString& label) {
    left->setText(label);
    leftId = command;
    left->show();
}

void SoftKeyBar::setRight(std::uint32_t command, const QString& label) {
    right->setText(label);
    rightId = command;
    right->show();
}

void SoftKeyBar::hideLeft() {
    left->hide();
    leftId = 0;
}

void SoftKeyBar::hideRight() {
    right->hide();
    rightId = 0;
}

void SoftKeyBar::setCommandEnabled(std::uint32_t command, bool enabled) {
    if (command == 0) return;
    if (command == leftId) left->setEnabled(enabled);
    if (command == rightId) right->setEnabled(enabled);
}

bool SoftKeyBar::isCommandEnabled(std::uint32_t command) const {
    if (command != 0 && command == leftId) return left->isEnabled();
    if (command != 0 && command == rightId) return right->isEnabled();
    return false;
}

bool SoftKeyBar::press(std::uint32_t virtualKey) {
    if (virtualKey == kVkLeftSoftKey) {
        choose(*left, leftId);
    } else if (virtualKey == kVkRightSoftKey) {
        choose(*right, rightId);
    } else {
        return false;
    }
    return true;
}

void SoftKeyBar::choose(QPushButton& key, std::uint32_t command) {
    if (command == 0 || key.isHidden() || !key.isEnabled()) return;
    emit commandChosen(command);
}

}  // namespace tavrin::ui
