// The window as a user meets it, on the real engine: it acts on the row the
// user sees highlighted, keys stop whatever records, files it cannot play
// and cards taken out are said in words, and recordings in sub-folders stay
// listed under names that can be told apart.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "RealEngineHarness.h"
#include "platform/ReleasingFileSystem.h"
#include "recordings/StorageLocations.h"
#include "ui/SoftKeyBar.h"

namespace tavrin::test {
namespace {

namespace fs = std::filesystem;

class WindowOnRealEngine : public RealEngineTest {
protected:
    QTreeWidget& rows() { return window().recordingList(); }
    bool menuEnabled(std::uint32_t command) {
        for (QAction* item : window().softKeyMenu().actions())
            if (item->data().toUInt() == command && !item->isSeparator()) return item->isEnabled();
        return false;
    }
    // Waits for the microphone to run dry, then stops from the menu.
    void finishCapture() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return real->held.load(); }, kWaitMs)) << "the microphone ran dry";
        pickFromMenu(cmd::Stop);
        ASSERT_TRUE(waitForState(StateId::FileSelected));
    }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : shell.boxes()) texts.push_back(box.text);
        return texts;
    }
};

// --- the highlighted row is the one acted on ---------------------------------------------------------

struct SeenCase {
    const char* name;
    std::uint32_t command;  // chosen from the menu ...
    int key;                // ... or with this key (0: the menu)
    bool movedWhilePlaying;  // the highlight moved during playback, not after it
};

class HighlightedRowOnRealEngine : public WindowOnRealEngine, public ::testing::WithParamInterface<SeenCase> {};

