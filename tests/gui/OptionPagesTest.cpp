// The options list and its pages, opened from the main window's menu and
// worked with keys: digits, Action, Back and the soft keys.
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>

#include "GuiHarness.h"
#include "app/InfoPanel.h"
#include "controller/Commands.h"
#include "ui/MicrophoneDialog.h"
#include "ui/RecordingOptionsDialog.h"
#include "wav/Formats.h"

namespace tavrin::test {
namespace {

namespace cmd = controller::cmd;
using settings::Function;

class OptionPagesTest : public GuiTest {
protected:
    static QTreeWidget& pageList(QWidget& dialog) { return *dialog.findChild<QTreeWidget*>("pageList"); }
    static QTreeWidget& functionList(QWidget& dialog) { return *dialog.findChild<QTreeWidget*>("functionList"); }
    static QString keyOfRow(QWidget& dialog, int row) { return functionList(dialog).topLevelItem(row)->text(2); }
    // Runs the options list from the menu until the script is done with it.
    void openOptions(ModalScript& script) {
        pickFromMenu(cmd::Options);
        EXPECT_TRUE(script.finished()) << "still waiting for: " << script.pending().toStdString();
    }
    QString menuCaption(std::uint32_t command) {
        for (QAction* a : window().softKeyMenu().actions())
            if (!a->isSeparator() && a->data().toUInt() == command) return a->text();
        return {};
    }
    static void storeRecordingOptions(std::uint32_t format, const std::string& location) {
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        settings.setValue(QStringLiteral("Recording Options/Format"), format);
        settings.setValue(QStringLiteral("Recording Options/Save Location"), QString::fromStdString(location));
        settings.sync();
    }
};

TEST_F(OptionPagesTest, ListShowsFourNumberedPages) {
    start();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Tavrin Options");
        QTreeWidget& list = pageList(dialog);
        ASSERT_EQ(list.topLevelItemCount(), 4);
        const char* names[] = {"Recording", "Microphone", "Buttons", "About"};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(list.topLevelItem(i)->text(1), QString::number(i + 1));
            EXPECT_EQ(list.topLevelItem(i)->text(2), names[i]);
        }
        EXPECT_EQ(list.currentItem(), list.topLevelItem(0));
        SaveScreenshot(dialog, QStringLiteral("options-list.png"));
        Click(list, Qt::Key_F1);
    });
    openOptions(script);
}

TEST_F(OptionPagesTest, DigitKeysOpenTheirPageAndADigitPastTheEndNothing) {
    start();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) {
        Click(pageList(dialog), Qt::Key_5);
        EXPECT_EQ(QApplication::activeModalWidget(), &dialog) << "5 opens nothing";
        Click(pageList(dialog), Qt::Key_3);
    });
    script.then("assignButtonsDialog", [](QWidget& dialog) { Click(functionList(dialog), Qt::Key_F1); });
    script.then("optionsListDialog", [](QWidget& dialog) {
        EXPECT_EQ(pageList(dialog).currentItem(), pageList(dialog).topLevelItem(2)) << "back on the row it opened";
        Click(pageList(dialog), Qt::Key_4);
    });
    script.then("aboutDialog", [](QWidget& dialog) {
        EXPECT_EQ(dialog.findChild<QLabel*>("productLine")->text(), QString::fromUtf8("Tavrin \u2122 1.20"));
        EXPECT_EQ(dialog.windowTitle(), "Tavrin");
        SaveScreenshot(dialog, QStringLiteral("about.png"));
        Click(dialog, Qt::Key_F1);
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    openOptions(script);
}

TEST_F(OptionPagesTest, TheActionThatChoseOptionsDoesNotAlsoOpenAPage) {
    start();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) {
        QTreeWidget& list = pageList(dialog);
        QTest::keyRelease(&list, Qt::Key_Return);  // released after the menu went
        EXPECT_EQ(QApplication::activeModalWidget(), &dialog);
        Click(list, Qt::Key_Return);  // a press of its own opens the selected page
    });
    script.then("recordingOptionsDialog", [](QWidget& dialog) { Click(dialog, Qt::Key_F1); });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    Click(window().recordingList(), Qt::Key_F2);
    QMenu& menu = window().softKeyMenu();
    for (QAction* a : menu.actions())
        if (a->data().toUInt() == cmd::Options) menu.setActiveAction(a);
    QTest::keyPress(&menu, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_TRUE(script.finished()) << script.pending().toStdString();
}

