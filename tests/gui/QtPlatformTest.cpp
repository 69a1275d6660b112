// The Qt realisations of the platform: message boxes, the documents folder
// and the power status.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/qt/QtPower.h"
#include "platform/qt/QtShell.h"
#include "support/TempDir.h"

namespace tavrin::platform {
namespace {

TEST(QtShellTest, StylesGiveTheirIconButtonsAndDefault) {
    const struct {
        unsigned style;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton byDefault;
    } table[] = {
        {mb::Ok, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok},
        {mb::IconHand, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok},
        {mb::IconHand | mb::YesNo, QMessageBox::Critical, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes},
        {mb::IconExclamation | mb::YesNo, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes},
        {mb::IconQuestion | mb::YesNo | mb::DefButton2, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
         QMessageBox::No},
        {mb::IconAsterisk, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok},
        {mb::OkCancel | mb::DefButton2, QMessageBox::NoIcon, QMessageBox::Ok | QMessageBox::Cancel,
         QMessageBox::Cancel},
    };
    for (const auto& row : table) {
        QMessageBox box;
        ConfigureMessageBox(box, "text", "Tavrin  Rename", row.style);
        EXPECT_EQ(box.icon(), row.icon) << "style 0x" << std::hex << row.style;
        EXPECT_EQ(box.standardButtons(), row.buttons) << "style 0x" << std::hex << row.style;
        EXPECT_EQ(static_cast<QAbstractButton*>(box.defaultButton()), box.button(row.byDefault))
            << "style 0x" << std::hex << row.style;
        EXPECT_EQ(box.windowTitle(), "Tavrin  Rename");
    }
    EXPECT_EQ(AnswerOfButton(QMessageBox::Yes), answer::Yes);
    EXPECT_EQ(AnswerOfButton(QMessageBox::No), answer::No);
    EXPECT_EQ(AnswerOfButton(QMessageBox::Cancel), answer::Cancel);
    EXPECT_EQ(AnswerOfButton(QMessageBox::Ok), answer::Ok);
}

TEST(QtShellTest, ABoxAnswersWithTheButtonPressed) {
    QtShell shell;
    const std::pair<Qt::Key, int> presses[] = {{Qt::Key_Return, answer::Yes}, {Qt::Key_Escape, answer::No}};
    for (const auto& [key, expected] : presses) {
        QString shownText;
        QTimer::singleShot(0, [&, k = key] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shownText = box->text();
            QTest::keyClick(box, k);
        });
        EXPECT_EQ(shell.messageBox("Permanently delete this recording?", "Tavrin", mb::IconExclamation | mb::YesNo),
                  expected);
        EXPECT_EQ(shownText, "Permanently delete this recording?");
    }
}

// The longest texts the recorder shows stay inside its window, narrow as the
// keypad screen: the text wraps, the box grows downwards, all of it is shown.
TEST(QtShellTest, ABoxWithALongTextStaysInsideTheWindow) {
    QWidget window;
    window.resize(300, 400);  // narrower than a box of a long text would be
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QtShell shell;
    const std::string texts[] = {
        "Names must be unique and cannot contain the following characters: \\/:*?\"<.>|",
        "The recording was renamed, but the storage did not confirm the new name. "
        "If the power fails now, the recording may keep its old name.",
        "Short",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        QApplication::setActiveWindow(&window);  // the box's owner
        QRect box, label;
        int needed = 0;
        QTimer::singleShot(0, [&] {
            auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(shown, nullptr);
            box = shown->geometry();
            const auto* words = shown->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            ASSERT_NE(words, nullptr);
            label = words->geometry();
            needed = words->wordWrap() ? words->heightForWidth(words->width()) : words->sizeHint().height();
            QTest::keyClick(shown, Qt::Key_Return);
        });
        EXPECT_EQ(shell.messageBox(text, "Tavrin  Rename", mb::IconHand), answer::Ok);
        EXPECT_LE(box.width(), window.width());
        EXPECT_GE(label.height(), needed) << "every line of the text is shown";
    }
}

TEST(QtShellTest, ABoxAskedForByAnotherThreadIsShownByTheUiThread) {
    QtShell shell;
    QThread* shownOn = nullptr;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownOn = box->thread();
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    answerer.start(5);
    std::atomic<int> answered{0};
    std::thread engineThread([&] { answered = shell.messageBox("Internal Error", "Internal Error", mb::IconHand); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered.load() != 0; }, 10'000));
    engineThread.join();
    EXPECT_EQ(answered.load(), answer::Ok);
    EXPECT_EQ(shownOn, QCoreApplication::instance()->thread());
}

TEST(QtShellTest, DocumentsFolderIsMadeWhenMissing) {
    test::TempDir root;
    const std::string folder = root.file("deep/er/Documents");
    const QByteArray before = qgetenv("XDG_DOCUMENTS_DIR");
    qputenv("XDG_DOCUMENTS_DIR", QByteArray::fromStdString(folder + "/"));
    QtShell shell;
    EXPECT_EQ(shell.documentsFolder(), folder);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    qputenv("XDG_DOCUMENTS_DIR", before);
}

PowerSupply Battery(int capacity, const char* status = "Discharging", const char* level = "") {
    PowerSupply s;
    s.type = QStringLiteral("Battery");
    s.capacity = capacity;
    s.status = QString::fromLatin1(status);
    s.capacityLevel = QString::fromLatin1(level);
    return s;
}

PowerSupply Mains(bool online) {
    PowerSupply s;
    s.type = QStringLiteral("Mains");
    s.online = online;
    return s;
}

TEST(QtPowerTest, StatusFromTheSupplies) {
    PowerSupply mouse = Battery(3);
    mouse.scope = QStringLiteral("Device");
    const struct {
        std::vector<PowerSupply> supplies;
        bool external;
        std::uint8_t flag;
    } table[] = {
        {{}, true, battery::NoBattery},  // a desktop machine
        {{mouse}, true, battery::NoBattery},
        {{Mains(true), Battery(80)}, true, battery::High},
        {{Mains(false), Battery(80)}, false, battery::High},
        {{Mains(false), Battery(34)}, false, battery::High},
        {{Mains(false), Battery(33)}, false, battery::Low},
        {{Mains(false), Battery(6)}, false, battery::Low},
        {{Mains(false), Battery(5)}, false, battery::Critical},
        {{Mains(true), Battery(20, "Charging")}, true, battery::Low | battery::Charging},
        {{Mains(false), Battery(-1, "Discharging", "Critical")}, false, battery::Critical},
        {{Mains(false), Battery(-1, "Discharging", "Normal")}, false, battery::High},
        {{Mains(false), Battery(-1, "Unknown")}, false, battery::Unknown},
    };
    int row = 0;
    for (const auto& t : table) {
        const PowerStatus s = PowerStatusOf(t.supplies);
        EXPECT_EQ(s.externalPower, t.external) << "row " << row;
        EXPECT_EQ(s.batteryFlag, t.flag) << "row " << row;
        ++row;
    }
}

TEST(QtPowerTest, ReadsTheSuppliesTheKernelLists) {
    test::TempDir root;
    const auto write = [&](const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(root.file(path)).parent_path());
        test::WriteBytes(root.file(path), text + "\n");
    };
    write("AC/type", "Mains");
    write("AC/online", "0");
    write("BAT0/type", "Battery");
    write("BAT0/status", "Discharging");
    write("BAT0/capacity", "4");
    QtPower power(QString::fromStdString(root.path()));
    const PowerStatus s = power.status();
    EXPECT_FALSE(s.externalPower);
    EXPECT_EQ(s.batteryFlag, battery::Critical);
    EXPECT_EQ(ReadPowerSupplies(QString::fromStdString(root.file("missing"))).size(), 0u);
}

}  // namespace
}  // namespace tavrin::platform
