#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "recordings/RecordingList.h"
#include "recordings/StorageLocations.h"
#include "support/FaultyFileSystem.h"
#include "support/RecordingShell.h"
#include "support/TempDir.h"

namespace tavrin::recordings {
namespace {

using Paths = std::vector<std::string>;

void Touch(const std::string& path) { test::WriteBytes(path, std::string("RIFF")); }

struct RecordingListTest : ::testing::Test {
    RecordingListTest() {
        shell.setDocumentsFolder(root.file("Documents"));
        EXPECT_TRUE(files.createDirectory(root.file("card")));
    }
    std::string docs(const std::string& name) const { return root.file("Documents/" + name); }
    std::string card(const std::string& name) const { return root.file("card/" + name); }
    void insertCard() { shell.setStorageCards({root.file("card")}); }
    void removeCard() { shell.setStorageCards({}); }
    bool refresh() { return list.refresh(locations.list()); }

    test::TempDir root;
    test::RecordingShell shell;
    platform::PosixFileSystem files;
    StorageLocations locations{shell, files};
    RecordingList list{files};
};

TEST_F(RecordingListTest, ListsWavFilesInAnyLetterCaseAndNothingElse) {
    ASSERT_EQ(locations.list().size(), 1u);  // creates the documents folder
    for (const char* name : {"a.wav", "B.WAV", "c.Wav", ".wav", "d.wav.txt", "e.wa", "wav", "f.mp3", "g.wavx"})
        Touch(docs(name));
    ASSERT_TRUE(files.createDirectory(docs("folder.wav")));
    ASSERT_TRUE(refresh());
    EXPECT_EQ(list.paths(), (Paths{docs(".wav"), docs("a.wav"), docs("B.WAV"), docs("c.Wav")}));
}

TEST_F(RecordingListTest, MainMemoryComesBeforeTheCard) {
    insertCard();
    ASSERT_EQ(locations.list().size(), 2u);
    Touch(card("a.wav"));
    Touch(docs("z.wav"));
    ASSERT_TRUE(refresh());
    EXPECT_EQ(list.paths(), (Paths{docs("z.wav"), card("a.wav")}));
}

TEST_F(RecordingListTest, ReportsAChangeOnlyWhenTheFilesChanged) {
    ASSERT_FALSE(refresh()) << "nothing found, nothing to show";
    Touch(docs("Recording1.wav"));
    Touch(docs("Recording2.wav"));
    ASSERT_TRUE(refresh());
    const Paths before = list.paths();
    EXPECT_FALSE(refresh());
    EXPECT_EQ(list.paths(), before);

    // Same number of files, one name differs: still a change.
    ASSERT_TRUE(files.moveNoReplace(docs("Recording2.wav"), docs("Talk.wav")));
    EXPECT_TRUE(refresh());
    EXPECT_EQ(list.paths(), (Paths{docs("Recording1.wav"), docs("Talk.wav")}));

    // A new file of another kind is not a recording.
    Touch(docs("notes.txt"));
    EXPECT_FALSE(refresh());
}

TEST_F(RecordingListTest, ARemovedCardsRecordingsLeaveAndComeBackAfterMainMemory) {
    insertCard();
    ASSERT_EQ(locations.list().size(), 2u);
    Touch(docs("Recording1.wav"));
    Touch(card("Recording1.wav"));
    Touch(card("Recording2.wav"));
    ASSERT_TRUE(refresh());
    EXPECT_EQ(list.paths(), (Paths{docs("Recording1.wav"), card("Recording1.wav"), card("Recording2.wav")}));

    removeCard();
    ASSERT_TRUE(refresh());
    EXPECT_EQ(list.paths(), (Paths{docs("Recording1.wav")}));

    Touch(docs("Recording2.wav"));
    insertCard();
    ASSERT_TRUE(refresh());
    EXPECT_EQ(list.paths(), (Paths{docs("Recording1.wav"), docs("Recording2.wav"), card("Recording1.wav"),
                                   card("Recording2.wav")}));
}

TEST_F(RecordingListTest, ALocationThatCannotBeListedContributesNothing) {
    test::FaultyFileSystem faulty(files);
    RecordingList faultyList(faulty);
    insertCard();
    const Paths where = locations.list();
    Touch(docs("a.wav"));
    Touch(card("b.wav"));
    ASSERT_TRUE(faultyList.refresh(where));

    faulty.failNth(test::Fault::List, 1);  // the documents folder
    EXPECT_TRUE(faultyList.refresh(where));
    EXPECT_EQ(faultyList.paths(), (Paths{card("b.wav")}));
    EXPECT_TRUE(faultyList.refresh(where));
    EXPECT_EQ(faultyList.paths(), (Paths{docs("a.wav"), card("b.wav")}));

    EXPECT_TRUE(faultyList.refresh({docs("missing"), ""}));
    EXPECT_TRUE(faultyList.paths().empty());
}

TEST_F(RecordingListTest, TenThousandRecordings) {
    ASSERT_EQ(locations.list().size(), 1u);
    Paths expected;
    for (int n = 1; n <= 10000; ++n) {
        const std::string path = docs("Recording" + std::to_string(n) + ".wav");
        Touch(path);
        expected.push_back(path);
    }
    for (int n = 1; n <= 10; ++n) Touch(docs("other" + std::to_string(n) + ".txt"));
    ASSERT_TRUE(refresh());
    EXPECT_EQ(list.paths(), expected);
    EXPECT_FALSE(refresh());
    EXPECT_EQ(list.paths(), expected);

    Touch(docs("Recording10001.wav"));
    expected.push_back(docs("Recording10001.wav"));
    ASSERT_TRUE(refresh());
    EXPECT_EQ(list.paths(), expected);
}

// Each name sorts after the one before it; the folder lists them in whatever
// order the file system keeps.
TEST_F(RecordingListTest, NamesStandInNaturalOrder) {
    const Paths ordered{docs("0.wav"),           docs("007.wav"),         docs("7.wav"),
                        docs("alpha.wav"),       docs("Beta.wav"),        docs("beta2.wav"),
                        docs("beta10.wav"),      docs("Recording.wav"),   docs("Recording1.wav"),
                        docs("recording1a.wav"), docs("Recording2.wav"),  docs("Recording9.wav"),
                        docs("Recording10.wav"), docs("Recording11.wav"), docs("Recording100.wav"),
                        docs("Recording18446744073709551616.wav"),        docs("Zulu.wav")};
    ASSERT_EQ(locations.list().size(), 1u);
    for (auto it = ordered.rbegin(); it != ordered.rend(); ++it) Touch(*it);
    ASSERT_TRUE(refresh());
    EXPECT_EQ(list.paths(), ordered);
    for (std::size_t i = 0; i + 1 < ordered.size(); ++i) {
        EXPECT_FALSE(NaturalLess(ordered[i + 1], ordered[i])) << ordered[i];
    }
    // Equal but for case: a fixed order all the same, never "equal".
    EXPECT_NE(NaturalLess("a.wav", "A.wav"), NaturalLess("A.wav", "a.wav"));
    EXPECT_NE(NaturalLess("x01", "x1"), NaturalLess("x1", "x01"));
}

// A recording made into a sub-folder stays listed whatever the sub-folder
// setting says later: every location's visible sub-folders are read, one
// level down, after the location's own files; names that repeat show their folder.
TEST_F(RecordingListTest, SubFoldersAreListedOneLevelDownAndRepeatedNamesShowTheirFolder) {
    insertCard();
    ASSERT_EQ(locations.list().size(), 2u);
    for (const char* folder : {"Meetings", "b", ".hidden", "Meetings/Deeper"})
        ASSERT_TRUE(files.createDirectory(docs(folder)));
    for (const char* name : {"Recording1.wav", "Meetings/Recording1.wav", "Meetings/recording2.wav",
                             "b/Talk.wav", ".hidden/Secret.wav", "Meetings/Deeper/Lost.wav"})
        Touch(docs(name));
    Touch(card("Recording1.wav"));
    ASSERT_TRUE(refresh());
    const Paths expected{docs("Recording1.wav"), docs("b/Talk.wav"), docs("Meetings/Recording1.wav"),
                         docs("Meetings/recording2.wav"), card("Recording1.wav")};
    EXPECT_EQ(list.paths(), expected);
    EXPECT_EQ(RowNames(list.paths(), locations.list()),
              (std::vector<std::string>{"Recording1", "Talk", "Recording1 (Meetings)", "recording2", "Recording1"}));
}

TEST(RecordingNames, AreTheTextBetweenTheLastSlashAndTheLastDot) {
    const std::pair<const char*, const char*> cases[] = {
        {"/home/ann/Documents/Recording1.wav", "Recording1"},
        {"/media/ann/SD/Talk.WAV", "Talk"},
        {"/home/ann/Documents/.wav", ""},
        {"/a/b.c/name", "name"},
        {"/a/x.y.wav", "x.y"},
        {"plain.wav", "plain"},
        {"/a/b/", ""},
    };
    for (const auto& [path, name] : cases) EXPECT_EQ(RecordingName(path), name) << path;
}

}  // namespace
}  // namespace tavrin::recordings