// The stored microphone goes to the device at start-up; the page asks for
// the sources each time it opens (a headset plugged in since is there),
// lists the desktop's default first, checks the current choice, and stores a
// chosen source by the server's name at once.
TEST_F(OptionPagesTest, MicrophonePageListsTheSourcesNowAndStoresTheChoiceByName) {
    {
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        settings.setValue(QStringLiteral("Recording Options/Microphone"), QStringLiteral("usb"));
        settings.sync();
    }
    sources = {{"builtin", "Built-in Audio"}, {"usb", "USB Headset"}, {"builtin.monitor", "Monitor of Built-in Audio"}};
    start();
    EXPECT_EQ(microphonesUsed, std::vector<std::string>{"usb"});
    sources.insert(sources.begin() + 2, {"bluetooth", "Bluetooth Headset"});
    const auto checkedRows = [](QTreeWidget& list) {
        std::vector<int> rows;
        for (int i = 0; i < list.topLevelItemCount(); ++i)
            if (list.topLevelItem(i)->checkState(0) == Qt::Checked) rows.push_back(i);
        return rows;
    };
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_2); });
    script.then("microphoneDialog", [&](QWidget& dialog) {
        QTreeWidget& list = *dialog.findChild<QTreeWidget*>("microphoneList");
        ASSERT_EQ(list.topLevelItemCount(), 5);
        const char* shown[] = {"Default (as the desktop)", "Built-in Audio", "USB Headset", "Bluetooth Headset",
                               "Monitor of Built-in Audio"};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(list.topLevelItem(i)->text(0), shown[i]);
        EXPECT_EQ(checkedRows(list), std::vector<int>{2});
        EXPECT_EQ(list.currentItem(), list.topLevelItem(2));
        list.setCurrentItem(list.topLevelItem(3));
        Click(list, Qt::Key_Return);
        EXPECT_EQ(checkedRows(list), std::vector<int>{3});
        EXPECT_EQ(stored(QStringLiteral("Recording Options/Microphone")), "bluetooth");
        list.setCurrentItem(list.topLevelItem(0));
        Click(list, Qt::Key_Return);
        EXPECT_EQ(stored(QStringLiteral("Recording Options/Microphone")), "");
        Click(list, Qt::Key_F1);
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    openOptions(script);
    EXPECT_EQ(microphonesUsed, (std::vector<std::string>{"usb", "bluetooth", ""}));
}

// Sources that read alike are told apart by their names, and the page
// follows the server: a source plugged in while it shows appears, one
// unplugged goes, and the highlight stays on its source.
TEST_F(OptionPagesTest, MicrophonePageTellsAlikeSourcesApartAndFollowsTheServer) {
    sources = {{"null_a.monitor", "Monitor of Null Output"}, {"null_b.monitor", "Monitor of Null Output"},
               {"usb", "USB Headset"}};
    start();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_2); });
    script.then("microphoneDialog", [&](QWidget& dialog) {
        auto& page = static_cast<ui::MicrophoneDialog&>(dialog);
        const auto shown = [&] {
            std::vector<std::string> rows;
            for (int i = 0; i < page.list().topLevelItemCount(); ++i)
                rows.push_back(page.list().topLevelItem(i)->text(0).toStdString());
            return rows;
        };
        EXPECT_EQ(shown(), (std::vector<std::string>{"Default (as the desktop)",
                                                     "Monitor of Null Output (null_a.monitor)",
                                                     "Monitor of Null Output (null_b.monitor)", "USB Headset"}));
        page.list().setCurrentItem(page.list().topLevelItem(3));
        sources.insert(sources.begin(), {"webcam", "Webcam Microphone"});
        sources.erase(sources.begin() + 1);  // null_a unplugged
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown().at(1) == "Webcam Microphone"; }, 5000))
            << "the page's own timer asks the server again";
        EXPECT_EQ(shown(), (std::vector<std::string>{"Default (as the desktop)", "Webcam Microphone",
                                                     "Monitor of Null Output", "USB Headset"}));
        EXPECT_EQ(page.list().currentItem(), page.list().topLevelItem(3)) << "still on the USB headset";
        Click(page.list(), Qt::Key_F1);
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    openOptions(script);
    EXPECT_TRUE(script.finished()) << script.pending().toStdString();
}

