// tavrin-cli export and play --speed run as a user runs them: a kill during
// an export leaves nothing under the final name, the next export succeeds,
// an existing name is kept unless --replace says otherwise; a recording
// played at 2× into a file lasts half as long.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/Shell.h"
#include "support/TempDir.h"

namespace tavrin::cli {
namespace {

using test::Quote;

// A mono 16-bit recording of a 200 Hz tone.
void WriteTone(const std::string& path, std::uint32_t rate, double seconds) {
    const auto samples = static_cast<std::uint32_t>(rate * seconds);
    std::vector<std::uint8_t> v;
    auto le = [&v](std::uint32_t x, int n) {
        for (int i = 0; i < n; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
    };
    v.insert(v.end(), {'R', 'I', 'F', 'F'});
    le(36 + samples * 2, 4);
    v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    le(16, 4), le(1, 2), le(1, 2), le(rate, 4), le(rate * 2, 4), le(2, 2), le(16, 2);
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    le(samples * 2, 4);
    for (std::uint32_t i = 0; i < samples; ++i) {
        le(static_cast<std::uint16_t>(static_cast<std::int16_t>(9000 * std::sin(i * 2 * M_PI * 200 / rate))), 2);
    }
    test::WriteBytes(path, v);
}

class ExportCommandTest : public ::testing::Test {
public:
    test::ShellRun Run(const std::string& args) const {
        return test::Shell("cd " + Quote(dir.path()) + " && " + Quote(TAVRIN_CLI_PATH) + " " + args + " 2>&1");
    }
    // Decoded, not as the container says: an MP3's header counts the encoder's padding.
    double Decoded(const std::string& file, int rate) const {
        const test::ShellRun r = test::Shell("ffmpeg -v error -i " + Quote(dir.file(file)) + " -ac 1 -ar " +
                                             std::to_string(rate) + " -f s16le - | wc -c");
        return r.status == 0 ? std::stod(r.out) / 2 / rate : -1;
    }
    double Seconds(const std::string& file) const {
        const test::ShellRun r = test::Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                                             Quote(dir.file(file)));
        return r.status == 0 && !r.out.empty() ? std::stod(r.out) : -1;
    }
    test::TempDir dir;
};

TEST_F(ExportCommandTest, AKillDuringAnExportLeavesNothingUnderTheFinalName) {
    WriteTone(dir.file("Long.wav"), 22050, 240);
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        execl("/bin/sh", "sh", "-c", ("exec " + Quote(TAVRIN_CLI_PATH) + " export Long.wav >/dev/null 2>&1").c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Killed once part of the copy has been written.
    const std::string part = dir.file(".Long.opus.part");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::error_code error;
    while (std::chrono::steady_clock::now() < deadline && std::filesystem::file_size(part, error) < 16384) {
        // A process test: the export runs beside it.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the export ended before it could be killed";
    EXPECT_FALSE(std::filesystem::exists(dir.file("Long.opus")));

    // The next export starts over and completes.
    const test::ShellRun again = Run("export Long.wav --progress");
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_NE(again.out.find("100%"), std::string::npos) << again.out;
    EXPECT_NEAR(Seconds("Long.opus"), 240, 0.02);
    EXPECT_FALSE(std::filesystem::exists(part));
}

TEST_F(ExportCommandTest, AnExistingNameIsKeptUnlessReplaceIsGiven) {
    WriteTone(dir.file("Talk.wav"), 8000, 2);
    test::WriteBytes(dir.file("Talk.mp3"), std::vector<std::uint8_t>{1, 2, 3});
    const test::ShellRun kept = Run("export Talk.wav --to mp3");
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.out.find("\"Talk.mp3\" already exists. Use --replace to replace it."), std::string::npos)
        << kept.out;
    EXPECT_EQ(std::filesystem::file_size(dir.file("Talk.mp3")), 3u);
    const test::ShellRun replaced = Run("export Talk.wav --to mp3 --replace");
    EXPECT_EQ(replaced.status, 0) << replaced.out;
    EXPECT_NEAR(Decoded("Talk.mp3", 8000), 2, 576.0 / 8000);
    const test::ShellRun named = Run("export Talk.wav --to flac -o " + Quote(dir.file("sub.flac")));
    EXPECT_EQ(named.status, 0) << named.out;
    EXPECT_NEAR(Seconds("sub.flac"), 2, 0.001);
}

TEST_F(ExportCommandTest, WrongArgumentsAreUsageErrors) {
    WriteTone(dir.file("Talk.wav"), 8000, 1);
    for (const char* args : {"export", "export Talk.wav --to ogg", "export Talk.wav -o", "export a.wav b.wav",
                             "play Talk.wav --speed 1.6", "play Talk.wav --speed", "play Talk.wav --speed 4"}) {
        SCOPED_TRACE(args);
        EXPECT_EQ(Run(args).status, 2);
    }
    const test::ShellRun gone = Run("export Talk.wav -o " + Quote(dir.file("no/such/x.opus")));
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.out.find("is gone"), std::string::npos) << gone.out;
}

TEST_F(ExportCommandTest, PlayAtTwiceTheSpeedLastsHalfAsLong) {
    WriteTone(dir.file("Talk.wav"), 11025, 6);
    for (const auto& [speed, seconds] : std::vector<std::pair<std::string, double>>{{"2", 3.0}, {"0.75", 8.0}}) {
        SCOPED_TRACE(speed);
        const test::ShellRun r = Run("play Talk.wav --speed " + speed + " --audio-out out.wav");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NEAR(Seconds("out.wav"), seconds, 0.2);
    }
}

}  // namespace
}  // namespace tavrin::cli
