// The main window driven with keys on the scripted engine: what it shows, what
// it hands to the states, and the keypad rules around the list and the menu.
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <thread>

#include "GuiHarness.h"
#include "app/Artwork.h"
#include "app/InfoPanel.h"
#include "app/LevelMeter.h"
#include "app/LocaleText.h"
#include "controller/Commands.h"
#include "engine/Messages.h"
#include "ui/Fonts.h"
#include "storage/StorageContext.h"
#include "support/FakeMemory.h"
#include "ui/SoftKeyBar.h"
#include "wav/Formats.h"

namespace tavrin::test {
namespace {

using controller::Control;
using controller::StateId;
namespace cmd = controller::cmd;

class MainWindowTest : public GuiTest {
protected:
    QTreeWidget& list() { return window().recordingList(); }
    app::InfoPanel& panel() { return window().panel(); }
    QString field(Control c) { return panel().text(c); }
    QPushButton& leftKey() { return window().softKeys().leftButton(); }
    QStringList rowNames() {
        QStringList names;
        for (int i = 0; i < list().topLevelItemCount(); ++i) names << list().topLevelItem(i)->text(1);
        return names;
    }
    QAction* menuItem(std::uint32_t command) {
        for (QAction* a : window().softKeyMenu().actions())
            if (!a->isSeparator() && a->data().toUInt() == command) return a;
        return nullptr;
    }
    // Starts recording with F1 and lets the engine report the start.
    void record() {
        Click(list(), Qt::Key_F1);
        deliverEvents();
        ASSERT_EQ(window().CurrentState(), state(StateId::Record));
    }
};

TEST_F(MainWindowTest, StartsWithTheDefaultsOnAnEmptyConfiguration) {
    engine.setAcceptedFormats(wav::kCodePcm8k16 | wav::kCodePcm22k16);
    app::MainWindow& w = start();

    EXPECT_EQ(w.windowTitle(), "Tavrin");
    EXPECT_EQ(w.size(), QSize(480, 640));
    EXPECT_EQ(w.Settings().format(), wav::kCodePcm8k16) << "the first format the device accepts";
    EXPECT_EQ(w.Settings().saveLocation(), documents);
    for (const auto& f : settings::Functions()) EXPECT_EQ(w.Settings().keys().key(f.function), 0u) << f.label;
    EXPECT_EQ(w.CurrentState(), state(StateId::Idle));
    EXPECT_TRUE(w.keysForwarded());
    EXPECT_EQ(leftKey().text(), "Record");
    EXPECT_EQ(w.LeftSoftKeyCommand(), cmd::Record);
    EXPECT_TRUE(leftKey().isEnabled());
    EXPECT_EQ(w.softKeys().rightButton().text(), "Menu");
    ASSERT_NE(menuItem(cmd::Play), nullptr);
    EXPECT_EQ(menuItem(cmd::Play)->text(), "Play" + QString(12, QLatin1Char(' ')));
    EXPECT_FALSE(menuItem(cmd::Play)->isEnabled());
    EXPECT_TRUE(menuItem(cmd::Record)->isEnabled());
    EXPECT_EQ(list().topLevelItemCount(), 0);
    EXPECT_TRUE(shell.boxes().empty());
    // Corrections made at start-up stay in memory; only the dialogs write.
    EXPECT_FALSE(FileExists(configFile()));
}

TEST_F(MainWindowTest, TimersHaveTheirPeriodsAndAtRestOnlyTheListRuns) {
    app::MainWindow& w = start();
    const struct {
        int id;
        int period;
        bool running;
    } expected[] = {{app::timer::KeepAwake, 60'000, false}, {app::timer::Clock, 500, false},
                    {app::timer::Level, 200, false},        {app::timer::List, 5'000, true},
                    {app::timer::Limit, 60'000, false},     {app::timer::Suppress, 200, false}};
    for (const auto& t : expected) {
        EXPECT_EQ(w.timerOf(t.id).interval(), t.period) << "timer " << t.id;
        EXPECT_EQ(w.timerOf(t.id).isActive(), t.running) << "timer " << t.id;
    }
    EXPECT_TRUE(w.timerOf(app::timer::Suppress).isSingleShot());
    EXPECT_TRUE(w.timerOf(app::timer::Limit).isSingleShot());
}

// A timer wakes the window only in the states where its tick shows or does
// something; from one state to the next, each starts or stops.
TEST_F(MainWindowTest, EachStateRunsTheTimersItsTicksNeed) {
    app::MainWindow& w = start();
    const struct {
        StateId state;
        bool keepAwake, clock, level, list;
    } table[] = {
        {StateId::Record, true, true, true, false},
        {StateId::Idle, false, false, false, true},
        {StateId::Play, false, true, true, true},
        {StateId::FileSelected, false, false, false, true},
        {StateId::PauseRecordAppend, true, false, true, true},
        {StateId::RecordAppend, true, true, true, false},
        {StateId::PauseRecordInsert, true, false, true, true},
        {StateId::RecordInsert, true, true, true, false},
        {StateId::PausePlay, false, false, true, true},
        {StateId::RecordOverwrite, true, true, true, false},
        {StateId::PauseRecordOverwrite, true, false, true, true},
        {StateId::PauseRecord, true, false, true, true},
        {StateId::FileSelected, false, false, false, true},
    };
    for (const auto& row : table) {
        w.states().Force(row.state);
        const auto where = "in state " + std::to_string(static_cast<int>(row.state));
        EXPECT_EQ(w.timerOf(app::timer::KeepAwake).isActive(), row.keepAwake) << "keep-awake " << where;
        EXPECT_EQ(w.timerOf(app::timer::Clock).isActive(), row.clock) << "clock " << where;
        EXPECT_EQ(w.timerOf(app::timer::Level).isActive(), row.level) << "level " << where;
        EXPECT_EQ(w.timerOf(app::timer::List).isActive(), row.list) << "list " << where;
    }
}

TEST_F(MainWindowTest, ListShowsRecordingsWithTheirPlaceAndKeepsThePathHidden) {
    const std::string card = root.file("media/CARD");
    std::filesystem::create_directories(card);
    shell.setStorageCards({card});
    WriteRecording(recording("Memo"), 100);
    WriteRecording(card + "/Trip.WAV", 100);
    WriteBytes(documents + "/notes.txt", std::string("not a recording"));
    start();

    EXPECT_EQ(rowNames(), QStringList({"Memo", "Trip"}));
    EXPECT_EQ(list().topLevelItem(1)->text(2).toStdString(), card + "/Trip.WAV");
    EXPECT_TRUE(list().isColumnHidden(2));
    EXPECT_EQ(list().columnWidth(0), 0);
    EXPECT_EQ(list().currentItem(), list().topLevelItem(0)) << "row 0 is selected at start";
    EXPECT_TRUE(list().hasFocus());
    // Different pictures for the phone's memory and the card.
    const auto picture = [&](int row) { return list().topLevelItem(row)->icon(1).pixmap(16).toImage(); };
    EXPECT_NE(picture(0), picture(1));
}

TEST_F(MainWindowTest, F1RecordsAndStopFromTheMenuSelectsTheNewRecording) {
    app::MainWindow& w = start();
    Click(list(), Qt::Key_F1);
    EXPECT_TRUE(calledEngine("RecordStart(" + recording("Recording1") + ")"));
    WriteRecording(recording("Recording1"), 2500);  // what the engine writes
    deliverEvents();
    ASSERT_EQ(w.CurrentState(), state(StateId::Record));
    EXPECT_EQ(leftKey().text(), "Pause");
    EXPECT_TRUE(w.IsShown(Control::RecordIcon));

    engine.setDefaultFacts({0, 1, 8000, 8, 2500});
    pickFromMenu(cmd::Stop);
    EXPECT_TRUE(calledEngine("Stop"));
    deliverEvents();

    EXPECT_EQ(w.CurrentState(), state(StateId::FileSelected));
    EXPECT_EQ(w.CurrentPath(), recording("Recording1"));
    EXPECT_EQ(field(Control::Name), "Recording1");
    EXPECT_EQ(field(Control::Position), "00:00:00");
    EXPECT_EQ(field(Control::Length), "/00:00:02");
    EXPECT_EQ(leftKey().text(), "Record");
    // In the list at once, highlighted, with the keys acting on it.
    EXPECT_EQ(rowNames(), QStringList({"Recording1"}));
    ASSERT_NE(list().currentItem(), nullptr);
    EXPECT_TRUE(list().currentItem()->isSelected());
    EXPECT_EQ(w.SelectedRowPath(), recording("Recording1"));
    EXPECT_EQ(w.focusWidget(), &list()) << "the list has the keys whenever the window is active";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.actionSuppressed(); }, 5000));
    Click(list(), Qt::Key_Return);
    EXPECT_TRUE(calledEngine("PlayStart"));
}

TEST_F(MainWindowTest, ActionAndDoubleClickWaitWhileACommandAwaitsTheEngine) {
    WriteRecording(recording("alpha"), 1500);
    WriteRecording(recording("beta"), 1500);
    engine.setDefaultFacts({0, 1, 8000, 8, 1500});
    app::MainWindow& w = start();
    Click(list(), Qt::Key_Return);
    deliverEvents();
    ASSERT_EQ(w.CurrentState(), state(StateId::Play));
    Click(list(), Qt::Key_F1);  // Pause, answered by the engine only later
    QTreeWidgetItem* beta = list().topLevelItem(1);
    list().setCurrentItem(beta);
    Click(list(), Qt::Key_Return);
    QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, list().visualItemRect(beta).center());
    EXPECT_FALSE(calledEngine("Stop")) << "the pause is not turned into a change of recording";
    deliverEvents();
    EXPECT_EQ(w.CurrentState(), state(StateId::PausePlay));
    EXPECT_EQ(w.CurrentPath(), recording("alpha"));
    EXPECT_TRUE(w.states().vars.pendingPlayPath.empty());
}

TEST_F(MainWindowTest, ActionPlaysTheSelectedRecordingUntilItEnds) {
    WriteRecording(recording("Recording1"), 1500);
    engine.setDefaultFacts({0, 1, 8000, 8, 1500});
    app::MainWindow& w = start();

    Click(list(), Qt::Key_Return);
    EXPECT_TRUE(calledEngine("OpenFile(" + recording("Recording1") + ",slow)"));
    EXPECT_TRUE(calledEngine("PlayStart"));
    deliverEvents();
    ASSERT_EQ(w.CurrentState(), state(StateId::Play));
    EXPECT_TRUE(w.IsShown(Control::PlayIcon));
    EXPECT_EQ(leftKey().text(), "Pause");

    engine.setMode(ScriptedEngine::Mode::FileOpen);
    engine.raise(engine::kEvPlayEnd);
    deliverEvents();
    EXPECT_EQ(w.CurrentState(), state(StateId::FileSelected));
    EXPECT_EQ(field(Control::Length), "/00:00:01");
    EXPECT_EQ(leftKey().text(), "Record");
}

TEST_F(MainWindowTest, DoubleClickOnARowActsAsAction) {
    WriteRecording(recording("Recording1"), 500);
    start();
    const QPoint row = list().visualItemRect(list().topLevelItem(0)).center();
    // A double click as the desktop delivers it: a click, then the double-click press.
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, row);
    EXPECT_FALSE(calledEngine("PlayStart")) << "a single click only selects";
    QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, row);
    EXPECT_TRUE(calledEngine("PlayStart"));
}

