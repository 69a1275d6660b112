#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "recordings/StorageLocations.h"
#include "support/RecordingShell.h"
#include "support/TempDir.h"

namespace tavrin::recordings {
namespace {

using Paths = std::vector<std::string>;

struct StorageLocationsTest : ::testing::Test {
    test::TempDir home;
    test::RecordingShell shell;
    platform::PosixFileSystem files;
    StorageLocations locations{shell, files};
};

TEST_F(StorageLocationsTest, DocumentsFolderComesFirstThenTheCardsInSystemOrder) {
    shell.setDocumentsFolder(home.file("Documents"));
    shell.setStorageCards({"/media/ann/CARD B", "/run/media/ann/A/", "/media/ann/Documents"});
    EXPECT_EQ(locations.list(),
              (Paths{home.file("Documents"), "/media/ann/CARD B", "/run/media/ann/A", "/media/ann/Documents"}));
}

TEST_F(StorageLocationsTest, CreatesAMissingDocumentsFolder) {
    shell.setDocumentsFolder(home.file("Documents"));
    ASSERT_FALSE(files.isDirectory(home.file("Documents")));
    EXPECT_EQ(locations.list().front(), home.file("Documents"));
    EXPECT_TRUE(files.isDirectory(home.file("Documents")));
}

// A card that holds the documents folder is main memory itself. A card whose
// label merely occurs in the documents path ("ann", "Doc") is a card like any other.
TEST_F(StorageLocationsTest, SkipsOnlyACardThatHoldsTheDocumentsFolder) {
    struct Case {
        std::string documents;
        Paths cards;
        Paths expected;
    };
    // Under the test's own folder, so that creating a missing documents folder touches nothing else.
    const std::string r = home.path();
    const Case cases[] = {
        {r + "/store/ann/Documents",
         {r + "/store", r + "/media/ann/SD"},
         {r + "/store/ann/Documents", r + "/media/ann/SD"}},
        {r + "/media/ann/BIG/Documents", {r + "/media/ann/BIG/"}, {r + "/media/ann/BIG/Documents"}},
        {r + "/media/ann/BIG", {r + "/media/ann/BIG"}, {r + "/media/ann/BIG"}},
        {r + "/home/ann/Documents", {r + "/media/x/ann", r + "/media/x/Doc", r + "/home/ann/Doc"},
         {r + "/home/ann/Documents", r + "/media/x/ann", r + "/media/x/Doc", r + "/home/ann/Doc"}},
        {"", {r + "/media/ann/SD"}, {"", r + "/media/ann/SD"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.documents);
        shell.setDocumentsFolder(c.documents);
        shell.setStorageCards(c.cards);
        EXPECT_EQ(locations.list(), c.expected);
    }
}

TEST_F(StorageLocationsTest, KnownLocationsCompareExactlyAgainstTheCurrentList) {
    shell.setDocumentsFolder(home.path());
    shell.setStorageCards({"/media/ann/SD"});
    EXPECT_TRUE(locations.isKnown(home.path()));
    EXPECT_TRUE(locations.isKnown("/media/ann/SD"));
    EXPECT_FALSE(locations.isKnown("/media/ann/sd"));
    EXPECT_FALSE(locations.isKnown("/media/ann/SD/"));
    EXPECT_FALSE(locations.isKnown("/media/ann"));
    shell.setStorageCards({});
    EXPECT_FALSE(locations.isKnown("/media/ann/SD"));
}

TEST(LocationNames, PhoneForTheDocumentsFolderAndTheMountNameForACard) {
    const Paths list{"/home/ann/Documents", "/media/ann/SDCARD", "/run/media/ann/My Card"};
    EXPECT_EQ(DisplayNames(list), (Paths{"Phone", "SDCARD", "My Card"}));
    for (const auto& location : list) EXPECT_EQ(LocationOfDisplayName(list, DisplayName(list, location)), location);
    EXPECT_FALSE(LocationOfDisplayName(list, "sdcard").has_value());
    EXPECT_FALSE(LocationOfDisplayName(list, "Gone").has_value());
}

// The dialog chooses by name, so no two locations may share one.
TEST(LocationNames, ClashingCardNamesShowTheFullPath) {
    const Paths list{"/home/ann/Documents", "/media/ann/SD", "/run/media/ann/SD", "/media/ann/Phone", "/media/ann/X"};
    EXPECT_EQ(DisplayNames(list), (Paths{"Phone", "/media/ann/SD", "/run/media/ann/SD", "/media/ann/Phone", "X"}));
    for (const auto& location : list) EXPECT_EQ(LocationOfDisplayName(list, DisplayName(list, location)), location);
}

TEST(LocationNames, InsideComparesWholeComponents) {
    EXPECT_TRUE(IsInside("/home/ann/Documents/a.wav", "/home/ann/Documents"));
    EXPECT_TRUE(IsInside("/home/ann/Documents/a.wav", "/home/ann/Documents/"));
    EXPECT_TRUE(IsInside("/home/ann/Documents", "/home/ann/Documents"));
    EXPECT_TRUE(IsInside("/home/ann", "/"));
    EXPECT_FALSE(IsInside("/home/ann/Documents2/a.wav", "/home/ann/Documents"));
    EXPECT_FALSE(IsInside("/home/ann", "/home/ann/Documents"));
    EXPECT_FALSE(IsInside("/home/ann", ""));
}

}  // namespace
}  // namespace tavrin::recordings