// a was played and stopped; the user moves to b and chooses an edit: b
// changes, a stays byte for byte as it was. The panel shows b before the edit.
TEST_P(HighlightedRowOnRealEngine, TheEditGoesToTheHighlightedRowAndTheOtherStaysAsItWas) {
    const SeenCase c = GetParam();
    WriteRecording(recording("a"), 3000);
    WriteRecording(recording("b"), 3000);
    storeKey("Append", settings::vk::Digit0 + 1);
    storeKey("Insert", settings::vk::Digit0 + 2);
    storeKey("Overwrite", settings::vk::Digit0 + 3);
    const std::vector<std::uint8_t> a = ReadBytes(recording("a")), b = ReadBytes(recording("b"));
    startOnRealEngine(false, kRecordedBytes, true);
    ASSERT_EQ(field(Control::Name), "a") << "the first row is selected from the start";
    Click(rows(), Qt::Key_Return);
    ASSERT_TRUE(waitForState(StateId::Play));
    if (c.movedWhilePlaying) {
        Click(rows(), Qt::Key_Down);
        EXPECT_EQ(field(Control::Name), "a") << "the panel keeps what plays";
    }
    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    if (!c.movedWhilePlaying) Click(rows(), Qt::Key_Down);
    EXPECT_EQ(field(Control::Name), "b") << "the panel shows the highlighted row";
    EXPECT_EQ(window().CurrentPath(), recording("b"));

    if (c.key != 0) {
        Click(rows(), c.key);
    } else {
        pickFromMenu(c.command);
    }
    const StateId editing = c.command == cmd::Append   ? StateId::RecordAppend
                            : c.command == cmd::Insert ? StateId::RecordInsert
                                                       : StateId::RecordOverwrite;
    ASSERT_TRUE(waitForState(editing));
    finishCapture();
    EXPECT_EQ(ReadBytes(recording("a")), a) << "the recording no longer in the panel is untouched";
    const std::vector<std::uint8_t> after = ReadBytes(recording("b"));
    EXPECT_NE(after, b);
    // An overwrite at the start replaces all of it.
    EXPECT_EQ(after.size(), c.command == cmd::Overwrite ? 44 + kRecordedBytes : b.size() + kRecordedBytes);
    for (const std::string& text : boxTexts()) {
        EXPECT_EQ(text, "Do you really want to overwrite this recording?\nb");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Actions, HighlightedRowOnRealEngine,
    ::testing::Values(SeenCase{"AppendMenu", cmd::Append, 0, false}, SeenCase{"InsertMenu", cmd::Insert, 0, false},
                      SeenCase{"OverwriteMenu", cmd::Overwrite, 0, false},
                      SeenCase{"AppendKey", cmd::Append, Qt::Key_1, false},
                      SeenCase{"OverwriteKey", cmd::Overwrite, Qt::Key_3, false},
                      SeenCase{"AppendMenuMovedWhilePlaying", cmd::Append, 0, true},
                      SeenCase{"InsertKeyMovedWhilePlaying", cmd::Insert, Qt::Key_2, true}),
    [](const ::testing::TestParamInfo<SeenCase>& param) { return std::string(param.param.name); });

// At start the first row is highlighted and selected: the panel names it,
// the menu offers Play and Append, and the Play key plays it to its end.
TEST_F(WindowOnRealEngine, TheFirstRowIsSelectedFromTheStartAndThePlayKeyPlaysIt) {
    WriteRecording(recording("first"), 1000);
    WriteRecording(recording("second"), 1000);
    storeKey("Play", settings::vk::Digit0 + 5);
    startOnRealEngine(true);  // a speaker at the pace of the clock: the playback lasts its second
    EXPECT_EQ(field(Control::Name), "first");
    EXPECT_EQ(field(Control::Length), "/00:00:01");
    EXPECT_TRUE(menuEnabled(cmd::Play));
    EXPECT_TRUE(menuEnabled(cmd::Append));
    Click(rows(), Qt::Key_5);
    ASSERT_TRUE(waitForState(StateId::Play));
    ASSERT_TRUE(waitForState(StateId::FileSelected)) << "played to its end";
    EXPECT_EQ(window().CurrentPath(), recording("first"));
    EXPECT_TRUE(shell.boxes().empty()) << shell.lastBox().text;
}

// --- keys that stop what they start --------------------------------------------------------------------------

enum class Kind { Record, Append, Insert, Overwrite };

struct KeyCase {
    const char* name;
    Kind kind;
    bool paused;
    int key;  // Qt key: '0' is the assigned Stop, F10 the record key, F4 End
};

class KeysOnRealEngine : public WindowOnRealEngine, public ::testing::WithParamInterface<KeyCase> {};

// Every kind of recording, running or paused, stops with the assigned Stop
// key, the record key and End, and what was recorded is saved.
TEST_P(KeysOnRealEngine, StopEveryKindOfRecordingRunningOrPaused) {
    const KeyCase c = GetParam();
    WriteRecording(recording("a"), 1000);
    storeKey("Stop", settings::vk::Digit0);
    const std::size_t before = ReadBytes(recording("a")).size();
    startOnRealEngine(false);
    StateId running = StateId::Record, paused = StateId::PauseRecord;
    switch (c.kind) {
        case Kind::Record: Click(rows(), Qt::Key_F10); break;  // the record key starts one too
        case Kind::Append: pickFromMenu(cmd::Append); running = StateId::RecordAppend; break;
        case Kind::Insert: pickFromMenu(cmd::Insert); running = StateId::RecordInsert; break;
        case Kind::Overwrite: pickFromMenu(cmd::Overwrite); running = StateId::RecordOverwrite; break;
    }
    if (c.kind == Kind::Append) paused = StateId::PauseRecordAppend;
    if (c.kind == Kind::Insert) paused = StateId::PauseRecordInsert;
    if (c.kind == Kind::Overwrite) paused = StateId::PauseRecordOverwrite;
    ASSERT_TRUE(waitForState(running));
    ASSERT_TRUE(QTest::qWaitFor([&] { return real->held.load(); }, kWaitMs)) << "the microphone ran dry";
    tick(app::timer::Level);
    EXPECT_GT(window().panel().litSegments(), 0) << "the meter shows the tone, for an edit as for a recording";
    if (c.paused) {
        Click(rows(), Qt::Key_F1);  // the left soft key pauses
        ASSERT_TRUE(waitForState(paused));
    }
    Click(rows(), c.key);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    const std::string saved = c.kind == Kind::Record ? recording("Recording1") : recording("a");
    EXPECT_EQ(window().CurrentPath(), saved);
    const std::size_t expected = c.kind == Kind::Record      ? 44 + kRecordedBytes
                                 : c.kind == Kind::Overwrite ? 44 + kRecordedBytes
                                                             : before + kRecordedBytes;
    EXPECT_EQ(ReadBytes(saved).size(), expected);
    for (const std::string& text : boxTexts()) {
        EXPECT_EQ(text, "Do you really want to overwrite this recording?\na");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeysOnRealEngine,
    ::testing::Values(KeyCase{"RecordStopKey", Kind::Record, false, Qt::Key_0},
                      KeyCase{"RecordPausedRecordKey", Kind::Record, true, Qt::Key_F10},
                      KeyCase{"RecordEnd", Kind::Record, false, Qt::Key_F4},
                      KeyCase{"AppendPausedStopKey", Kind::Append, true, Qt::Key_0},
                      KeyCase{"AppendRecordKey", Kind::Append, false, Qt::Key_F10},
                      KeyCase{"InsertStopKey", Kind::Insert, false, Qt::Key_0},
                      KeyCase{"InsertPausedStopKey", Kind::Insert, true, Qt::Key_0},
                      KeyCase{"InsertPausedEnd", Kind::Insert, true, Qt::Key_F4},
                      KeyCase{"OverwriteStopKey", Kind::Overwrite, false, Qt::Key_0},
                      KeyCase{"OverwritePausedRecordKey", Kind::Overwrite, true, Qt::Key_F10}),
    [](const ::testing::TestParamInfo<KeyCase>& param) { return std::string(param.param.name); });

// A first start shows how to make the first recording where the rows will be.
TEST_F(WindowOnRealEngine, AnEmptyListSaysHowToMakeTheFirstRecording) {
    startOnRealEngine(false);
    const auto* hint = rows().findChild<QLabel*>(QStringLiteral("emptyHint"));
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(), "No recordings yet.\nPress F1 to record.");
    EXPECT_TRUE(window().CurrentState() == state(StateId::Idle));
    recordTwoSeconds();
    EXPECT_FALSE(hint->isVisible()) << "not while the first recording is being made";
    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    EXPECT_FALSE(hint->isVisible());
}

// --- the volume keys ------------------------------------------------------------------------------------------------

// F7 and F6 step the speaker's volume, from any state and during playback,
// show it for a moment on the panel, and the next start begins where they left it.
TEST_F(WindowOnRealEngine, TheVolumeKeysStepTheSpeakerShowItAndKeepIt) {
    WriteRecording(recording("a"), 2000);
    startOnRealEngine(true);
    const auto speakerPercent = [&] {
        std::uint32_t word = 0;
        EXPECT_EQ(real->out.getVolume(word), platform::mmr::NoError);
        return ((word & 0xFFFFu) * 100 + 32767) / 65535;  // rounded, as the engine truncates
    };
    EXPECT_EQ(speakerPercent(), 100u);
    for (int i = 0; i < 3; ++i) Click(rows(), Qt::Key_F7);
    EXPECT_EQ(speakerPercent(), 70u);
    EXPECT_EQ(window().panel().notice(), "Volume 70%");
    Click(rows(), Qt::Key_Return);
    ASSERT_TRUE(waitForState(StateId::Play));
    Click(rows(), Qt::Key_F6);
    EXPECT_EQ(speakerPercent(), 80u);
    EXPECT_EQ(window().CurrentState(), state(StateId::Play)) << "the playback goes on";
    EXPECT_EQ(stored(QStringLiteral("Playback/Volume")), "80");
    EXPECT_TRUE(QTest::qWaitFor([&] { return window().panel().notice().isEmpty(); }, kWaitMs)) << "for a moment only";
    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));

    real->end();
    main.reset();
    startOnRealEngine(true);
    EXPECT_EQ(speakerPercent(), 80u) << "kept across starts";
}