TEST_F(MainWindowTest, ActionThatPicksAMenuItemDoesNotAlsoPlayTheRow) {
    WriteRecording(recording("Recording1"), 500);
    app::MainWindow& w = start();
    Click(list(), Qt::Key_F2);
    QMenu& menu = w.softKeyMenu();
    ASSERT_TRUE(menu.isVisible());
    EXPECT_TRUE(w.menuOpen());
    menu.setActiveAction(menuItem(cmd::Delete));
    shell.queueAnswer(platform::answer::No);
    QTest::keyPress(&menu, Qt::Key_Return);
    QCoreApplication::processEvents();
    ASSERT_EQ(shell.boxes().size(), 1u) << "the Delete item ran";
    EXPECT_FALSE(w.menuOpen());
    EXPECT_TRUE(w.actionSuppressed());

    QTest::keyRelease(&list(), Qt::Key_Return);  // the release of the key that picked the item
    EXPECT_FALSE(calledEngine("PlayStart"));

    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.actionSuppressed(); }, 5000)) << "timer 29 clears it";
    Click(list(), Qt::Key_Return);
    EXPECT_TRUE(calledEngine("PlayStart")) << "Action works again after the menu";
}

TEST_F(MainWindowTest, HaltStepClosesAnOpenMenu) {
    app::MainWindow& w = start();
    Click(list(), Qt::Key_F2);
    ASSERT_TRUE(w.menuOpen());
    // A command that reaches the state while the menu is up (an assigned key,
    // a timer) halts first, and the halt step takes the menu away.
    w.CurrentState()->OnRecord();
    EXPECT_FALSE(w.menuOpen());
    EXPECT_FALSE(w.softKeyMenu().isVisible());
    EXPECT_FALSE(w.softKeys().isCommandEnabled(cmd::Menu));
}