// A chosen microphone that is gone now stays listed, so the user sees what
// is chosen; a recording made meanwhile says once that it uses the default.
TEST_F(OptionPagesTest, AMissingMicrophoneIsListedAndTheRecordingSaysItUsesTheDefault) {
    {
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        settings.setValue(QStringLiteral("Recording Options/Microphone"), QStringLiteral("usb"));
        settings.sync();
    }
    sources = {{"builtin", "Built-in Audio"}};
    app::MainWindow& w = start();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_2); });
    script.then("microphoneDialog", [](QWidget& dialog) {
        QTreeWidget& list = *dialog.findChild<QTreeWidget*>("microphoneList");
        ASSERT_EQ(list.topLevelItemCount(), 3);
        EXPECT_EQ(list.topLevelItem(2)->text(0), "usb (not connected)");
        EXPECT_EQ(list.topLevelItem(2)->checkState(0), Qt::Checked);
        Click(list, Qt::Key_F1);
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    openOptions(script);

    inputNotice = "Microphone missing: using the default";
    choose(cmd::Record);
    deliverEvents();
    EXPECT_EQ(w.panel().notice(), "Microphone missing: using the default");
    EXPECT_FALSE(inputNotice.has_value()) << "asked once, at the start of the recording";
}

TEST_F(OptionPagesTest, AssignedKeyDrivesTheRecorderAndShowsInTheMenu) {
    app::MainWindow& w = start();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_3); });
    script.then("assignButtonsDialog", [](QWidget& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Tavrin Assign Buttons");
        QTreeWidget& list = functionList(dialog);
        ASSERT_EQ(list.topLevelItemCount(), 15);
        EXPECT_EQ(list.topLevelItem(7)->text(1), "Insert");
        EXPECT_EQ(list.topLevelItem(8)->text(1), "Overwrite");
        EXPECT_EQ(list.topLevelItem(5)->text(1), "Record");
        list.setCurrentItem(list.topLevelItem(5));
        Click(list, Qt::Key_Return);
    });
    script.then("assignKeyDialog", [](QWidget& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Tavrin  Assign Key");
        EXPECT_EQ(dialog.findChild<QLabel*>("functionLabel")->text(), "\"Record\"");
        Click(dialog, Qt::Key_5);
    });
    script.then("assignButtonsDialog", [&](QWidget& dialog) {
        EXPECT_EQ(keyOfRow(dialog, 5), "5");
        EXPECT_EQ(functionList(dialog).currentItem(), functionList(dialog).topLevelItem(5));
        // The menu follows at once, while the dialog is still open.
        EXPECT_EQ(menuCaption(cmd::Record), "Record      5");
        SaveScreenshot(dialog, QStringLiteral("assign-buttons.png"));
        Click(functionList(dialog), Qt::Key_F1);
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    openOptions(script);

    EXPECT_EQ(stored("Keys/Record"), "53");
    EXPECT_EQ(stored("Keys/Play"), "0") << "all the values are written";
    EXPECT_EQ(stored("Keys/Overwrite"), "0");
    Click(w.recordingList(), Qt::Key_5);
    EXPECT_TRUE(calledEngine("RecordStart(" + recording("Recording1") + ")"));
}

TEST_F(OptionPagesTest, BackUnassignsAndWritesThatOneValue) {
    app::MainWindow& w = start();
    ASSERT_TRUE(w.Settings().keys().assign(Function::Stop, settings::vk::Star));
    w.CurrentState()->UpdateMenu();
    EXPECT_EQ(menuCaption(cmd::Stop), "Stop           *");
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_3); });
    script.then("assignButtonsDialog", [&](QWidget& dialog) {
        QTreeWidget& list = functionList(dialog);
        EXPECT_EQ(keyOfRow(dialog, 10), "*");
        list.setCurrentItem(list.topLevelItem(10));
        Click(list, Qt::Key_Escape);
        EXPECT_EQ(keyOfRow(dialog, 10), "");
        EXPECT_EQ(QApplication::activeModalWidget(), &dialog) << "Back unassigns; it does not leave";
        EXPECT_EQ(menuCaption(cmd::Stop), "Stop           ");
        Click(list, Qt::Key_F1);
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    openOptions(script);
    EXPECT_EQ(stored("Keys/Stop"), "0");
    EXPECT_EQ(stored("Keys/Play"), "") << "only the changed value is written";
}

TEST_F(OptionPagesTest, AssignKeyRefusesReservedKeysAndBackChangesNothing) {
    start();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_3); });
    script.then("assignButtonsDialog", [](QWidget& dialog) { Click(functionList(dialog), Qt::Key_Return); });
    script.then("assignKeyDialog", [&](QWidget& dialog) {
        const struct {
            int key;
            const char* message;
        } refused[] = {
            {Qt::Key_Return, "(Action) plays recording selected in the list\n(Action) can't be assigned."},
            {Qt::Key_Up, "(Up) moves up in the recording list\n(Up) can't be assigned."},
            {Qt::Key_Down, "(Down) moves down in the recording list\n(Down) can't be assigned."},
            {Qt::Key_F10, "This key can't be assigned."},
            {Qt::Key_F3, "This key can't be assigned."},
        };
        for (const auto& r : refused) {
            shell.clearBoxes();
            Click(dialog, r.key);
            ASSERT_EQ(shell.boxes().size(), 1u) << r.message;
            EXPECT_EQ(shell.lastBox().text, r.message);
            EXPECT_EQ(shell.lastBox().caption, "Tavrin  Can't Assign");
            EXPECT_EQ(QApplication::activeModalWidget(), &dialog) << "the page waits on";
        }
        Click(dialog, Qt::Key_Escape);
    });
    script.then("assignButtonsDialog", [&](QWidget& dialog) {
        EXPECT_EQ(keyOfRow(dialog, 0), "");
        Click(functionList(dialog), Qt::Key_F1);
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    openOptions(script);
    for (const auto& f : settings::Functions()) EXPECT_EQ(window().Settings().keys().key(f.function), 0u);
}

TEST_F(OptionPagesTest, RecordingOptionsCancelPutsTheOldValuesBackInTheFile) {
    storeRecordingOptions(wav::kCodePcm8k8, documents);
    start();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_1); });
    script.then("recordingOptionsDialog", [&](QWidget& dialog) {
        auto& page = static_cast<ui::RecordingOptionsDialog&>(dialog);
        EXPECT_EQ(page.locationList().currentText(), "Phone");
        EXPECT_EQ(page.formatList().currentText(), "PCM  8kHz  8-Bit");
        EXPECT_TRUE(page.locationList().isEnabled());
        EXPECT_EQ(page.totalTimeText(), "02:03:04");
        EXPECT_EQ(page.singleTimeText(), "00:01:05");
        SaveScreenshot(dialog, QStringLiteral("recording-options.png"));
        page.formatList().setCurrentIndex(page.formatList().findText("PCM 22kHz 16-Bit"));
        EXPECT_EQ(window().Settings().format(), wav::kCodePcm22k16) << "in effect at once";
        EXPECT_EQ(stored("Recording Options/Format").toUInt(), wav::kCodePcm8k8) << "written only by Done";
        Click(page.formatList(), Qt::Key_F2);  // Cancel
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    openOptions(script);
    EXPECT_EQ(stored("Recording Options/Format").toUInt(), wav::kCodePcm8k8);
    EXPECT_EQ(stored("Recording Options/Save Location").toStdString(), documents);
    EXPECT_EQ(window().Settings().format(), wav::kCodePcm8k8);
}

// The start-up corrections (a card that is gone, a format the device lacks)
// are never stored by leaving the page, whichever way it is left; what the
// user changed is stored by Done alone.
TEST_F(OptionPagesTest, RecordingOptionsShowAMissingCardAsPhoneAndKeepItStored) {
    for (const int leave : {Qt::Key_F1, Qt::Key_F2, Qt::Key_Escape}) {
        SCOPED_TRACE(leave);
        storeRecordingOptions(0x10 /* a format the device does not offer */, "/media/nobody/GONE");
        if (main) main->close();
        main.reset();
        start();
        ModalScript script;
        script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_1); });
        script.then("recordingOptionsDialog", [&](QWidget& dialog) {
            auto& page = static_cast<ui::RecordingOptionsDialog&>(dialog);
            EXPECT_EQ(page.locationList().currentText(), "Phone");
            EXPECT_EQ(page.formatList().currentText(), "GSM  2kB/s");
            page.limitSwitch().setChecked(true);
            Click(page.locationList(), leave);
        });
        script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
        openOptions(script);
        EXPECT_EQ(stored("Recording Options/Save Location"), "/media/nobody/GONE")
            << "the correction is not written back";
        EXPECT_EQ(stored("Recording Options/Format"), "16");
        EXPECT_EQ(stored("Recording Options/Time Limit"), leave == Qt::Key_F1 ? "1" : "");
        EXPECT_EQ(window().RecordingOptions().timeLimitOn, leave == Qt::Key_F1) << "Cancel and Back restore";
        EXPECT_EQ(window().Settings().saveLocation(), documents) << "the correction stays in effect";
        QSettings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin")).clear();
    }
}