// --- files it cannot play ----------------------------------------------------------------------------------------

// Files other programs left: each row is greyed with its reason, the panel
// says it when the row is highlighted, and Return says it in one box of
// words, never a code box.
TEST_F(WindowOnRealEngine, FilesItCannotPlayAreMarkedAndSayWhyInWords) {
    WriteRecording(recording("a playable one"), 500);
    WriteBytes(recording("b stereo"), ReadBytes(TAVRIN_FIXTURE_DIR "/pcm-stereo.wav"));
    WriteBytes(recording("c song"), std::string("ID3\x03 frames of an MP3 that was given a .wav name, and more"));
    WriteBytes(recording("d empty"), std::string());
    startOnRealEngine(false);
    const char* why[] = {"", "Can't play - stereo recording", "Can't play - not a WAV file",
                         "Can't play - the file is empty"};
    ASSERT_EQ(rows().topLevelItemCount(), 4);
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(rows().topLevelItem(row)->toolTip(1).toStdString(), why[row]);
        if (row > 0) Click(rows(), Qt::Key_Down);
        if (row == 1) {
            // A stereo file opens for its facts; Play says it cannot be played.
            EXPECT_TRUE(window().CurrentState() == state(StateId::FileSelected));
        } else if (row > 1) {
            EXPECT_TRUE(window().CurrentState() == state(StateId::Idle));
            EXPECT_EQ(window().panel().notice().toStdString(), why[row]);
        }
        if (row == 0) continue;
        shell.clearBoxes();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window().actionSuppressed(); }, kWaitMs));
        Click(rows(), Qt::Key_Return);
        ASSERT_EQ(boxTexts(), std::vector<std::string>{why[row]});
        EXPECT_NE(window().CurrentState(), state(StateId::Play));
    }
}

