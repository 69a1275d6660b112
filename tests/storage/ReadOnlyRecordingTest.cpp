// A recording that may only be read (its permissions, a read-only mount) is
// selected for reading on either medium: it plays whole, and every edit is
// refused with the cause that says why, the file left as it was.
#include <gtest/gtest.h>

#include "RecordingModel.h"
#include "storage/StorageContext.h"
#include "support/FakeMemory.h"
#include "support/FaultyFileSystem.h"
#include "support/RecordingShell.h"
#include "support/TempDir.h"

namespace tavrin::storage {
namespace {

using model::Bytes;

class ReadOnlyRecording : public testing::TestWithParam<bool> {};

TEST_P(ReadOnlyRecording, PlaysWholeAndRefusesEveryEdit) {
    const bool slow = GetParam();
    test::TempDir dir;
    test::FaultyFileSystem fs;
    test::FakeMemory memory;
    test::FakeSystemInfo system{65536};
    test::RecordingShell shell;
    const Bytes audio = model::Pattern(40'000, 8);
    const Bytes file = model::WavFile(model::kPcm16, audio);
    const std::string path = dir.file("a.wav");
    test::WriteBytes(path, file);
    fs.refuseWrites(true);
    StorageContext ctx(fs, memory, system, shell);
    ctx.journal.SetFolder(dir.file("state"));
    ASSERT_EQ(ctx.Select(path, slow ? platform::Media::Slow : platform::Media::Fast), Status::Ok);
    Bytes played(audio.size());
    const Status read = ctx.ReadData(played.data(), static_cast<std::uint32_t>(played.size()));
    EXPECT_TRUE(read == Status::Ok || read == Status::EndOfData);
    EXPECT_EQ(played, audio);
    for (const auto edit : {&StorageContext::Append, &StorageContext::Overwrite, &StorageContext::Insert}) {
        ASSERT_TRUE(ctx.SeekToSample(1000));
        EXPECT_FALSE((ctx.*edit)());
        EXPECT_EQ(ctx.FailureCause().kind, platform::IoError::Kind::ReadOnly);
    }
    EXPECT_EQ(ctx.Close(), Status::Ok);
    EXPECT_EQ(test::ReadBytes(path), file);
    EXPECT_FALSE(test::FileExists(dir.file("state"))) << "no journal for a file that cannot change";
    // Writable again, the same file is edited as any other.
    fs.refuseWrites(false);
    ASSERT_EQ(ctx.Select(path, slow ? platform::Media::Slow : platform::Media::Fast), Status::Ok);
    EXPECT_TRUE(ctx.Append());
    EXPECT_EQ(ctx.FailureCause().kind, platform::IoError::Kind::None);
    EXPECT_EQ(ctx.Close(), Status::Ok);
}

INSTANTIATE_TEST_SUITE_P(Media, ReadOnlyRecording, testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Slow" : "Fast"; });

}  // namespace
}  // namespace tavrin::storage