// Every option is reached with Up and Down and set with the keypad: Left and
// Right turn a list or a number, digits type a number, Action ticks a switch.
// Done writes exactly the values that changed.
TEST_F(OptionPagesTest, RecordingOptionsAreSetWithTheKeypadAndDoneWritesWhatChanged) {
    storeRecordingOptions(wav::kCodePcm8k8, documents);
    start();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_1); });
    script.then("recordingOptionsDialog", [&](QWidget& dialog) {
        auto& page = static_cast<ui::RecordingOptionsDialog&>(dialog);
        EXPECT_EQ(QApplication::focusWidget(), &page.locationList());
        // With every switch off, their numbers are greyed and Up and Down pass them by.
        for (QWidget* number : std::initializer_list<QWidget*>{&page.voiceLevel(), &page.silenceLevel(),
                                                               &page.silenceSeconds(), &page.limitMinutes()})
            EXPECT_FALSE(number->isEnabled()) << number->objectName().toStdString();
        const std::vector<QWidget*> order{&page.formatList(), &page.voiceSwitch(), &page.silenceSwitch(),
                                          &page.limitSwitch(), &page.subFolder()};
        for (QWidget* next : order) {
            Click(*QApplication::focusWidget(), Qt::Key_Down);
            EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
        }
        Click(*QApplication::focusWidget(), Qt::Key_Down);
        EXPECT_EQ(QApplication::focusWidget(), &page.locationList()) << "round again";
        Click(page.locationList(), Qt::Key_Up);
        EXPECT_EQ(QApplication::focusWidget(), &page.subFolder());
        ClickText(page.subFolder(), QStringLiteral("Int/erv.iews"));  // the refused characters do not go in
        EXPECT_EQ(page.subFolder().text(), "Interviews");
        for (int i = 0; i < 3; ++i) Click(*QApplication::focusWidget(), Qt::Key_Up);
        EXPECT_EQ(QApplication::focusWidget(), &page.voiceSwitch());
        Click(page.voiceSwitch(), Qt::Key_Return);  // Action
        EXPECT_TRUE(page.voiceSwitch().isChecked());
        EXPECT_TRUE(page.voiceLevel().isEnabled());
        Click(page.voiceSwitch(), Qt::Key_Down);
        ClickText(page.voiceLevel(), QStringLiteral("25"));
        Click(page.voiceLevel(), Qt::Key_Right);
        EXPECT_EQ(page.voiceLevel().value(), 26);
        Click(*QApplication::focusWidget(), Qt::Key_Down);
        EXPECT_EQ(QApplication::focusWidget(), &page.silenceSwitch());
        Click(page.silenceSwitch(), Qt::Key_Return);
        for (int i = 0; i < 2; ++i) Click(*QApplication::focusWidget(), Qt::Key_Down);
        EXPECT_EQ(QApplication::focusWidget(), &page.silenceSeconds());
        ClickText(page.silenceSeconds(), QStringLiteral("99"));  // no number of seconds above 60 goes in
        EXPECT_EQ(page.silenceSeconds().value(), 9);
        ClickText(page.silenceSeconds(), QStringLiteral("\b\b60"));
        Click(page.silenceSeconds(), Qt::Key_Right);
        EXPECT_EQ(page.silenceSeconds().value(), 60) << "the top of the range";
        EXPECT_EQ(stored("Recording Options/Voice Activation"), "") << "nothing is written before Done";
        SaveScreenshot(dialog, QStringLiteral("recording-options-more.png"));
        Click(dialog, Qt::Key_F1);
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    openOptions(script);
    EXPECT_EQ(stored("Recording Options/Voice Activation"), "1");
    EXPECT_EQ(stored("Recording Options/Activation Level"), "26");
    EXPECT_EQ(stored("Recording Options/Silence Cut"), "1");
    EXPECT_EQ(stored("Recording Options/Silence Seconds"), "60");
    EXPECT_EQ(stored("Recording Options/Sub-folder"), "Interviews");
    for (const char* unchanged : {"Silence Level", "Time Limit", "Time Limit Minutes"})
        EXPECT_EQ(stored(QStringLiteral("Recording Options/") + unchanged), "") << unchanged;
    const settings::RecordingOptions& o = window().RecordingOptions();
    EXPECT_TRUE(o.voiceActivated);
    EXPECT_EQ(o.voiceActivationLevel, 26u);
    EXPECT_EQ(o.subFolder, "Interviews");
}

// Action opens a list, as the keypad's lists opened: Up and Down move in
// it, Action chooses.
TEST_F(OptionPagesTest, ActionOpensTheFormatListAndTheListChooses) {
    storeRecordingOptions(wav::kCodePcm8k8, documents);
    start();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_1); });
    script.then("recordingOptionsDialog", [&](QWidget& dialog) {
        auto& page = static_cast<ui::RecordingOptionsDialog&>(dialog);
        Click(page.locationList(), Qt::Key_Down);
        ASSERT_EQ(QApplication::focusWidget(), &page.formatList());
        const int before = page.formatList().currentIndex();
        Click(page.formatList(), Qt::Key_Return);
        ASSERT_TRUE(QTest::qWaitFor([&] { return page.formatList().view()->isVisible(); }, 5000)) << "the list opens";
        QWidget& popup = *page.formatList().view();
        Click(popup, Qt::Key_Down);
        Click(popup, Qt::Key_Return);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !page.formatList().view()->isVisible(); }, 5000));
        EXPECT_EQ(page.formatList().currentIndex(), before + 1);
        EXPECT_EQ(QApplication::activeModalWidget(), &dialog) << "the page stays";
        Click(dialog, Qt::Key_F2);  // Cancel
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    openOptions(script);
    EXPECT_TRUE(script.finished()) << script.pending().toStdString();
}

