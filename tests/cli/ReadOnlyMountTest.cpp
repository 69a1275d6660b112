// A recording on a read-only mount, as a user finds one on a write-protected
// card or a share mounted read-only: it plays, and an edit is refused with
// the message that says it is read-only, the file as it was. The mount is
// made in a mount namespace of the test's own; where mounting is not
// permitted the test is skipped.
#include <gtest/gtest.h>

#include <string>

#include "support/Shell.h"
#include "support/TempDir.h"

namespace tavrin::cli {
namespace {

using test::Quote;

TEST(ReadOnlyMount, ARecordingThereIsPlayedAndNotChanged) {
    test::TempDir dir;
    const std::string mount = dir.file("card");
    const std::string fixture = TAVRIN_FIXTURE_DIR "/pcm-8k-16bit.wav";
    const std::string cli = Quote(TAVRIN_CLI_PATH);
    const std::string script =
        "mkdir " + Quote(mount) + " && mount -t tmpfs -o size=4m tavrin-test " + Quote(mount) +
        " 2>/dev/null || { echo cannot-mount; exit 0; }\n"
        "cp " + Quote(fixture) + " " + Quote(mount + "/x.wav") + " && mount -o remount,ro " + Quote(mount) +
        " || { echo cannot-mount; exit 0; }\n"
        "export XDG_STATE_HOME=" + Quote(dir.file("state")) + "\n" +
        cli + " play " + Quote(mount + "/x.wav") + " --audio-out " + Quote(dir.file("out.wav")) + " 2>/dev/null\n"
        "echo play=$?\n" +
        cli + " append " + Quote(mount + "/x.wav") + " --seconds 0.3 --audio-in " + Quote(fixture) + " 2>" +
        Quote(dir.file("err")) + "\n"
        "echo append=$?\n"
        "cmp -s " + Quote(fixture) + " " + Quote(mount + "/x.wav") + " && echo unchanged\n";
    const test::ShellRun run = test::Shell("unshare -m sh -c " + Quote(script) + " 2>/dev/null || echo cannot-mount");
    ASSERT_TRUE(run.started);
    if (run.out.find("cannot-mount") != std::string::npos) GTEST_SKIP() << "mounting is not permitted here";
    EXPECT_EQ(run.out, "play=0\nappend=1\nunchanged\n");
    const auto err = test::ReadBytes(dir.file("err"));
    EXPECT_NE(std::string(err.begin(), err.end()).find("This recording is read-only"), std::string::npos);
}

// A local disk that fills while a recording runs: the recording keeps what
// fitted, and the tool says the storage-space text, not that storing failed.
TEST(FullMount, ARecordingThatFillsTheDiskSaysSo) {
    test::TempDir dir;
    const std::string mount = dir.file("small");
    const std::string script =
        "mkdir " + Quote(mount) + " && mount -t tmpfs -o size=512k tavrin-test " + Quote(mount) +
        " 2>/dev/null || { echo cannot-mount; exit 0; }\n"
        "export XDG_STATE_HOME=" + Quote(dir.file("state")) + "\n" +
        Quote(TAVRIN_CLI_PATH) + " record " + Quote(mount + "/r.wav") + " --format pcm22k16 --seconds 30 --audio-in " +
        Quote(TAVRIN_FIXTURE_DIR "/pcm-8k-16bit.wav") + " 2>" + Quote(dir.file("err")) + "\n"
        "echo record=$?\n" + Quote(TAVRIN_CLI_PATH) + " info " + Quote(mount + "/r.wav") + " >/dev/null\n"
        "echo info=$?\n";
    const test::ShellRun run = test::Shell("unshare -m sh -c " + Quote(script) + " 2>/dev/null || echo cannot-mount");
    ASSERT_TRUE(run.started);
    if (run.out.find("cannot-mount") != std::string::npos) GTEST_SKIP() << "mounting is not permitted here";
    EXPECT_EQ(run.out, "record=1\ninfo=0\n");
    const auto err = test::ReadBytes(dir.file("err"));
    EXPECT_NE(std::string(err.begin(), err.end()).find("the recording ended early: Not enough storage space"),
              std::string::npos)
        << std::string(err.begin(), err.end());
}

}  // namespace
}  // namespace tavrin::cli