TEST_F(MainWindowTest, BackHandsTheDesktopAwayAndNeverEndsTheProgram) {
    app::MainWindow& w = start();
    Click(list(), Qt::Key_Escape);
    EXPECT_TRUE(w.isMinimized());
    EXPECT_TRUE(quits.empty());
    EXPECT_EQ(w.CurrentState(), state(StateId::Idle));

    w.showNormal();
    record();
    Click(list(), Qt::Key_Escape);
    EXPECT_TRUE(quits.empty());
    EXPECT_FALSE(calledEngine("Stop")) << "the recording goes on";
    EXPECT_EQ(w.CurrentState(), state(StateId::Record));
}

TEST_F(MainWindowTest, AssignedKeysReachTheStateOnlyWhileForwarded) {
    app::MainWindow& w = start();
    Click(list(), Qt::Key_5);
    EXPECT_FALSE(calledEngine("RecordStart(" + recording("Recording1") + ")")) << "no key is assigned";

    ASSERT_TRUE(w.Settings().keys().assign(settings::Function::Record, settings::vk::Digit0 + 5));
    w.SetKeyForwarding(false);
    Click(list(), Qt::Key_5);
    EXPECT_FALSE(calledEngine("RecordStart(" + recording("Recording1") + ")"));
    w.SetKeyForwarding(true);
    QTest::keyClick(&list(), Qt::Key_5, Qt::AltModifier);  // the context bit: ignored
    EXPECT_FALSE(calledEngine("RecordStart(" + recording("Recording1") + ")"));
    Click(list(), Qt::Key_5);
    EXPECT_TRUE(calledEngine("RecordStart(" + recording("Recording1") + ")"));
}

