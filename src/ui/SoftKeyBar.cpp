#include "ui/SoftKeyBar.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>

#include "ui/KeyMap.h"

namespace tavrin::ui {
namespace {

const QColor kBar(0x2f, 0x3a, 0x31);
const QColor kPressed(0x4d, 0x5e, 0x50);
const QColor kGreyed(0x7d, 0x8a, 0x7f);
constexpr int kPadX = 8;
constexpr int kPadY = 2;

// A bold label straight on the bar, on a lighter plate while pressed.
// Painted here: a style sheet would bring the whole style-sheet machinery
// (a parser, and rules looked up at every repaint) into every window.
class SoftKey final : public QPushButton {
public:
    explicit SoftKey(QWidget* parent) : QPushButton(parent) {}
    QSize sizeHint() const override {
        const QFontMetrics metrics(labelFont());
        return QSize(metrics.horizontalAdvance(text()) + 2 * kPadX, metrics.height() + 2 * kPadY);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (isDown()) p.fillRect(rect(), kPressed);
        p.setFont(labelFont());
        p.setPen(isEnabled() ? QColor(Qt::white) : kGreyed);
        p.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
    }

private:
    QFont labelFont() const {
        QFont bold = font();
        bold.setWeight(QFont::DemiBold);
        return bold;
    }
};

}  // namespace

SoftKeyBar::SoftKeyBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("softKeyBar"));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBar);
    setPalette(colours);
    setAutoFillBackground(true);
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
    auto* key = new SoftKey(this);
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
