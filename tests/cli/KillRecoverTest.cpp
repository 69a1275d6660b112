// tavrin-cli recording into a file, killed with SIGKILL while it records in
// real time: on fast media the file it leaves plays at once; on either media,
// after `tavrin-cli recover` its header is exact and its audio is what an
// uninterrupted run records, up to the moment of the kill less at most half a
// second.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CliRun.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace tavrin::cli {
namespace {

using test::Quote;

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kBytesPerSecond = 16000;  // PCM 8 kHz 16-bit

Bytes Wav16(const std::vector<std::int16_t>& samples) {
    Bytes v;
    auto le = [&v](std::uint32_t x, int n) {
        for (int i = 0; i < n; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
    };
    const auto bytes = static_cast<std::uint32_t>(2 * samples.size());
    for (char c : std::string("RIFF")) v.push_back(static_cast<std::uint8_t>(c));
    le(36 + bytes, 4);
    for (char c : std::string("WAVEfmt ")) v.push_back(static_cast<std::uint8_t>(c));
    le(16, 4), le(1, 2), le(1, 2), le(8000, 4), le(16000, 4), le(2, 2), le(16, 2);
    for (char c : std::string("data")) v.push_back(static_cast<std::uint8_t>(c));
    le(bytes, 4);
    for (std::int16_t s : samples) le(static_cast<std::uint16_t>(s), 2);
    return v;
}

using Outcome = test::ShellRun;
using test::Shell;

class KillRecover : public testing::Test {
protected:
    void SetUp() override {
        std::vector<std::int16_t> s(8000 * 4);
        for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(9000 * std::sin(i * (0.02 + i * 1e-6)));
        test::WriteBytes(dir.file("in.wav"), Wav16(s));
    }

    std::string Env() const { return "XDG_STATE_HOME=" + Quote(state.path()) + " "; }

    Outcome Cli(const std::string& args) {
        return Shell("cd " + Quote(dir.path()) + " && " + Env() + Quote(TAVRIN_CLI_PATH) + " " + args);
    }

    // How far a run writing `file` has got, in bytes of audio from the start
    // of the data: where a buffered change or an insertion records, its spool
    // beside the journal tells (offset of the point, bytes after it); else the
    // file's header does.
    std::uint32_t WritePoint(const std::string& file, bool spooled) const {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(state.path() + "/tavrin", error)) {
            const std::string name = entry.path().string();
            const bool buffer = name.ends_with(".buffer");
            if (!buffer && !name.ends_with(".insert")) continue;
            const Bytes head = ReadPrefix(name, 24);
            if (head.size() < 16) return 0;
            const std::uint32_t end = U32(head, 8) + U32(head, 12);
            return end > 44 ? end - 44 : 0;
        }
        if (spooled) return 0;
        const Bytes head = ReadPrefix(dir.file(file), 44);
        return head.size() == 44 ? U32(head, 40) : 0;
    }

    // Starts `args` in real time and kills it once it has recorded up to
    // `audioBytes` (see WritePoint); answers how far it had got then.
    std::uint32_t RecordAndKill(const std::string& args, const std::string& file, std::uint32_t audioBytes,
                                bool spooled) {
        const pid_t child = Start(args);
        const std::uint32_t counted = WaitUntil(file, audioBytes, spooled);
        kill(child, SIGKILL);  // the shell exec'd the tool: it is the child
        int status = 0;
        waitpid(child, &status, 0);
        return std::max(counted, WritePoint(file, spooled));
    }

    pid_t Start(const std::string& args) const {
        const pid_t child = fork();
        if (child == 0) {
            setenv("XDG_STATE_HOME", state.path().c_str(), 1);
            if (chdir(dir.path().c_str()) != 0) _exit(127);
            execl("/bin/sh", "sh", "-c", ("exec " + Quote(TAVRIN_CLI_PATH) + " " + args + " >/dev/null 2>&1").c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        return child;
    }

    // Waits until a run has recorded up to `audioBytes` (see WritePoint); how far it got.
    std::uint32_t WaitUntil(const std::string& file, std::uint32_t audioBytes, bool spooled) const {
        std::uint32_t counted = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if ((counted = WritePoint(file, spooled)) >= audioBytes) break;
            // A process test: the recording runs in real time beside it.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return counted;
    }

    static Bytes ReadPrefix(const std::string& path, std::size_t n) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return {};
        Bytes out(n);
        out.resize(std::fread(out.data(), 1, n, f));
        std::fclose(f);
        return out;
    }

    test::TempDir dir;
    test::TempDir state;
};

struct KilledCommand {
    const char* name;
    const char* command;  // what is killed; %F is the file
    bool fromOld;         // edits start from the uninterrupted recording
    std::uint32_t at;     // bytes of audio before the edit's point (insert: the old audio after it moves)
    bool inserts;
};

TEST_F(KillRecover, AKilledRecordingRecoversToThePrefixOfAnUninterruptedRun) {
    ASSERT_EQ(Cli("record old.wav --format pcm8k16 --seconds 2 --audio-in in.wav --media fast").status, 0);
    const std::uint32_t oldData = U32(test::ReadBytes(dir.file("old.wav")), 40);
    const KilledCommand cases[] = {
        {"record", "record %F --format pcm8k16 --seconds 2", false, 0, false},
        {"append", "append %F --seconds 2", true, oldData, false},
        {"overwrite", "overwrite %F --at-ms 600 --seconds 2", true, oldData, false},
        {"insert", "insert %F --at-ms 600 --seconds 2", true, 600 * kBytesPerSecond / 1000, true},
    };
    std::mt19937 random(12);
    const bool haveSox = Shell("command -v sox >/dev/null 2>&1").status == 0;
    for (const char* media : {"fast", "slow"}) {
        for (const KilledCommand& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " on " + media + " media");
            auto args = [&](const std::string& file) {
                std::string a = c.command;
                a.replace(a.find("%F"), 2, file);
                return a + " --audio-in in.wav --media " + media;
            };
            if (c.fromOld) {
                test::WriteBytes(dir.file("full.wav"), test::ReadBytes(dir.file("old.wav")));
                test::WriteBytes(dir.file("cut.wav"), test::ReadBytes(dir.file("old.wav")));
            } else {
                std::filesystem::remove(dir.file("full.wav"));
                std::filesystem::remove(dir.file("cut.wav"));
            }
            ASSERT_EQ(Cli(args("full.wav")).status, 0);
            const Bytes full = test::ReadBytes(dir.file("full.wav"));
            // Audio of the old recording an insertion moves on, after the new audio.
            const std::uint32_t moved = c.inserts ? oldData - c.at : 0;
            // Past the point (beyond the old end for an overwrite, so that it is surely
            // under way); short of the end, so that the kill comes while it records.
            const std::uint32_t target = std::min(c.at + 2 * std::uniform_int_distribution<std::uint32_t>(1000, 12000)(random),
                                                  U32(full, 40) - moved - kBytesPerSecond / 2);

            const bool spooled = c.inserts || std::string(media) == "slow";
            const std::uint32_t counted = RecordAndKill(args("cut.wav") + " --realtime", "cut.wav", target, spooled);
            ASSERT_GE(counted, target) << "killed before it recorded as far as wanted";
            if (haveSox && std::string(media) == "fast") {
                EXPECT_EQ(Shell("sox " + Quote(dir.file("cut.wav")) + " -n 2>/dev/null").status, 0)
                    << "sox cannot play what the kill left";
            }
            const Outcome recovered = Cli("recover " + Quote(dir.path()));
            EXPECT_EQ(recovered.status, 0);
            EXPECT_NE(recovered.out.find(dir.file("cut.wav")), std::string::npos) << recovered.out;
            EXPECT_EQ(Cli("recover").out, "") << "a second run finds nothing to do";

            const Bytes cut = test::ReadBytes(dir.file("cut.wav"));
            ASSERT_GE(cut.size(), 44u + moved);
            const std::uint32_t data = U32(cut, 40);
            EXPECT_EQ(cut.size(), 44u + data) << "the reserved tail is gone";
            EXPECT_EQ(U32(cut, 4), cut.size() - 8);
            EXPECT_GE(data - moved + kBytesPerSecond / 2, counted) << "more than half a second lost";
            ASSERT_LE(cut.size(), full.size());
            EXPECT_TRUE(std::equal(cut.begin() + 44, cut.end() - moved, full.begin() + 44))
                << "the audio differs from an uninterrupted run";
            EXPECT_TRUE(std::equal(cut.end() - moved, cut.end(), full.end() - moved))
                << "the old audio after an insertion's point moved wrong";
        }
    }
}

// Marks made while recording survive a kill as the audio does: every mark
// made more than a second before it is in the recovered file, none lies
// beyond its audio, and each is where it was made.
TEST_F(KillRecover, MarksMadeASecondBeforeAKillAreKept) {
    std::string schedule;
    for (std::uint32_t ms = 100; ms < 2000; ms += 100) schedule += " --mark-at-ms " + std::to_string(ms);
    for (const char* media : {"fast", "slow"}) {
        SCOPED_TRACE(media);
        std::filesystem::remove(dir.file("m.wav"));
        const std::string args = "record m.wav --format pcm8k16 --seconds 2 --audio-in in.wav --realtime --media " +
                                 std::string(media) + schedule;
        const std::uint32_t counted = RecordAndKill(args, "m.wav", 3 * kBytesPerSecond / 2, media == std::string("slow"));
        ASSERT_GE(counted, 3 * kBytesPerSecond / 2) << "killed before it recorded as far as wanted";
        ASSERT_EQ(Cli("recover " + Quote(dir.path())).status, 0);
        const Bytes file = test::ReadBytes(dir.file("m.wav"));
        ASSERT_GE(file.size(), 44u);
        const std::uint32_t audioMs = U32(file, 40) * 1000 / kBytesPerSecond;
        const Outcome listed = Cli("marks m.wav");
        ASSERT_EQ(listed.status, 0);
        std::vector<std::uint32_t> marks;
        for (std::size_t at = 0; at < listed.out.size();) {
            const std::size_t tab = listed.out.find('\t', at);
            const std::size_t end = listed.out.find('\n', at);
            if (tab == std::string::npos || end == std::string::npos) break;
            const std::string time = listed.out.substr(tab + 1, 12);  // 00:00:01.300
            marks.push_back(static_cast<std::uint32_t>(std::stoul(time.substr(6, 2)) * 1000 + std::stoul(time.substr(9, 3))));
            at = end + 1;
        }
        const std::uint32_t killedMs = counted * 1000 / kBytesPerSecond;
        for (std::uint32_t ms = 100; ms + 1000 < killedMs; ms += 100)
            EXPECT_NE(std::find(marks.begin(), marks.end(), ms), marks.end()) << "the mark at " << ms << " ms is lost";
        for (std::size_t i = 0; i < marks.size(); ++i) {
            EXPECT_EQ(marks[i], 100 * (i + 1)) << "a mark out of place";
            EXPECT_LE(marks[i], audioMs) << "a mark beyond the audio";
        }
    }
}

// Another program's recovery (the window starting, `recover`, `play`) while
// a recording is being written must leave it alone: it is not unfinished,
// it is in progress.
TEST_F(KillRecover, RecoveryLeavesARecordingInProgressAlone) {
    const std::string args = "record %F --format pcm8k16 --seconds 2 --audio-in in.wav --media ";
    for (const std::string media : {"fast", "slow"}) {
        SCOPED_TRACE(media);
        std::filesystem::remove(dir.file("full.wav"));
        std::filesystem::remove(dir.file("live.wav"));
        auto named = [&](const std::string& file) { return std::string(args).replace(args.find("%F"), 2, file) + media; };
        ASSERT_EQ(Cli(named("full.wav")).status, 0);
        const pid_t child = Start(named("live.wav") + " --realtime");
        ASSERT_GE(WaitUntil("live.wav", kBytesPerSecond / 2, media == "slow"), kBytesPerSecond / 2);
        EXPECT_EQ(Cli("recover").out, "") << "a recording in progress was taken for a crashed one";
        EXPECT_EQ(Cli("play live.wav --audio-out heard.wav 2>&1").out.find("recovered"), std::string::npos);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(test::ReadBytes(dir.file("live.wav")), test::ReadBytes(dir.file("full.wav")))
            << "the recording was disturbed";
    }
}

// Reserved zeros a kill left behind must never pass for part of the recording
// when it is edited or played before anyone ran `recover`.
TEST_F(KillRecover, EditingAKilledRecordingRepairsItFirst) {
    const std::string media = " --audio-in in.wav --media fast";
    const std::uint32_t counted =
        RecordAndKill("record cut.wav --format pcm8k16 --seconds 3 --realtime" + media, "cut.wav", kBytesPerSecond, false);
    ASSERT_GE(counted, kBytesPerSecond);
    ASSERT_GT(test::ReadBytes(dir.file("cut.wav")).size(), 44u + 2 * kBytesPerSecond) << "nothing reserved to cut";

    const Outcome appended = Cli("append cut.wav --seconds 1" + media + " 2>&1");
    EXPECT_EQ(appended.status, 0) << appended.out;
    EXPECT_NE(appended.out.find("recovered " + dir.file("cut.wav")), std::string::npos) << appended.out;
    const Bytes cut = test::ReadBytes(dir.file("cut.wav"));
    const Bytes in = test::ReadBytes(dir.file("in.wav"));
    ASSERT_GE(cut.size(), 44u + counted);
    EXPECT_EQ(cut.size(), 44u + U32(cut, 40));
    EXPECT_TRUE(std::equal(cut.end() - kBytesPerSecond, cut.end(), in.begin() + 44))
        << "the appended second does not follow the recovered audio";
    EXPECT_EQ(Cli("recover").out, "") << "nothing left to repair";
}

// A cut killed at moments spread over its run, on a recording large enough
// that the kill finds it reading, spooling, moving the tail or syncing:
// after `recover` the file is the old recording or the cut one, byte for
// byte (the chunks after the audio included), never a mixture.
TEST_F(KillRecover, AKilledCutRecoversToTheOldOrTheCutRecording) {
    std::vector<std::int16_t> samples(8000 * 300);  // five minutes: 4.8 MB
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(i * 7919 % 65521 - 32760);
    Bytes old = Wav16(samples);
    const Bytes list = {'L', 'I', 'S', 'T', 10, 0, 0, 0, 'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 'x', 'y'};
    old.insert(old.end(), list.begin(), list.end());
    const auto riff = static_cast<std::uint32_t>(old.size() - 8);
    for (int i = 0; i < 4; ++i) old[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
    const std::string range = " --from-ms 60000 --to-ms 120000";
    for (const char* media : {"fast", "slow"}) {
        SCOPED_TRACE(std::string(media) + " media");
        const std::string args = "cut k.wav" + range + " --media " + media;
        test::WriteBytes(dir.file("k.wav"), old);
        const auto began = std::chrono::steady_clock::now();
        ASSERT_EQ(Cli(args).status, 0);
        const auto took = std::chrono::steady_clock::now() - began;
        const Bytes cut = test::ReadBytes(dir.file("k.wav"));
        ASSERT_EQ(cut.size(), old.size() - 60 * kBytesPerSecond);
        int oldSeen = 0, cutSeen = 0;
        for (int k = 1; k <= 4; ++k) {
            SCOPED_TRACE("killed at " + std::to_string(k) + "/5 of a run");
            test::WriteBytes(dir.file("k.wav"), old);
            const pid_t child = Start(args);
            // A process test: the cut runs beside it, killed part way.
            std::this_thread::sleep_for(took * k / 5);
            kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);
            ASSERT_EQ(Cli("recover " + Quote(dir.path())).status, 0);
            EXPECT_EQ(Cli("recover").out, "") << "a second run finds nothing to do";
            const Bytes left = test::ReadBytes(dir.file("k.wav"));
            EXPECT_TRUE(left == old || left == cut) << "neither the old recording nor the cut one ("
                                                    << left.size() << " bytes)";
            oldSeen += left == old;
            cutSeen += left == cut;
            EXPECT_TRUE(std::filesystem::is_empty(state.path() + "/tavrin")) << "recovery left files behind";
        }
        std::printf("%s media: killed cuts left the old recording %d times, the cut one %d times\n", media, oldSeen,
                    cutSeen);
    }
}

}  // namespace
}  // namespace tavrin::cli