TEST_F(MainWindowTest, LevelMeterLightsSegmentsFromTheBottom) {
    start();
    const struct {
        std::uint32_t level;
        int lit;
    } cases[] = {{0, 0}, {1, 1}, {3, 1}, {4, 2}, {40, 14}, {78, 26}, {79, 27}, {100, 27}};
    for (const auto& c : cases) {
        window().ShowLevel(c.level);
        EXPECT_EQ(panel().litSegments(), c.lit) << "level " << c.level;
        EXPECT_EQ(app::SegmentsForLevel(c.level), c.lit) << "level " << c.level;
        for (int i = 0; i < app::kSegmentCount; ++i)
            EXPECT_EQ(!panel().segment(i).isHidden(), i < c.lit) << "level " << c.level << " segment " << i;
    }
}

TEST_F(MainWindowTest, LevelMeterSegmentsLieWhereTheScreenHadThem) {
    start();
    // At the default size the 240 x 320 screen is drawn twice as large.
    EXPECT_EQ(app::SegmentRect(0), QRect(165, 77, 8, 1));
    EXPECT_EQ(app::SegmentRect(26), QRect(165, 25, 8, 1));
    EXPECT_EQ(panel().segment(0).geometry(), QRect(330, 154, 16, 2));
    EXPECT_EQ(panel().segment(26).geometry(), QRect(330, 50, 16, 2));
}

// A repaint of part of the panel paints it as a repaint of the whole does:
// parts in its corner, across the edges of the background into the margins
// either side, over the meter's slot, and a single pixel.
TEST_F(MainWindowTest, PartOfThePanelRepaintsAsTheWholeDoes) {
    app::InfoPanel info;
    info.setScale(1.5);
    const int drawn = static_cast<int>(std::lround(app::InfoPanel::kWidth * 1.5));
    info.resize(drawn + 61, static_cast<int>(std::lround(app::InfoPanel::kHeight * 1.5)));
    const auto paint = [&info](const QRegion& region) {
        QImage image(info.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::magenta);
        // The region's corner lands at the offset given.
        info.render(&image, region.boundingRect().topLeft(), region, QWidget::DrawWindowBackground);
        return image;
    };
    const QImage whole = paint(QRegion(info.rect()));
    const QRect slot = info.segment(0).geometry() | info.segment(app::kSegmentCount - 1).geometry();
    EXPECT_NE(whole.pixel(slot.center()), whole.pixel(1, 1)) << "the background with its meter slot is drawn";
    const int left = (info.width() - drawn) / 2;
    const QRect parts[] = {{0, 0, 12, 9}, {left - 5, 20, 30, 14}, {left + drawn - 7, 3, 40, 50}, slot, {left + 100, 60, 1, 1}};
    for (const QRect& asked : parts) {
        const QRect part = asked.intersected(info.rect());
        const QImage alone = paint(QRegion(part));
        int wrong = 0;
        for (int y = part.top(); y <= part.bottom(); ++y)
            for (int x = part.left(); x <= part.right(); ++x) wrong += alone.pixel(x, y) != whole.pixel(x, y);
        EXPECT_EQ(wrong, 0) << "part at " << part.x() << "," << part.y() << " size " << part.width() << "x"
                            << part.height();
    }
}

// The fields lie on the panel's own picture and write in its ink: a field
// that painted a box of its own, or text in the desktop's colours, would
// show on the keypad-green panel at once.
TEST(InfoPanelLook, FieldsWriteInTheInkOnThePanelsOwnBackground) {
    app::InfoPanel info;
    info.setScale(2);
    info.resize(app::InfoPanel::kWidth * 2, app::InfoPanel::kHeight * 2);
    const QColor ink(0x1f, 0x2a, 0x21);
    const auto near = [](QRgb a, const QColor& b) {
        return std::abs(qRed(a) - b.red()) <= 6 && std::abs(qGreen(a) - b.green()) <= 6 &&
               std::abs(qBlue(a) - b.blue()) <= 6;
    };
    const QImage bare = info.grab().toImage();
    const struct {
        Control control;
        const char* text;  // null: the control's own words
    } fields[] = {{Control::Name, "Recording1"}, {Control::Position, "00:01:01"}, {Control::LeftLabel, nullptr}};
    for (const auto& f : fields) {
        QWidget& w = info.control(f.control);
        if (f.text) info.setText(f.control, QString::fromLatin1(f.text));
        w.show();
        const QRect r = w.geometry();
        const QImage written = info.grab().toImage();
        int bareDiffers = 0, inked = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            // The panel's shade runs from top to bottom: along a row, the picture is one colour.
            const QRgb row = bare.pixel(r.right() + 4, y);
            for (int x = r.left(); x <= r.right(); ++x) {
                bareDiffers += bare.pixel(x, y) != row;
                inked += near(written.pixel(x, y), ink);
            }
        }
        EXPECT_EQ(bareDiffers, 0) << "control " << static_cast<int>(f.control) << " covers the panel";
        EXPECT_GT(inked, 3) << "control " << static_cast<int>(f.control) << " writes in another colour";
    }
}

