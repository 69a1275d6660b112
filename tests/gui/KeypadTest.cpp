// The desktop keys that stand for the keypad, the soft-key bar and the
// filter that makes keypad keys act when released.
#include <gtest/gtest.h>

#include <QImage>
#include <QKeyEvent>
#include <QLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <vector>

#include "settings/KeyAssignments.h"
#include "ui/KeyMap.h"
#include "ui/KeypadFilter.h"
#include "ui/SoftKeyBar.h"

namespace tavrin::ui {
namespace {

namespace vk = settings::vk;

TEST(KeyMapTest, DesktopKeysStandForTheKeypad) {
    const struct {
        int qtKey;
        std::uint32_t virtualKey;
    } table[] = {
        {Qt::Key_F1, kVkLeftSoftKey}, {Qt::Key_F2, kVkRightSoftKey}, {Qt::Key_Return, vk::Action},
        {Qt::Key_Enter, vk::Action},  {Qt::Key_Escape, vk::Back},     {Qt::Key_Left, vk::Left},
        {Qt::Key_Up, vk::Up},         {Qt::Key_Right, vk::Right},     {Qt::Key_Down, vk::Down},
        {Qt::Key_0, 48},              {Qt::Key_5, 53},                {Qt::Key_9, 57},
        {Qt::Key_Asterisk, vk::Star}, {Qt::Key_F8, vk::Star},         {Qt::Key_NumberSign, vk::Pound},
        {Qt::Key_F9, vk::Pound},      {Qt::Key_F3, vk::Talk},         {Qt::Key_F4, vk::End},
        {Qt::Key_F6, vk::VolumeUp},   {Qt::Key_F7, vk::VolumeDown},   {Qt::Key_F10, vk::RecordKey},
        {Qt::Key_A, 0},               {Qt::Key_F5, 0},                {Qt::Key_Tab, 0},
        {Qt::Key_Backspace, 0},
    };
    for (const auto& row : table)
        EXPECT_EQ(VirtualKeyOf(row.qtKey), row.virtualKey) << "Qt key 0x" << std::hex << row.qtKey;
}

TEST(KeyMapTest, RepeatedAndAltReleasesDoNotAct) {
    EXPECT_FALSE(IsIgnoredKeyUp(QKeyEvent(QEvent::KeyRelease, Qt::Key_5, Qt::NoModifier)));
    EXPECT_TRUE(IsIgnoredKeyUp(QKeyEvent(QEvent::KeyRelease, Qt::Key_5, Qt::AltModifier)));
    EXPECT_TRUE(IsIgnoredKeyUp(QKeyEvent(QEvent::KeyRelease, Qt::Key_5, Qt::NoModifier, QString(), true)));
}

TEST(SoftKeyBarTest, KeysChooseTheirCommandOnlyWhenShownAndEnabled) {
    SoftKeyBar bar;
    QSignalSpy chosen(&bar, &SoftKeyBar::commandChosen);
    EXPECT_TRUE(bar.press(kVkLeftSoftKey)) << "a soft key, even while hidden";
    EXPECT_EQ(chosen.count(), 0);

    bar.setLeft(3, QStringLiteral("Record"));
    bar.setRight(4, QStringLiteral("Menu"));
    bar.press(kVkLeftSoftKey);
    bar.press(kVkRightSoftKey);
    ASSERT_EQ(chosen.count(), 2);
    EXPECT_EQ(chosen.at(0).at(0).toUInt(), 3u);
    EXPECT_EQ(chosen.at(1).at(0).toUInt(), 4u);

    bar.setCommandEnabled(3, false);
    bar.press(kVkLeftSoftKey);
    bar.leftButton().click();
    EXPECT_EQ(chosen.count(), 2) << "greyed";
    EXPECT_FALSE(bar.isCommandEnabled(3));
    // Relabelled under a new command, the key keeps its greyed state until enabled.
    bar.setLeft(19, QStringLiteral("Pause"));
    EXPECT_FALSE(bar.isCommandEnabled(19));
    bar.setCommandEnabled(19, true);
    bar.leftButton().click();
    ASSERT_EQ(chosen.count(), 3);
    EXPECT_EQ(chosen.at(2).at(0).toUInt(), 19u);
    EXPECT_FALSE(bar.press(vk::Action));
    EXPECT_EQ(bar.leftButton().focusPolicy(), Qt::NoFocus);
}

// What the user reads on the bar: the whole label, white on the bar's dark
// green, grey on a greyed key, on a lighter plate while the key is held.
TEST(SoftKeyBarTest, KeysShowTheirStateInTheirColours) {
    const QRgb bar = qRgb(0x2f, 0x3a, 0x31), plate = qRgb(0x4d, 0x5e, 0x50);
    const QRgb greyed = qRgb(0x7d, 0x8a, 0x7f), white = qRgb(255, 255, 255);
    const struct {
        const char* state;
        bool enabled;
        bool down;
        QRgb ground;
        QRgb ink;
        QRgb never;
    } cases[] = {{"shown", true, false, bar, white, greyed},
                 {"greyed", false, false, bar, greyed, white},
                 {"held down", true, true, plate, white, greyed}};
    for (const auto& c : cases) {
        SoftKeyBar keys;
        keys.resize(240, 32);
        keys.setLeft(3, QStringLiteral("Record"));
        keys.setCommandEnabled(3, c.enabled);
        keys.leftButton().setDown(c.down);
        keys.layout()->activate();
        const QImage image = keys.grab().toImage();
        const QRect key = keys.leftButton().geometry();
        QFont bold = keys.leftButton().font();
        bold.setWeight(QFont::DemiBold);
        EXPECT_GE(key.width(), QFontMetrics(bold).horizontalAdvance(QStringLiteral("Record"))) << c.state;
        EXPECT_EQ(image.pixel(0, 0), bar) << c.state;
        EXPECT_EQ(image.pixel(key.topLeft()), c.ground) << c.state;
        int inked = 0, wrong = 0;
        for (int y = key.top(); y <= key.bottom(); ++y)
            for (int x = key.left(); x <= key.right(); ++x) {
                inked += image.pixel(x, y) == c.ink;
                wrong += image.pixel(x, y) == c.never;
            }
        EXPECT_GT(inked, 10) << c.state;
        EXPECT_EQ(wrong, 0) << c.state;
    }
}

TEST(KeypadFilterTest, TakenKeysActOnReleaseAndOthersReachTheWidget) {
    QTreeWidget list;
    for (int i = 0; i < 3; ++i) new QTreeWidgetItem(&list, {QString::number(i)});
    list.setCurrentItem(list.topLevelItem(0));
    std::vector<std::uint32_t> released;
    new KeypadFilter(list, [](std::uint32_t key) { return key == vk::Action || key == 53; },
                     [&](std::uint32_t key) { released.push_back(key); });

    QTest::keyPress(&list, Qt::Key_5);
    EXPECT_TRUE(released.empty()) << "nothing happens on the press";
    QTest::keyRelease(&list, Qt::Key_5);
    EXPECT_EQ(released, std::vector<std::uint32_t>{53});
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(list.currentItem(), list.topLevelItem(1)) << "Down still moves in the list";
    QTest::keyClick(&list, Qt::Key_Return, Qt::AltModifier);
    EXPECT_EQ(released.size(), 1u);
}

TEST(KeypadFilterTest, AfterPressIgnoresAReleaseWhosePressWentElsewhere) {
    QTreeWidget list;
    std::vector<std::uint32_t> released;
    new KeypadFilter(list, [](std::uint32_t key) { return key == vk::Action; },
                     [&](std::uint32_t key) { released.push_back(key); }, KeypadFilter::Releases::AfterPress);
    QTest::keyRelease(&list, Qt::Key_Return);
    EXPECT_TRUE(released.empty());
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_EQ(released.size(), 1u);
}

}  // namespace
}  // namespace tavrin::ui