// --- a card taken out and put back -----------------------------------------------------------------------------

class CardOnRealEngine : public WindowOnRealEngine {
protected:
    void SetUp() override {
        fs::create_directories(card);
        shell.setStorageCards({card});
        QSettings settings(QStringLiteral("Korvel Software"), QStringLiteral("Tavrin"));
        settings.setValue(QStringLiteral("Recording Options/Save Location"), QString::fromStdString(card));
        settings.sync();
    }
    // `realtime`: the speaker plays at the pace of the clock, so that a playback lasts.
    void start(bool realtime = false) {
        // As the program wires it, journals included; left to the engine, which is never destroyed.
        engineJournals = root.file("state");
        auto* releasing = new platform::ReleasingFileSystem(files, [docs = documents, state = engineJournals](
                                                                       const std::string& path) {
            return !recordings::IsInside(path, docs) && !recordings::IsInside(path, state);
        });
        startOnRealEngine(realtime, kRecordedBytes, false, releasing);
    }
    void unmount() {
        fs::rename(card, away);
        shell.setStorageCards({});
    }
    void mount() {
        fs::rename(away, card);
        shell.setStorageCards({card});
    }
    std::string card = root.file("media/CARD");
    std::string away = root.file("unmounted");
};

// Taken out while recording: the next clock tick stops the recording, one
// notice says so, and nothing of the recording stays on the panel. What could
// not reach the card waits in the journal's spool: put back, the recording is
// repaired as it is selected, whole, and plays.
TEST_F(CardOnRealEngine, TakenOutWhileRecordingStopsOnceAndTheRecordingIsWholeWhenItComesBack) {
    start();
    recordTwoSeconds();
    unmount();
    tick(app::timer::Clock);
    ASSERT_TRUE(waitForState(StateId::Idle));
    EXPECT_EQ(window().panel().notice(), "Storage card removed - recording stopped");
    EXPECT_TRUE(shell.boxes().empty()) << shell.lastBox().text;
    for (Control c : {Control::RecordIcon, Control::LeftLabel, Control::TimeLeft, Control::SavingIcon})
        EXPECT_FALSE(window().IsShown(c));
    EXPECT_EQ(window().softKeys().leftButton().text(), "Record");
    tick(app::timer::List);
    EXPECT_EQ(rows().topLevelItemCount(), 0);

    EXPECT_LT(ReadBytes(away + "/Recording1.wav").size(), 44 + kRecordedBytes) << "the audio waits in the spool";
    mount();
    tick(app::timer::List);
    ASSERT_EQ(rows().topLevelItemCount(), 1);
    rows().setCurrentItem(rows().topLevelItem(0));  // the user highlights it
    ASSERT_TRUE(window().CurrentState() == state(StateId::FileSelected))
        << window().panel().notice().toStdString() << " " << shell.boxes().size();
    const std::vector<std::uint8_t> file = ReadBytes(card + "/Recording1.wav");
    ASSERT_EQ(file.size(), 44 + kRecordedBytes);
    EXPECT_EQ(file[40] | file[41] << 8, static_cast<int>(kRecordedBytes)) << "the header counts all of it";
    EXPECT_EQ(field(Control::Length), "/00:00:02");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window().actionSuppressed(); }, kWaitMs));
    Click(rows(), Qt::Key_Return);
    // The speaker takes the audio as fast as it comes, so the playback may
    // be over before its state is ever seen: what the speaker got tells.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return speakerBytes() == 44 + kRecordedBytes && window().CurrentState() == state(StateId::FileSelected);
        },
        kWaitMs))
        << "speaker bytes " << speakerBytes();
    EXPECT_TRUE(shell.boxes().empty()) << shell.lastBox().text;
}