// A key another function holds moves to the new one, and the page says from which.
TEST_F(OptionPagesTest, TakingAKeyFromAnotherFunctionSaysWhichLosesIt) {
    app::MainWindow& w = start();
    ASSERT_TRUE(w.Settings().keys().assign(Function::Play, settings::vk::Digit0 + 5));
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_3); });
    script.then("assignButtonsDialog", [](QWidget& dialog) {
        auto& list = functionList(dialog);
        list.setCurrentItem(list.topLevelItem(10));  // Stop
        Click(list, Qt::Key_Return);
    });
    script.then("assignKeyDialog", [](QWidget& dialog) { Click(dialog, Qt::Key_5); });
    script.then("assignButtonsDialog", [&](QWidget& dialog) {
        EXPECT_EQ(keyOfRow(dialog, 10), "5");
        EXPECT_EQ(keyOfRow(dialog, 4), "") << "Play lost it";
        Click(functionList(dialog), Qt::Key_F1);
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    openOptions(script);
    ASSERT_EQ(shell.boxes().size(), 1u);
    EXPECT_EQ(shell.lastBox().text, "Key \"5\" was taken from \"Play\".");
    EXPECT_EQ(shell.lastBox().caption, "Tavrin  Assign Key");
}

TEST_F(OptionPagesTest, WhileRecordingTheOptionsOnlyShowTheTimes) {
    app::MainWindow& w = start();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_1); });
    script.then("recordingOptionsDialog", [](QWidget& dialog) {
        auto& page = static_cast<ui::RecordingOptionsDialog&>(dialog);
        EXPECT_FALSE(page.locationList().isEnabled());
        EXPECT_FALSE(page.formatList().isEnabled());
        for (QWidget* option : std::initializer_list<QWidget*>{&page.voiceSwitch(), &page.voiceLevel(),
                                                               &page.silenceSwitch(), &page.silenceLevel(),
                                                               &page.silenceSeconds(), &page.limitSwitch(),
                                                               &page.limitMinutes(), &page.subFolder()})
            EXPECT_FALSE(option->isEnabled()) << option->objectName().toStdString();
        EXPECT_FALSE(page.meter().isVisible()) << "the device records";
        EXPECT_EQ(page.singleTimeText(), "00:01:05");
        Click(dialog, Qt::Key_Escape);  // Back is Cancel here
    });
    script.then("optionsListDialog", [](QWidget& dialog) { Click(pageList(dialog), Qt::Key_F1); });
    Click(w.recordingList(), Qt::Key_F1);
    deliverEvents();
    ASSERT_EQ(w.CurrentState(), state(controller::StateId::Record));
    pickFromMenu(cmd::Options);
    EXPECT_TRUE(script.finished()) << script.pending().toStdString();
    EXPECT_FALSE(calledEngine("Stop")) << "the recording went on";
}

}  // namespace
}  // namespace tavrin::test
