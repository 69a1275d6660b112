#include "platform/posix/StderrShell.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/posix/LocationSpeed.h"
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

// The type numbers as statfs reports them (a signed word: CIFS comes out negative).
TEST(LocationSpeed, NetworkAndFuseFileSystemsAreSlowEveryLocalOneIsFast) {
    const struct {
        const char* name;
        std::int64_t type;
        bool fast;
    } cases[] = {
        {"ext4", 0xEF53, true},          {"xfs", 0x58465342, true},       {"btrfs", 0x9123683E, true},
        {"f2fs", 0xF2F52010, true},      {"vfat", 0x4D44, true},          {"exfat", 0x2011BAB0, true},
        {"ntfs3", 0x7366746E, true},     {"overlayfs", 0x794C7630, true}, {"tmpfs", 0x01021994, true},
        {"zfs", 0x2FC12FC1, true},       {"nfs", 0x6969, false},          {"smbfs", 0x517B, false},
        {"cifs", static_cast<std::int32_t>(0xFF534D42), false},           {"smb2", 0xFE534D42, false},
        {"fuse (sshfs)", 0x65735546, false}, {"9p", 0x01021997, false},   {"afs", 0x5346414F, false},
        {"kafs", 0x6B414653, false},     {"ceph", 0x00C36400, false},     {"coda", 0x73757245, false},
        {"lustre", 0x0BD00BD0, false},   {"vmhgfs", static_cast<std::int32_t>(0xBACBACBC), false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsFastFileSystemType(c.type), c.fast) << c.name;
}

// FUSE is slow unless it drives a block device of this machine: the mount's
// type tells, found by the device number statfs and stat share.
TEST(LocationSpeed, MountTypeIsFoundByDeviceNumber) {
    const std::string info =
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
        "40 27 0:52 / /home/u/remote rw,nosuid shared:7 - fuse.sshfs u@host:/ rw,user_id=1000\n"
        "41 27 8:17 / /media/u/STICK rw,nosuid shared:8 master:1 - fuseblk /dev/sdb1 rw,user_id=0\n"
        "42 27 259:2 / / rw,relatime - ext4 /dev/nvme0n1p2 rw\n";
    EXPECT_EQ(MountTypeOf(info, 0, 52), "fuse.sshfs");
    EXPECT_EQ(MountTypeOf(info, 8, 17), "fuseblk") << "optional fields before the dash are skipped";
    EXPECT_EQ(MountTypeOf(info, 259, 2), "ext4");
    EXPECT_EQ(MountTypeOf(info, 8, 1), std::nullopt) << "8:1 is not 8:17";
    EXPECT_EQ(MountTypeOf("", 0, 21), std::nullopt);
}

TEST(LocationSpeed, AFolderOnThisMachinesDiskIsFastAndAMissingOneSlow) {
    test::TempDir dir;
    // The build's temporary folder is a local disk or tmpfs on every machine the tests run on.
    EXPECT_TRUE(StderrShell().isFastMedia(dir.path()));
    EXPECT_TRUE(StderrShell().isFastMedia(dir.file("not-yet.wav"))) << "a new file is judged by its folder";
    EXPECT_FALSE(StderrShell().isFastMedia(dir.file("gone/away/x.wav")));
}

}  // namespace
}  // namespace tavrin::platform