// Taken out while playing: the playback stops at the next list tick, and the
// panel lets go of the card's recording instead of showing what is gone.
TEST_F(CardOnRealEngine, TakenOutWhilePlayingClearsThePanel) {
    start(true);
    recordTwoSeconds();
    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    ASSERT_EQ(field(Control::Name), "Recording1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window().actionSuppressed(); }, kWaitMs));
    Click(rows(), Qt::Key_Return);
    ASSERT_TRUE(waitForState(StateId::Play));
    unmount();
    tick(app::timer::List);
    ASSERT_TRUE(waitForState(StateId::Idle));
    EXPECT_EQ(field(Control::Name), "");
    EXPECT_EQ(rows().topLevelItemCount(), 0);
    EXPECT_FALSE(window().IsShown(Control::PlayIcon));
}

// --- sub-folders -------------------------------------------------------------------------------------------------

// Recordings made into a sub-folder stay listed once the setting changed, a
// name that repeats shows its folder, and a new recording takes a number no
// row shows yet.
TEST_F(WindowOnRealEngine, SubFolderRecordingsStayListedUnderNamesThatCanBeToldApart) {
    fs::create_directories(documents + "/Old");
    WriteRecording(recording("Recording1"), 500);
    WriteRecording(documents + "/Old/Recording1.wav", 500);
    storeOptions({{"Sub-folder", QStringLiteral("Meetings")}});
    startOnRealEngine(false);
    recordTwoSeconds();
    pickFromMenu(cmd::Stop);
    ASSERT_TRUE(waitForState(StateId::FileSelected));
    EXPECT_EQ(window().CurrentPath(), documents + "/Meetings/Recording2.wav");
    tick(app::timer::List);
    std::vector<std::string> names;
    for (int row = 0; row < rows().topLevelItemCount(); ++row)
        names.push_back(rows().topLevelItem(row)->text(1).toStdString());
    EXPECT_EQ(names, (std::vector<std::string>{"Recording1", "Recording2", "Recording1 (Old)"}));
    EXPECT_EQ(field(Control::Name), "Recording2");
}

}  // namespace
}  // namespace tavrin::test
