#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "recordings/Naming.h"
#include "recordings/RecordingList.h"
#include "support/FaultyFileSystem.h"
#include "support/RecordingShell.h"
#include "support/TempDir.h"

namespace tavrin::recordings {
namespace {

namespace mb = platform::mb;

const std::string kCharacterMessage =
    "Names must be unique and cannot contain the following characters: \\/:*?\"<.>|";
const std::string kTakenMessage = "A recording with that name already exists. Enter a unique name.";

struct NamingTest : ::testing::Test {
    std::string path(const std::string& name) const { return folder.file(name); }
    std::string contents(const std::string& name) const {
        const auto bytes = test::ReadBytes(path(name));
        return std::string(bytes.begin(), bytes.end());
    }
    void expectOneBox(const std::string& text, const std::string& caption, unsigned style) const {
        ASSERT_EQ(shell.boxes().size(), 1u);
        EXPECT_EQ(shell.lastBox().text, text);
        EXPECT_EQ(shell.lastBox().caption, caption);
        EXPECT_EQ(shell.lastBox().style, style);
    }

    test::TempDir folder;
    test::RecordingShell shell;
    platform::PosixFileSystem files;
};

TEST_F(NamingTest, NewRecordingsTakeTheFirstFreeNumber) {
    struct Case {
        std::vector<std::string> existing;
        const char* expected;
    };
    const Case cases[] = {
        {{}, "Recording1.wav"},
        {{"Recording1.wav", "Recording3.wav"}, "Recording2.wav"},
        {{"Recording1.wav", "Recording2.wav", "Recording3.wav"}, "Recording4.wav"},
        {{"Recording2.wav"}, "Recording1.wav"},
        {{"Recording01.wav", "recording1.wav"}, "Recording1.wav"},
        {{"Recording1.wav/"}, "Recording2.wav"},  // a folder takes the name as well
        // Rows shown from other folders take their numbers too, in any letter case.
        {{"Meetings/Recording1.wav", "Other/recording2.WAV"}, "Recording3.wav"},
        {{"Meetings/Recording01.wav", "Meetings/Recording1b.wav"}, "Recording1.wav"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        std::vector<std::string> shown;
        for (const auto& name : c.existing) {
            if (name.find('/') < name.size() - 1) {
                const std::string sub = name.substr(0, name.find('/'));
                static_cast<void>(files.createDirectory(dir.file(sub)));
                test::WriteBytes(dir.file(name), std::string("x"));
                shown.push_back(dir.file(name));
            } else if (name.back() == '/') {
                ASSERT_TRUE(files.createDirectory(dir.file(name.substr(0, name.size() - 1))));
            } else {
                test::WriteBytes(dir.file(name), std::string("x"));
            }
        }
        EXPECT_EQ(NewRecordingPath(files, dir.path(), shown), dir.file(c.expected));
    }
}

TEST_F(NamingTest, RecordingFolderIsCreatedWhenMissing) {
    EXPECT_EQ(PrepareRecordingFolder(files, folder.path(), ""), folder.path());
    EXPECT_EQ(PrepareRecordingFolder(files, path("new"), ""), path("new"));
    EXPECT_TRUE(files.isDirectory(path("new")));
    EXPECT_EQ(PrepareRecordingFolder(files, path("new"), "Voice"), path("new/Voice"));
    EXPECT_TRUE(files.isDirectory(path("new/Voice")));
}

TEST_F(NamingTest, RenameMovesTheFileWithinItsFolder) {
    test::WriteBytes(path("Recording1.wav"), std::string("audio"));
    EXPECT_EQ(RenameRecording(files, shell, path("Recording1.wav"), "Meeting with Bob"),
              path("Meeting with Bob.wav"));
    EXPECT_EQ(contents("Meeting with Bob.wav"), "audio");
    EXPECT_FALSE(test::FileExists(path("Recording1.wav")));
    EXPECT_TRUE(shell.boxes().empty());
}

TEST_F(NamingTest, NamesWithForbiddenCharactersAreRefusedAndNothingMoves) {
    test::WriteBytes(path("Recording1.wav"), std::string("audio"));
    const std::string forbidden[] = {"a\\b", "a/b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a.b", "a>b", "a|b",
                                     "..", "x.wav", std::string("a\0b", 3)};
    for (const auto& name : forbidden) {
        SCOPED_TRACE(name);
        shell.clearBoxes();
        EXPECT_FALSE(RenameRecording(files, shell, path("Recording1.wav"), name).has_value());
        expectOneBox(kCharacterMessage, "Tavrin  Rename", mb::IconHand);
        EXPECT_EQ(contents("Recording1.wav"), "audio");
    }
    EXPECT_TRUE(IsAllowedName("Rec - 1 (copy), 'b' & c"));
}

// What the user typed is taken without the spaces around it; a name that is
// empty once trimmed, or too long for a file name, is refused in words and
// nothing moves.
TEST_F(NamingTest, NamesAreTrimmedAndEmptyOrTooLongNamesAreRefused) {
    test::WriteBytes(path("Recording1.wav"), std::string("audio"));
    const std::string longest(kLongestName, 'n');
    struct Case {
        std::string typed;
        const char* message;  // nullptr: renamed
        std::string file;
    };
    const Case cases[] = {
        {"", "Enter a name for the recording.", ""},
        {"   \t ", "Enter a name for the recording.", ""},
        {longest + "n", "That name is too long. Enter a shorter name.", ""},
        {std::string(300, 'x'), "That name is too long. Enter a shorter name.", ""},
        {"  Talk with Bob  ", nullptr, "Talk with Bob.wav"},
        {" " + longest + " ", nullptr, longest + ".wav"},
    };
    std::string current = path("Recording1.wav");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        shell.clearBoxes();
        const std::optional<std::string> renamed = RenameRecording(files, shell, current, c.typed);
        if (!c.message) {
            ASSERT_EQ(renamed, path(c.file));
            EXPECT_TRUE(shell.boxes().empty());
            current = *renamed;
            continue;
        }
        EXPECT_FALSE(renamed.has_value());
        expectOneBox(c.message, "Tavrin  Rename", mb::IconHand);
        EXPECT_TRUE(test::FileExists(current));
    }
    EXPECT_FALSE(test::FileExists(path(".wav")));
}

// A file named ".wav" made elsewhere is still a recording of the list.
TEST_F(NamingTest, AFileNamedOnlyDotWavStillShowsInTheList) {
    test::WriteBytes(path(".wav"), std::string("audio"));
    RecordingList list(files);
    ASSERT_TRUE(list.refresh({folder.path()}));
    EXPECT_EQ(list.paths(), std::vector<std::string>{path(".wav")});
    EXPECT_EQ(RecordingName(list.paths().front()), "");
}

TEST_F(NamingTest, AFailedMoveNeverReplacesAFileAndAlwaysShowsTheTakenMessage) {
    test::WriteBytes(path("Recording1.wav"), std::string("one"));
    test::WriteBytes(path("Talk.wav"), std::string("talk"));
    test::FaultyFileSystem faulty(files);
    struct Case {
        const char* name;
        std::string target;
        bool failMove;
        std::string_view message;
    };
    const Case cases[] = {
        {"an existing target", "Talk", false, kTakenMessage},
        {"the recording's own name", "Recording1", false, kTakenMessage},
        {"a move the file system refuses", "Fresh", true, kTakenMessage},
        // Said for what it is, not as a name that is taken.
        {"a name too long for the file system", std::string(300, 'n'), false, kNameTooLongMessage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        shell.clearBoxes();
        if (c.failMove) faulty.failNth(test::Fault::Move, 1);
        EXPECT_FALSE(RenameRecording(faulty, shell, path("Recording1.wav"), c.target).has_value());
        expectOneBox(std::string(c.message), "Tavrin  Rename", mb::IconHand);
        EXPECT_EQ(contents("Recording1.wav"), "one");
        EXPECT_EQ(contents("Talk.wav"), "talk");
    }
    EXPECT_FALSE(test::FileExists(path("Fresh.wav")));
}

// A rename or delete is synced to the medium with its folder; when the sync
// fails the change stands (it was made) and the user hears that a power cut
// may undo it.
TEST_F(NamingTest, RenameAndDeleteSyncTheFolderAndTellWhenThatFails) {
    const std::string renamed =
        "The recording was renamed, but the storage did not confirm the new name. "
        "If the power fails now, the recording may keep its old name.";
    const std::string deleted =
        "The recording was deleted, but the storage did not confirm it. If the power fails now, the recording may "
        "come back.";
    for (const bool syncFails : {false, true}) {
        SCOPED_TRACE(syncFails ? "sync fails" : "sync succeeds");
        test::FaultyFileSystem faulty(files);
        test::WriteBytes(path("Recording1.wav"), std::string("one"));
        shell.clearBoxes();
        if (syncFails) faulty.failNth(test::Fault::SyncFolder, 1);
        EXPECT_EQ(RenameRecording(faulty, shell, path("Recording1.wav"), "Talk"), path("Talk.wav"));
        EXPECT_EQ(contents("Talk.wav"), "one");
        EXPECT_EQ(faulty.calls(test::Fault::SyncFolder), 1u);
        if (syncFails) {
            expectOneBox(renamed, "Tavrin  Rename", mb::IconExclamation);
        } else {
            EXPECT_TRUE(shell.boxes().empty()) << shell.lastBox().text;
        }

        shell.clearBoxes();
        if (syncFails) faulty.failNth(test::Fault::SyncFolder, 1);
        EXPECT_TRUE(DeleteRecording(faulty, shell, path("Talk.wav")));
        EXPECT_FALSE(test::FileExists(path("Talk.wav")));
        EXPECT_EQ(faulty.calls(test::Fault::SyncFolder), 2u);
        if (syncFails) {
            expectOneBox(deleted, "Tavrin", mb::IconExclamation);
        } else {
            EXPECT_TRUE(shell.boxes().empty()) << shell.lastBox().text;
        }
    }
}

TEST_F(NamingTest, ARecordingThatVanishedShowsTheTakenMessage) {
    EXPECT_FALSE(RenameRecording(files, shell, path("Gone.wav"), "Other").has_value());
    expectOneBox(kTakenMessage, "Tavrin  Rename", mb::IconHand);
    EXPECT_FALSE(test::FileExists(path("Other.wav")));
}

TEST_F(NamingTest, DeleteAsksAndTellsWhenItFails) {
    shell.queueAnswer(platform::answer::Yes);
    shell.queueAnswer(platform::answer::No);
    EXPECT_TRUE(ConfirmDelete(shell, path("Meeting notes.wav")));
    EXPECT_FALSE(ConfirmDelete(shell, path("v1.2 draft.WAV")));
    ASSERT_EQ(shell.boxes().size(), 2u);
    // The name on its own line, so that the user sees what goes.
    EXPECT_EQ(shell.boxes()[0].text, "Permanently delete this recording?\nMeeting notes");
    EXPECT_EQ(shell.boxes()[1].text, "Permanently delete this recording?\nv1.2 draft");
    for (const auto& box : shell.boxes()) {
        EXPECT_EQ(box.caption, "Tavrin");
        EXPECT_EQ(box.style, mb::IconExclamation | mb::YesNo | mb::DefButton2);
    }

    shell.clearBoxes();
    test::WriteBytes(path("Recording1.wav"), std::string("x"));
    EXPECT_TRUE(DeleteRecording(files, shell, path("Recording1.wav")));
    EXPECT_FALSE(test::FileExists(path("Recording1.wav")));
    EXPECT_TRUE(shell.boxes().empty());

    EXPECT_FALSE(DeleteRecording(files, shell, path("Recording1.wav")));
    expectOneBox("Can't delete this recording!", "Tavrin", mb::IconHand);
}

}  // namespace
}  // namespace tavrin::recordings