// The desktop asks the icon for a size of its own: every size comes drawn,
// the panel-green face inside, clear at the rounded corners, the red dot at
// its place.
TEST(ApplicationIconTest, DrawsEverySizeItIsAskedFor) {
    const QIcon icon = app::ApplicationIcon();
    ASSERT_FALSE(icon.availableSizes().isEmpty());
    for (const int side : {16, 22, 48, 100, 256}) {
        const QImage image = icon.pixmap(QSize(side, side)).toImage();
        ASSERT_EQ(image.size(), QSize(side, side)) << side;
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << side << ": a corner";
        const QRgb face = image.pixel(side * 10 / 64, side / 2);
        EXPECT_EQ(qAlpha(face), 255) << side;
        EXPECT_EQ(QColor(face).rgb(), app::PanelColour().rgb()) << side << ": the face";
        const QColor dot(image.pixel(side * 49 / 64, side * 15 / 64));
        EXPECT_GT(dot.red(), 150) << side << ": the red dot";
        EXPECT_LT(dot.green(), 90) << side << ": the red dot";
    }
}

TEST_F(MainWindowTest, RecordingStatesDriveTheMeterAndClockFromTheTimers) {
    app::MainWindow& w = start();
    record();
    engine.setLevel(50);
    engine.setPositionMs(61'000);
    engine.setRemainingSeconds(3 * 3600 + 5);
    tick(app::timer::Level);
    EXPECT_EQ(panel().litSegments(), app::SegmentsForLevel(50));
    tick(app::timer::Clock);
    EXPECT_EQ(field(Control::Position), "00:01:01");
    EXPECT_EQ(field(Control::TimeLeft), "03:00:05");
    EXPECT_TRUE(w.IsShown(Control::TimeLeft));

    // The words on what the recording does sit in the panel, in its text font.
    w.ShowNotice("Silence skipped");
    EXPECT_EQ(panel().notice(), "Silence skipped");
    w.StartLimitTimer(90'000);
    ASSERT_TRUE(w.LimitRemainingMs().has_value());
    EXPECT_GT(*w.LimitRemainingMs(), 80'000u);
    EXPECT_EQ(w.timerOf(app::timer::Limit).timerType(), Qt::PreciseTimer) << "a long limit must not end minutes early";
    w.KillLimitTimer();
    EXPECT_FALSE(w.LimitRemainingMs().has_value());
}

TEST_F(MainWindowTest, PanelShowsTheFileTimeInTheLocaleFormatsAndCopesWithoutIt) {
    WriteRecording(recording("Recording1"), 3000);
    const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(30);
    std::filesystem::last_write_time(recording("Recording1"), when);
    engine.setDefaultFacts({0, 1, 8000, 8, 3000});
    app::MainWindow& w = start();
    files.listings = 0;
    Click(list(), Qt::Key_Return);
    EXPECT_EQ(files.listings, 0) << "one file's time needs no listing of its folder";
    ASSERT_TRUE(w.fileTime().has_value());
    const QLocale locale;
    EXPECT_EQ(field(Control::Date), locale.toString(w.fileTime()->date(), QLocale::ShortFormat));
    EXPECT_EQ(field(Control::Time), app::TimeWithoutSeconds(locale, w.fileTime()->time()));
    EXPECT_EQ(field(Control::Length), "/00:00:03");

    // The file went away under us: name and length stay, date and time go.
    std::filesystem::remove(recording("Recording1"));
    w.RefreshFileFacts();
    w.RefreshPanel();
    EXPECT_FALSE(w.fileTime().has_value());
    EXPECT_EQ(field(Control::Name), "Recording1");
    EXPECT_EQ(field(Control::Date), "");
    EXPECT_EQ(field(Control::Time), "");
    EXPECT_EQ(field(Control::Length), "/00:00:03");

    w.SetLengthMs(-1);
    w.RefreshPanel();
    EXPECT_EQ(field(Control::Length), "") << "a negative length shows none";
}

TEST(LocaleTextTest, TimesLeaveOutTheSecondsInEveryLocale) {
    const QTime t(14, 5, 9);
    const struct {
        QLocale locale;
        const char* hours;  // how the locale writes the hour
    } cases[] = {{QLocale::c(), "14"},
                 {QLocale(QLocale::English, QLocale::UnitedStates), "2"},
                 {QLocale(QLocale::German, QLocale::Germany), "14"},
                 {QLocale(QLocale::Finnish, QLocale::Finland), "14"}};
    for (const auto& c : cases) {
        const QString shown = app::TimeWithoutSeconds(c.locale, t);
        EXPECT_TRUE(shown.startsWith(QLatin1String(c.hours))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QLatin1String("05"))) << shown.toStdString();
        EXPECT_FALSE(shown.contains(QLatin1String("09"))) << shown.toStdString();
    }
}

TEST_F(MainWindowTest, CardIconFollowsTheSelectedRecording) {
    const std::string card = root.file("media/CARD");
    std::filesystem::create_directories(card);
    shell.setStorageCards({card});
    WriteRecording(recording("Home"), 500);
    WriteRecording(card + "/Away.wav", 500);
    app::MainWindow& w = start();

    w.SetCurrentPath(card + "/Away.wav");
    w.RefreshPanel();
    EXPECT_TRUE(w.IsShown(Control::CardIcon));
    w.SetCurrentPath(recording("Home"));
    w.RefreshPanel();
    EXPECT_FALSE(w.IsShown(Control::CardIcon)) << "not left behind from the card recording";
}

TEST_F(MainWindowTest, ACardGoneBeforeStartUpIsToldAtTheFirstRecording) {
    {
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        settings.setValue(QStringLiteral("Recording Options/Save Location"), QStringLiteral("/media/nobody/GONE"));
    }
    app::MainWindow& w = start();
    EXPECT_EQ(panel().notice(), "") << "nothing to tell before a recording goes elsewhere";
    record();
    EXPECT_EQ(w.CurrentPath(), recording("Recording1"));
    EXPECT_EQ(panel().notice(), "Card not found - recording to Phone");
}

TEST_F(MainWindowTest, AFirstStartWithNothingStoredHasNoCardToMiss) {
    start();
    record();
    EXPECT_EQ(panel().notice(), "") << "no card was ever chosen";
}

TEST_F(MainWindowTest, NoticeSitsAtTheFootOfThePanelInItsTextFontClearOfEverything) {
    app::MainWindow& w = start();
    EXPECT_EQ(panel().notice(), "") << "hidden until something is told";
    w.ShowNotice("Card full - recording stopped");
    const QLabel& line = panel().noticeLabel();
    EXPECT_EQ(panel().notice(), "Card full - recording stopped");
    EXPECT_EQ(line.font(), ui::TextFontScaled(panel().scale()));
    EXPECT_TRUE(panel().rect().contains(line.geometry()));
    EXPECT_GE(line.geometry().width(), line.sizeHint().width()) << "the whole text shows";
    for (Control c : {Control::Name, Control::Date, Control::Time, Control::Position, Control::Length,
                      Control::LeftLabel, Control::TimeLeft, Control::RecordIcon, Control::VoiceIcon,
                      Control::SilenceIcon, Control::SavingIcon}) {
        EXPECT_FALSE(line.geometry().intersects(panel().control(c).geometry())) << static_cast<int>(c);
    }
    for (int i = 0; i < app::kSegmentCount; ++i) EXPECT_FALSE(line.geometry().intersects(panel().segment(i).geometry()));
    w.ShowNotice("");
    EXPECT_TRUE(line.isHidden());
}

TEST_F(MainWindowTest, DeleteAsksAndKeepsTheFileWhenRefused) {
    WriteRecording(recording("Recording1"), 500);
    start();
    shell.queueAnswer(platform::answer::No);
    pickFromMenu(cmd::Delete);
    ASSERT_EQ(shell.boxes().size(), 1u);
    EXPECT_EQ(shell.lastBox().text, "Permanently delete this recording?\nRecording1");
    EXPECT_TRUE(FileExists(recording("Recording1")));
    EXPECT_EQ(rowNames(), QStringList({"Recording1"}));

    shell.queueAnswer(platform::answer::Yes);
    pickFromMenu(cmd::Delete);
    EXPECT_FALSE(FileExists(recording("Recording1")));
    EXPECT_TRUE(rowNames().isEmpty()) << "the list is refreshed after a delete";
}

TEST_F(MainWindowTest, RenameRefusesForbiddenCharactersAndTakenNames) {
    WriteRecording(recording("Recording1"), 500);
    WriteRecording(recording("Recording2"), 500);
    start();
    ModalScript script;
    script.then("renameDialog", [&](QWidget& dialog) {
        auto* field = dialog.findChild<QLineEdit*>("nameField");
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(dialog.windowTitle(), "Tavrin  Rename");
        EXPECT_EQ(field->text(), "Recording1");
        EXPECT_EQ(field->cursorPosition(), 10);
        EXPECT_FALSE(field->hasSelectedText());
        SaveScreenshot(dialog, QStringLiteral("rename.png"));

        field->clear();
        ClickText(*field, "a.b");
        Click(*field, Qt::Key_F1);
        ASSERT_EQ(shell.boxes().size(), 1u);
        EXPECT_EQ(shell.lastBox().text,
                  "Names must be unique and cannot contain the following characters: \\/:*?\"<.>|");
        EXPECT_EQ(shell.lastBox().caption, "Tavrin  Rename");
        EXPECT_EQ(QApplication::activeModalWidget(), &dialog) << "the page stays open";

        field->clear();
        ClickText(*field, "Recording2");
        Click(*field, Qt::Key_F1);
        ASSERT_EQ(shell.boxes().size(), 2u);
        EXPECT_EQ(shell.lastBox().text, "A recording with that name already exists. Enter a unique name.");

        Click(*field, Qt::Key_Escape);  // Back deletes, it does not leave
        EXPECT_EQ(field->text(), "Recording");
        EXPECT_EQ(QApplication::activeModalWidget(), &dialog);
        ClickText(*field, "-new");
        Click(*field, Qt::Key_F1);
    });
    pickFromMenu(cmd::Rename);
    EXPECT_TRUE(script.finished()) << script.pending().toStdString();
    EXPECT_TRUE(FileExists(recording("Recording-new")));
    EXPECT_FALSE(FileExists(recording("Recording1")));
    EXPECT_TRUE(FileExists(recording("Recording2")));
}

TEST_F(MainWindowTest, RenameOfTheSelectedRecordingSelectsItUnderItsNewName) {
    WriteRecording(recording("Recording1"), 500);
    app::MainWindow& w = start();
    Click(list(), Qt::Key_Return);
    deliverEvents();
    engine.setMode(ScriptedEngine::Mode::FileOpen);
    engine.raise(engine::kEvPlayEnd);
    deliverEvents();
    ASSERT_EQ(w.CurrentState(), state(StateId::FileSelected));
    ModalScript script;
    script.then("renameDialog", [&](QWidget& dialog) {
        auto* field = dialog.findChild<QLineEdit*>("nameField");
        field->setText("Interview");
        Click(*field, Qt::Key_Return);  // Action in the field means Done
    });
    pickFromMenu(cmd::Rename);
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(w.CurrentPath(), recording("Interview"));
    EXPECT_EQ(field(Control::Name), "Interview");
}

TEST_F(MainWindowTest, KeepAwakeRenewsOnlyWhilePowerAllows) {
    app::MainWindow& w = start();
    tick(app::timer::KeepAwake);
    EXPECT_EQ(power.renewals, 0) << "nothing to keep awake for while idle";
    record();
    power.current = {true, platform::battery::NoBattery};
    tick(app::timer::KeepAwake);
    EXPECT_EQ(power.renewals, 1);
    power.current = {false, platform::battery::Critical};
    tick(app::timer::KeepAwake);
    EXPECT_EQ(power.renewals, 1) << "a critical battery is left to sleep";
    power.current = {false, platform::battery::High};
    tick(app::timer::KeepAwake);
    EXPECT_EQ(power.renewals, 2);
    EXPECT_EQ(w.CurrentState(), state(StateId::Record));
}

TEST_F(MainWindowTest, LimitTimerStopsTheRecordingOnce) {
    app::MainWindow& w = start();
    record();
    w.StartLimitTimer(1500);
    EXPECT_TRUE(w.timerOf(app::timer::Limit).isActive());
    EXPECT_EQ(w.timerOf(app::timer::Limit).interval(), 1500);
    tick(app::timer::Limit);
    EXPECT_FALSE(w.timerOf(app::timer::Limit).isActive());
    EXPECT_TRUE(calledEngine("Stop"));
}

TEST_F(MainWindowTest, EngineErrorReportIsShownAndChangesNoState) {
    app::MainWindow& w = start();
    w.post(engine::kEvError, engine::rc::NoSpace, 0);
    QCoreApplication::processEvents();
    ASSERT_EQ(shell.boxes().size(), 1u);
    EXPECT_EQ(shell.lastBox().text, "Not enough storage space. Move large files elsewhere");
    EXPECT_EQ(w.CurrentState(), state(StateId::Idle));
}

TEST_F(MainWindowTest, SendFromAnotherThreadWaitsUntilTheWindowHandledIt) {
    app::MainWindow& w = start();
    std::atomic<bool> returned{false};
    std::thread engineThread([&] {
        w.send(engine::kEvError, engine::rc::FolderMissing, 0);
        returned = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 10'000));
    engineThread.join();
    ASSERT_EQ(shell.boxes().size(), 1u) << "handled before send returned";
    EXPECT_EQ(shell.lastBox().text, "Folder missing. Did you remove storage card?");
}

TEST_F(MainWindowTest, InitialisationFailsWhenTheEngineCannotStart) {
    startResult = engine::ResultCode(engine::rc::ThreadFailed, engine::detail::ThreadFailed);
    app::MainWindowServices services{engine, [this](platform::EventSink&) { return startResult; }, shell, files, store,
                                     power, times, [this](int code) { quits.push_back(code); }, {}};
    app::MainWindow w(services);
    EXPECT_FALSE(w.initialise());
    ASSERT_FALSE(shell.boxes().empty());
    EXPECT_EQ(shell.boxes().front().text, "Can't start another thread");
}

TEST_F(MainWindowTest, ClosingDuringARecordingSavesItFirst) {
    app::MainWindow& w = start();
    record();
    EXPECT_FALSE(w.close()) << "the window stays until the recording is saved";
    EXPECT_TRUE(calledEngine("Stop"));
    deliverEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.CurrentState(), state(StateId::FileSelected));
    EXPECT_FALSE(w.isVisible()) << "closed once the recording was saved";
}

TEST_F(MainWindowTest, ASecondCloseWhileSavingWaitsForTheSave) {
    app::MainWindow& w = start();
    record();
    EXPECT_FALSE(w.close());
    ASSERT_TRUE(engine.deliverNext());  // RecordEnd: the recording is being saved
    EXPECT_FALSE(w.close()) << "ending now would cut the file short";
    EXPECT_FALSE(w.close());
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.isVisible());
    deliverEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.CurrentState(), state(StateId::FileSelected));
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(std::count(engine.calls().begin(), engine.calls().end(), "Stop"), 1);
}

// A close that comes between Record (or Play) and the engine's start event:
// the start is let through and then stopped, so that the engine's file is
// finished rather than cut short; a new recording stopped before it held any
// audio leaves no empty file behind, one with audio stays.
TEST_F(MainWindowTest, ACloseBeforeTheStartEventStopsOnceStartedThenCloses) {
    struct Case {
        const char* name;
        int key;
        std::uint32_t recordedMs;  // what the engine reports of the new recording
        bool newFileKept;
    };
    for (const Case& c : {Case{"record, nothing recorded", Qt::Key_F1, 0, false},
                          Case{"record, some audio", Qt::Key_F1, 200, true},
                          Case{"play", Qt::Key_Return, 0, false}}) {
        SCOPED_TRACE(c.name);
        WriteRecording(recording("a"), 1000);
        engine.setFacts(recording("Recording1"), {0, 1, 8000, 8, c.recordedMs});
        app::MainWindow& w = start();
        list().setCurrentItem(list().topLevelItem(0));
        Click(list(), c.key);
        const bool recordingStarted = c.key == Qt::Key_F1;
        // The engine made the file when the recording started (the scripted one does not).
        if (recordingStarted) WriteRecording(recording("Recording1"), 0);
        // The highlighted row was selected from the start.
        ASSERT_EQ(w.CurrentState(), state(StateId::FileSelected)) << "the start event is still on its way";
        EXPECT_FALSE(w.close()) << "closing now would leave a file the engine has only begun";
        EXPECT_FALSE(calledEngine("Stop"));
        ASSERT_TRUE(engine.deliverNext());  // RecordStart or PlayStart
        QCoreApplication::processEvents();
        EXPECT_TRUE(calledEngine("Stop"));
        EXPECT_TRUE(w.isVisible());
        deliverEvents();
        QCoreApplication::processEvents();
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(FileExists(recording("Recording1")), c.newFileKept);
        EXPECT_TRUE(FileExists(recording("a"))) << "a recording that was there stays, whatever its length";
        EXPECT_TRUE(shell.boxes().empty()) << shell.lastBox().text;
        main.reset();
        engine.clearCalls();
        std::filesystem::remove(recording("Recording1"));
    }
}

TEST_F(MainWindowTest, TerminationDismissesOpenDialogsThenSavesAndCloses) {
    app::MainWindow& w = start();
    record();
    ModalScript script;
    script.then("optionsListDialog", [](QWidget& dialog) {
        Click(*dialog.findChild<QTreeWidget*>("pageList"), Qt::Key_3);
    });
    script.then("assignButtonsDialog", [&](QWidget&) { w.closeForTermination(); });
    pickFromMenu(cmd::Options);
    EXPECT_TRUE(script.finished()) << "still waiting for: " << script.pending().toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(calledEngine("Stop"));
    EXPECT_TRUE(w.isVisible()) << "until the recording is saved";
    deliverEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, RecordingsAKillLeftUnfinishedAreRepairedBeforeTheListAndNamedOnce) {
    journals = root.path() + "/state";
    const std::vector<std::uint8_t> audio(8000, 0x33);
    {
        // A recording on fast media whose program was killed after a second.
        FakeMemory memory;
        FakeSystemInfo system;
        storage::StorageContext ctx(files, memory, system, shell);
        ctx.journal.SetFolder(journals);
        ASSERT_EQ(ctx.Create(recording("Recording1"), wav::kTagPcm, 8000, 8, 1, platform::Media::Fast), storage::Status::Ok);
        ASSERT_EQ(ctx.WriteData(audio.data(), 8000), storage::Status::Ok);
    }
    ASSERT_GT(ReadBytes(recording("Recording1")).size(), 44u + 8000u) << "left with its reservation";
    start();
    ASSERT_EQ(shell.boxes().size(), 1u);
    EXPECT_EQ(shell.lastBox().text, "Recordings recovered after Tavrin was ended unexpectedly:\nRecording1  00:00:01");
    EXPECT_EQ(shell.lastBox().style & platform::mb::IconMask, platform::mb::IconAsterisk);
    EXPECT_EQ(ReadBytes(recording("Recording1")).size(), 44u + 8000u);
    EXPECT_TRUE(rowNames().contains("Recording1"));
    main->close();
    main.reset();
    start();
    EXPECT_EQ(shell.boxes().size(), 1u) << "told once";
}

TEST_F(MainWindowTest, ClosingWhileIdleClosesAtOnce) {
    app::MainWindow& w = start();
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(calledEngine("Stop"));
}

}  // namespace
}  // namespace tavrin::test
