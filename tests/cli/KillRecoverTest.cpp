// tavrin-cli recording into a file on fast media, killed with SIGKILL while it
// records in real time: the file it leaves plays at once, and after
// `tavrin-cli recover` its header is exact and its audio is what an
// uninterrupted run records, up to the moment of the kill less at most half a
// second.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace tavrin::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kBytesPerSecond = 16000;  // PCM 8 kHz 16-bit

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::uint32_t U32(const Bytes& v, std::size_t at) {
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (static_cast<std::uint32_t>(v[at + 3]) << 24);
}

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

struct Outcome {
    int status = -1;
    std::string out;
};

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

    static Outcome Shell(const std::string& command) {
        Outcome run;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return run;
        char buffer[4096];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
        const int wait = pclose(pipe);
        run.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
        return run;
    }

    // Starts `args` in real time and kills it once the file's header counts
    // at least `audioBytes` of audio; answers what the header counted then.
    std::uint32_t RecordAndKill(const std::string& args, const std::string& file, std::uint32_t audioBytes) {
        const pid_t child = fork();
        if (child == 0) {
            setenv("XDG_STATE_HOME", state.path().c_str(), 1);
            if (chdir(dir.path().c_str()) != 0) _exit(127);
            execl("/bin/sh", "sh", "-c", ("exec " + Quote(TAVRIN_CLI_PATH) + " " + args + " >/dev/null 2>&1").c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        std::uint32_t counted = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            const Bytes head = ReadPrefix(dir.file(file), 44);
            if (head.size() == 44 && (counted = U32(head, 40)) >= audioBytes) break;
            // A process test: the recording runs in real time beside it.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill(child, SIGKILL);  // the shell exec'd the tool: it is the child
        int status = 0;
        waitpid(child, &status, 0);
        const Bytes head = ReadPrefix(dir.file(file), 44);
        return head.size() == 44 ? U32(head, 40) : 0;
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

struct Case {
    const char* name;
    const char* command;  // what is killed; %F is the file
    bool fromOld;         // edits start from the uninterrupted recording
};

TEST_F(KillRecover, AKilledRecordingPlaysAtOnceAndRecoversToThePrefixOfAnUninterruptedRun) {
    const std::string common = " --audio-in in.wav --media fast";
    ASSERT_EQ(Cli("record old.wav --format pcm8k16 --seconds 2" + common).status, 0);
    const Case cases[] = {
        {"record", "record %F --format pcm8k16 --seconds 2", false},
        {"append", "append %F --seconds 2", true},
        {"overwrite", "overwrite %F --at-ms 600 --seconds 2", true},
    };
    std::mt19937 random(12);
    const bool haveSox = Shell("command -v sox >/dev/null 2>&1").status == 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto args = [&](const std::string& file) {
            std::string a = c.command;
            a.replace(a.find("%F"), 2, file);
            return a + common;
        };
        if (c.fromOld) {
            test::WriteBytes(dir.file("full.wav"), test::ReadBytes(dir.file("old.wav")));
            test::WriteBytes(dir.file("cut.wav"), test::ReadBytes(dir.file("old.wav")));
        }
        ASSERT_EQ(Cli(args("full.wav")).status, 0);
        const Bytes full = test::ReadBytes(dir.file("full.wav"));
        const std::uint32_t start = c.fromOld ? U32(test::ReadBytes(dir.file("old.wav")), 40) : 0;
        // Past the old recording's length, so that an overwrite is surely under way;
        // short of the end, so that the kill comes while it records.
        const std::uint32_t target = std::min(start + 2 * std::uniform_int_distribution<std::uint32_t>(1000, 12000)(random),
                                              U32(full, 40) - kBytesPerSecond / 2);

        const std::uint32_t counted = RecordAndKill(args("cut.wav") + " --realtime", "cut.wav", target);
        ASSERT_GE(counted, target) << "killed before it recorded as far as wanted";
        if (haveSox) {
            EXPECT_EQ(Shell("sox " + Quote(dir.file("cut.wav")) + " -n 2>/dev/null").status, 0)
                << "sox cannot play what the kill left";
        }
        const Outcome recovered = Cli("recover " + Quote(dir.path()));
        EXPECT_EQ(recovered.status, 0);
        EXPECT_NE(recovered.out.find(dir.file("cut.wav")), std::string::npos) << recovered.out;
        EXPECT_EQ(Cli("recover").out, "") << "a second run finds nothing to do";

        const Bytes cut = test::ReadBytes(dir.file("cut.wav"));
        ASSERT_GE(cut.size(), 44u);
        const std::uint32_t data = U32(cut, 40);
        EXPECT_EQ(cut.size(), 44u + data) << "the reserved tail is gone";
        EXPECT_EQ(U32(cut, 4), cut.size() - 8);
        EXPECT_GE(data + kBytesPerSecond / 2, counted) << "more than half a second lost";
        ASSERT_LE(cut.size(), full.size());
        EXPECT_TRUE(std::equal(cut.begin() + 44, cut.end(), full.begin() + 44))
            << "the audio differs from an uninterrupted run";
    }
}

}  // namespace
}  // namespace tavrin::cli
