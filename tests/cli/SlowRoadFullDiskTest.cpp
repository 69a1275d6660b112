// tavrin-cli on a network-like folder (a FUSE mount of a small tmpfs) that
// another program fills while a recording or an edit runs in real time, in
// every format. The tool must say that the volume is full and where the
// audio waits; the file holds what fitted, under an exact header; recovery
// keeps journal and spool while the volume is still full, and writes the
// audio complete once there is room. Also killed runs on the full volume, and
// two tools editing one recording at once, on this folder and a local one.
//
// Mounting needs root (or a user allowed to mount) and /dev/fuse, with
// bindfs installed; where that is missing the tests skip, saying why.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "CliRun.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace tavrin::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Quote;
using test::Shell;

struct OnDiskFormat {
    const char* code;
    std::uint32_t bytesPerSecond;
    std::uint32_t block;
    std::uint32_t header;
};

constexpr OnDiskFormat kOnDiskFormats[] = {{"gsm", 1625, 65, 60},      {"pcm8k8", 8000, 1, 44},
                                           {"pcm8k16", 16000, 2, 44},  {"pcm11k8", 11025, 1, 44},
                                           {"pcm11k16", 22050, 2, 44}, {"pcm22k16", 44100, 2, 44}};

// The header of a recording this program wrote, checked against the file:
// the RIFF size covers the file, the data size its audio (whole blocks), a
// GSM fact value the blocks. Empty when it is exact; else what is wrong.
std::string HeaderFault(const OnDiskFormat& f, const Bytes& file) {
    if (file.size() < f.header) return "no header";
    const std::uint32_t data = U32(file, f.header - 4);
    if (U32(file, 4) != file.size() - 8) return "RIFF size is not the file's";
    if (data != file.size() - f.header) return "data size is not the audio's";
    if (data % f.block != 0) return "a part block";
    if (f.header == 60 && U32(file, 48) != data / 65) return "fact count is not the blocks'";
    return {};
}

Bytes AudioOf(const OnDiskFormat& f, const Bytes& file) {
    return file.size() < f.header ? Bytes{} : Bytes(file.begin() + f.header, file.end());
}

bool StartsWith(const Bytes& whole, const Bytes& part) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

class SlowRoadFullDisk : public testing::Test {
protected:
    void SetUp() override {
        if (Shell("command -v bindfs >/dev/null 2>&1").status != 0) GTEST_SKIP() << "bindfs is not installed";
        if (access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/fuse to mount through";
        std::filesystem::create_directories(back());
        std::filesystem::create_directories(folder());
        if (Shell("mount -t tmpfs -o size=1m tmpfs " + Quote(back()) + " 2>/dev/null").status != 0)
            GTEST_SKIP() << "mounting a tmpfs is not permitted here";
        tmpfsMounted = true;
        if (Shell("bindfs " + Quote(back()) + " " + Quote(folder()) + " 2>/dev/null").status != 0)
            GTEST_SKIP() << "mounting through FUSE (bindfs) is not permitted here";
        fuseMounted = true;
        // A second of a tone that changes, so that every block differs.
        std::vector<std::int16_t> s(8000 * 5);
        for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(9000 * std::sin(i * (0.02 + i * 1e-6)));
        test::WriteBytes(local.file("in.wav"), Wav16(s));
    }

    void TearDown() override {
        if (fuseMounted) (void)Shell("umount " + Quote(folder()) + " || umount -l " + Quote(folder()));
        if (tmpfsMounted) (void)Shell("umount " + Quote(back()) + " || umount -l " + Quote(back()));
    }

    std::string back() const { return scratch.file("back"); }
    std::string folder() const { return scratch.file("fuse"); }
    std::string stateFolder() const { return state.path() + "/tavrin"; }

    static Bytes Wav16(const std::vector<std::int16_t>& samples) {
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
        for (std::int16_t x : samples) le(static_cast<std::uint16_t>(x), 2);
        return v;
    }

    std::string Command(const std::string& args) const {
        return "env XDG_STATE_HOME=" + Quote(state.path()) + " " + Quote(TAVRIN_CLI_PATH) + " " + args;
    }
    // Runs the tool in `where` to its end: its exit status and what it said on stderr.
    test::ShellRun Cli(const std::string& where, const std::string& args) const {
        return Shell("cd " + Quote(where) + " && " + Command(args) + " 2>&1");
    }

    // Starts the tool in `where`; its stderr goes to `log`.
    pid_t Start(const std::string& where, const std::string& args, const std::string& log) const {
        const pid_t child = fork();
        if (child == 0) {
            if (chdir(where.c_str()) != 0) _exit(127);
            execl("/bin/sh", "sh", "-c", ("exec " + Command(args) + " >/dev/null 2>" + Quote(log)).c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        return child;
    }
    static int Wait(pid_t child) {
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Waits until a buffered change being recorded holds `bytes` of audio in
    // its spool beside the journal (count at offset 12); false after 10 s.
    bool WaitForSpool(std::uint32_t bytes) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(stateFolder(), error)) {
                if (!entry.path().string().ends_with(".buffer")) continue;
                const Bytes spool = ReadPrefix(entry.path().string(), 16);
                if (spool.size() == 16 && U32(spool, 12) >= bytes) return true;
            }
            // A process test: the recording runs in real time beside it.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // Waits until some change of a recording holds a journal.
    bool WaitForJournal() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(stateFolder(), error))
                if (entry.path().string().ends_with(".journal")) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    std::size_t JournalsLeft() const {
        std::size_t n = 0;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(stateFolder(), error))
            n += entry.path().string().ends_with(".journal") || entry.path().string().ends_with(".buffer");
        return n;
    }

    static Bytes ReadPrefix(const std::string& path, std::size_t n) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return {};
        Bytes out(n);
        out.resize(std::fread(out.data(), 1, n, f));
        std::fclose(f);
        return out;
    }

