#include "platform/posix/StderrShell.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/TempDir.h"

namespace tavrin::platform {
namespace {

TEST(StderrShell, MountFieldEscapesAreDecoded) {
    struct Case {
        const char* field;
        const char* decoded;
    };
    const Case cases[] = {
        {"/media/ann/CARD", "/media/ann/CARD"},
        {"/media/ann/MY\\040CARD", "/media/ann/MY CARD"},
        {"/media/ann/a\\011b\\134c", "/media/ann/a\tb\\c"},
        {"/media/ann/x\\04", "/media/ann/x\\04"},   // too short to be an escape
        {"/media/ann/x\\089", "/media/ann/x\\089"},  // not octal
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeMountField(c.field), c.decoded) << c.field;
}

TEST(StderrShell, StorageCardsAreMountsDirectlyUnderTheUsersMediaFolders) {
    const char* mounts =
        "/dev/sda1 / ext4 rw 0 0\n"
        "/dev/sdb1 /media/ann/CARD vfat rw 0 0\n"
        "/dev/sdc1 /run/media/ann/MY\\040CARD exfat rw 0 0\n"
        "/dev/sdd1 /media/ann/CARD/inner vfat rw 0 0\n"
        "/dev/sde1 /media/bob/OTHER vfat rw 0 0\n"
        "/dev/sdf1 /media/annie/NOT vfat rw 0 0\n"
        "/dev/sdg1 /media/ann vfat rw 0 0\n"
        "broken-line\n"
        "/dev/sdh1 /mnt/usb vfat rw 0 0\n";
    EXPECT_EQ(CardMountPoints(mounts, "ann"),
              (std::vector<std::string>{"/media/ann/CARD", "/run/media/ann/MY CARD"}));
    EXPECT_EQ(CardMountPoints(mounts, "bob"), (std::vector<std::string>{"/media/bob/OTHER"}));
    EXPECT_TRUE(CardMountPoints(mounts, "").empty());
}

TEST(StderrShell, DocumentsFolderOfUserDirs) {
    struct Case {
        const char* text;
        std::optional<std::string> folder;
    };
    const Case cases[] = {
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
         "/home/ann/Dokumente"},
        {"  XDG_DOCUMENTS_DIR=\"/srv/docs\"\n", "/srv/docs"},
        {"XDG_DOCUMENTS_DIR=\"relative\"\n", std::nullopt},
        {"#XDG_DOCUMENTS_DIR=\"$HOME/x\"\n", std::nullopt},
        {"XDG_DOCUMENTS_DIR=\"\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(DocumentsDirOf(c.text, "/home/ann"), c.folder) << c.text;
}

TEST(StderrShell, DocumentsFolderIsCreatedWhenMissing) {
    test::TempDir dir;
    const std::string wanted = dir.file("deep/er/Documents");
    const char* old = std::getenv("XDG_DOCUMENTS_DIR");
    const std::string saved = old ? old : "";
    setenv("XDG_DOCUMENTS_DIR", (wanted + "/").c_str(), 1);
    const std::string folder = StderrShell().documentsFolder();
    if (old) setenv("XDG_DOCUMENTS_DIR", saved.c_str(), 1); else unsetenv("XDG_DOCUMENTS_DIR");
    EXPECT_EQ(folder, wanted);
    EXPECT_TRUE(std::filesystem::is_directory(wanted));
}

TEST(StderrShell, MessageBoxPrintsAndAnswersTheFirstButton) {
    struct Case {
        unsigned style;
        int answer;
    };
    const Case cases[] = {
        {mb::Ok | mb::IconHand, answer::Ok},
        {mb::OkCancel, answer::Ok},
        {mb::YesNo | mb::IconQuestion | mb::DefButton2, answer::Yes},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        const int got = StderrShell().messageBox("line one\nline two", "Tavrin", c.style);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tavrin: line one\nline two\n");
        EXPECT_EQ(got, c.answer) << c.style;
    }
}

}  // namespace
}  // namespace tavrin::platform