    // Another program takes the whole volume, then gives back `room` bytes.
    void Fill(std::uint32_t room) const {
        const std::string fill = Quote(back() + "/fill");
        (void)Shell("dd if=/dev/zero of=" + fill + " bs=4096 2>/dev/null; truncate -s -" + std::to_string(room) + " " +
                    fill);
    }
    void Free() const { std::filesystem::remove(back() + "/fill"); }

    test::TempDir scratch;
    test::TempDir local;
    test::TempDir state;
    bool tmpfsMounted = false;
    bool fuseMounted = false;
};

struct Edit {
    const char* name;
    const char* args;  // after the file
};

constexpr Edit kEdits[] = {{"record", nullptr},
                           {"append", "--seconds 2"},
                           {"overwrite", "--at-ms 1000 --seconds 2"},
                           {"insert", "--at-ms 500 --seconds 2"}};

// A change that runs out of room: every format, every edit, each on a volume
// of its own (a case records for seconds in real time, so they run side by side).
class SlowRoadFullDiskChange : public SlowRoadFullDisk,
                               public testing::WithParamInterface<std::tuple<OnDiskFormat, Edit>> {};

TEST_P(SlowRoadFullDiskChange, AFullVolumeKeepsWhatFitsAndRecoveryWritesTheRestOnceThereIsRoom) {
    const auto& [f, e] = GetParam();
    const std::string input = " --audio-in " + Quote(local.file("in.wav"));
    const bool record = e.args == nullptr;
    const std::string args = record ? "record x.wav --format " + std::string(f.code) + " --seconds 2"
                                    : std::string(e.name) + " x.wav " + e.args;
    if (!record) {
        // The recording the edit starts from, made in both places.
        const std::string old = "record x.wav --seconds 2 --format " + std::string(f.code) + input;
        ASSERT_EQ(Cli(local.path(), old + " --media slow").status, 0);
        ASSERT_EQ(Cli(folder(), old).status, 0);
    }
    ASSERT_EQ(Cli(local.path(), args + input + " --media slow").status, 0);
    const Bytes whole = test::ReadBytes(local.file("x.wav"));
    const Bytes before = record ? Bytes{} : test::ReadBytes(folder() + "/x.wav");

    // Less room than the change needs, a page or two at most: some of the new audio may fit.
    const std::uint32_t room = 4096 * (f.bytesPerSecond / 16384);
    const std::string log = local.file("log");
    const pid_t tool = Start(folder(), args + input + " --realtime", log);
    ASSERT_TRUE(WaitForSpool(f.bytesPerSecond / 2)) << "the change never got going";
    Fill(room);
    EXPECT_EQ(Wait(tool), 1);
    const std::string said = Shell("cat " + Quote(log)).out;
    EXPECT_NE(said.find("Not enough storage space"), std::string::npos) << said;
    EXPECT_NE(said.find(".buffer until"), std::string::npos) << "not told where the audio waits: " << said;

    const Bytes kept = test::ReadBytes(folder() + "/x.wav");
    if (!(record && kept.empty())) {
        EXPECT_EQ(HeaderFault(f, kept), "");
        // The old audio before the point, then as much of the new as fitted, then
        // (an insertion) the old audio after the point.
        const Bytes keptAudio = AudioOf(f, kept);
        const Bytes wholeAudio = AudioOf(f, whole);
        const std::size_t after = std::string(e.name) == "insert" ? AudioOf(f, before).size() - 500 * f.bytesPerSecond / 1000 / f.block * f.block : 0;
        ASSERT_LE(keptAudio.size(), wholeAudio.size());
        EXPECT_TRUE(StartsWith(wholeAudio, Bytes(keptAudio.begin(), keptAudio.end() - static_cast<std::ptrdiff_t>(after))));
        EXPECT_TRUE(std::equal(keptAudio.end() - static_cast<std::ptrdiff_t>(after), keptAudio.end(), wholeAudio.end() - static_cast<std::ptrdiff_t>(after)));
    }
    const test::ShellRun full = Cli(folder(), "recover");
    EXPECT_EQ(full.status, 1) << full.out;
    EXPECT_NE(full.out.find("stays in"), std::string::npos) << full.out;
    EXPECT_EQ(JournalsLeft(), 2u) << "recovery on a full volume let go of the journal or its spool";

    Free();
    const test::ShellRun recovered = Cli(folder(), "recover");
    EXPECT_EQ(recovered.status, 0) << recovered.out;
    EXPECT_EQ(test::ReadBytes(folder() + "/x.wav"), whole) << "not the change an uninterrupted run makes";
    EXPECT_EQ(JournalsLeft(), 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryFormatAndEdit, SlowRoadFullDiskChange,
                         testing::Combine(testing::ValuesIn(kOnDiskFormats), testing::ValuesIn(kEdits)),
                         [](const auto& param) {
                             return std::string(std::get<0>(param.param).code) + "_" + std::get<1>(param.param).name;
                         });

// Killed after the volume filled up: nothing of the audio is lost either.
TEST_F(SlowRoadFullDisk, AKillOnAFullVolumeIsRecoveredOnceThereIsRoom) {
    for (const OnDiskFormat& f : {kOnDiskFormats[0], kOnDiskFormats[2], kOnDiskFormats[5]}) {
        SCOPED_TRACE(f.code);
        Free();
        std::filesystem::remove(folder() + "/x.wav");
        std::filesystem::remove(local.file("x.wav"));
        const std::string args = "record x.wav --format " + std::string(f.code) + " --seconds 3 --audio-in " +
                                 Quote(local.file("in.wav"));
        ASSERT_EQ(Cli(local.path(), args + " --media slow").status, 0);
        const Bytes whole = test::ReadBytes(local.file("x.wav"));

        const pid_t tool = Start(folder(), args + " --realtime", local.file("log"));
        ASSERT_TRUE(WaitForSpool(f.bytesPerSecond / 2));
        Fill(0);
        ASSERT_TRUE(WaitForSpool(f.bytesPerSecond));
        kill(tool, SIGKILL);
        (void)Wait(tool);

        EXPECT_EQ(Cli(folder(), "recover").status, 1) << "nothing to write it into";
        EXPECT_EQ(JournalsLeft(), 2u);
        Free();
        EXPECT_EQ(Cli(folder(), "recover").status, 0);
        const Bytes cut = test::ReadBytes(folder() + "/x.wav");
        EXPECT_EQ(HeaderFault(f, cut), "");
        EXPECT_GE(AudioOf(f, cut).size() + f.bytesPerSecond / 2, f.bytesPerSecond) << "more than half a second lost";
        EXPECT_TRUE(StartsWith(AudioOf(f, whole), AudioOf(f, cut))) << "not a prefix of an uninterrupted run";
        EXPECT_EQ(JournalsLeft(), 0u);
    }
}

// Two tools appending to one recording a second apart, on the FUSE folder
// (slow road) and a local one (fast road): the second is refused at once and
// changes nothing; the first finishes as if alone, and a kill of the first
// is still recovered (its journal was left alone).
TEST_F(SlowRoadFullDisk, ASecondWriterIsRefusedAndTheFirstKeepsItsJournal) {
    for (const bool killed : {false, true}) {
        for (const std::string& where : {folder(), local.path()}) {
            SCOPED_TRACE(where + (killed ? ", first killed" : ""));
            Free();
            std::filesystem::remove(where + "/x.wav");
            const std::string input = " --audio-in " + Quote(local.file("in.wav"));
            ASSERT_EQ(Cli(where, "record x.wav --format pcm8k16 --seconds 1" + input).status, 0);
            const Bytes old = test::ReadBytes(where + "/x.wav");
            const pid_t first = Start(where, "append x.wav --seconds 3 --realtime" + input, local.file("first"));
            ASSERT_TRUE(WaitForJournal());
            const test::ShellRun second = Cli(where, "append x.wav --seconds 3 --realtime" + input);
            EXPECT_EQ(second.status, 1);
            EXPECT_NE(second.out.find("being changed by another program"), std::string::npos) << second.out;
            if (killed) {
                kill(first, SIGKILL);
                (void)Wait(first);
                EXPECT_EQ(Cli(where, "recover").status, 0);
            } else {
                EXPECT_EQ(Wait(first), 0);
            }
            const Bytes now = test::ReadBytes(where + "/x.wav");
            const OnDiskFormat f = kOnDiskFormats[2];
            EXPECT_EQ(HeaderFault(f, now), "");
            EXPECT_TRUE(StartsWith(AudioOf(f, now), AudioOf(f, old)));
            const std::size_t added = AudioOf(f, now).size() - AudioOf(f, old).size();
            if (killed) {
                EXPECT_LT(added, 3u * f.bytesPerSecond);
            } else {
                EXPECT_EQ(added, 3u * f.bytesPerSecond) << "the first append's audio, once";
            }
            EXPECT_EQ(JournalsLeft(), 0u);
        }
    }
}

}  // namespace
}  // namespace tavrin::cli
