// tavrin-cli record and formats, run as a user runs them: separate processes
// over real files, with a WAV file as the microphone.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace tavrin::cli {
namespace {

using test::Quote;

// A mono 16-bit WAV file of `samples`.
std::vector<std::uint8_t> Wav16(std::uint32_t rate, const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> v = {'R', 'I', 'F', 'F'};
    const auto bytes = static_cast<std::uint32_t>(2 * samples.size());
    Le(v, 36 + bytes, 4);
    for (char c : std::string("WAVEfmt ")) v.push_back(static_cast<std::uint8_t>(c));
    Le(v, 16, 4);
    Le(v, 1, 2);
    Le(v, 1, 2);
    Le(v, rate, 4);
    Le(v, rate * 2, 4);
    Le(v, 2, 2);
    Le(v, 16, 2);
    for (char c : std::string("data")) v.push_back(static_cast<std::uint8_t>(c));
    Le(v, bytes, 4);
    for (std::int16_t s : samples) Le(v, static_cast<std::uint16_t>(s), 2);
    return v;
}

std::vector<std::int16_t> Tone(std::size_t n, double amplitude) {
    std::vector<std::int16_t> s(n);
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<std::int16_t>(amplitude * std::sin(i * 0.35));
    return s;
}

class RecordCommand : public testing::Test {
protected:
    void SetUp() override { test::WriteBytes(dir.file("in.wav"), Wav16(8000, Tone(8800, 12000))); }

    CliRun Cli(const std::string& args) {
        const std::string errPath = scratch.file("stderr");
        // A configuration folder of its own: the user's settings must not
        // change what the tool records here.
        const std::string command = "cd " + Quote(dir.path()) + " && XDG_CONFIG_HOME=" + Quote(scratch.path()) + " " +
                                    Quote(TAVRIN_CLI_PATH) + " " + args + " 2>" + Quote(errPath);
        CliRun run;
        const test::ShellRun shell = test::Shell(command);
        if (!shell.started) {
            ADD_FAILURE() << "cannot run " << command;
            return run;
        }
        run.status = shell.status;
        run.out = shell.out;
        const auto err = test::ReadBytes(errPath);
        run.err.assign(err.begin(), err.end());
        return run;
    }

    test::TempDir dir;
    test::TempDir scratch;
};

TEST_F(RecordCommand, GsmByDefaultForTheInputLengthRoundedUpToWholeBuffers) {
    const CliRun run = Cli("record out.wav --audio-in in.wav");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "RecordStart\nRecordEnd\nFileReady\n");
    const auto file = test::ReadBytes(dir.file("out.wav"));
    ASSERT_EQ(file.size(), 60u + 6u * 325u) << "1.1 s of input: six 200 ms buffers";
    EXPECT_EQ(file[20], 0x31);
    EXPECT_EQ(U32(file, 48), 30u);
}

TEST_F(RecordCommand, PcmInTheInputsFormatPassesThroughForTheAskedSeconds) {
    const CliRun run = Cli("record out.wav --audio-in in.wav --format pcm8k16 --seconds 0.4");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto file = test::ReadBytes(dir.file("out.wav"));
    const auto input = test::ReadBytes(dir.file("in.wav"));
    ASSERT_EQ(file.size(), 44u + 6400u);
    EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), input.begin() + 44));
}

TEST_F(RecordCommand, FormatsByCodeLabelAndShortName) {
    struct Case {
        const char* format;
        std::uint32_t rate;
        std::uint8_t bits;
    };
    // A label as a person types it: any spacing, any case.
    for (const Case& c : {Case{"0x20000000", 8000, 8}, Case{"'PCM 11kHz 16-Bit'", 11025, 16},
                          Case{"pcm22k16", 22050, 16}, Case{"0x1", 11025, 8}, Case{"'PCM 8kHz 8-Bit'", 8000, 8},
                          Case{"'pcm  8KHZ  16-bit'", 8000, 16}, Case{"PCM22K16", 22050, 16}}) {
        SCOPED_TRACE(c.format);
        std::remove(dir.file("out.wav").c_str());
        const CliRun run = Cli(std::string("record out.wav --audio-in in.wav --seconds 0.2 --format ") + c.format);
        ASSERT_EQ(run.status, 0) << run.err;
        const auto file = test::ReadBytes(dir.file("out.wav"));
        ASSERT_GE(file.size(), 44u);
        EXPECT_EQ(U32(file, 24), c.rate);
        EXPECT_EQ(file[34], c.bits);
        EXPECT_EQ(U32(file, 40), c.rate * c.bits / 8 / 5);
    }
}

TEST_F(RecordCommand, HelpFitsEightyColumnsInAlignedColumnsAndVersionIsOneLine) {
    const CliRun help = Cli("--help");
    EXPECT_EQ(help.status, 0);
    std::size_t summaryColumn = 0;
    int commands = 0;
    bool inCommands = false;
    for (std::size_t at = 0, end; (end = help.out.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = help.out.substr(at, end - at);
        EXPECT_LE(line.size(), 79u) << line;
        if (line == "Commands:") inCommands = true;
        if (!inCommands || line.rfind("  ", 0) != 0) {
            if (line.empty()) inCommands = false;
            continue;
        }
        // "  name   summary": every summary starts in the same column.
        const std::size_t column = line.find_first_not_of(' ', line.find(' ', 2));
        if (summaryColumn == 0) summaryColumn = column;
        EXPECT_EQ(column, summaryColumn) << line;
        ++commands;
    }
    EXPECT_GE(commands, 8);
    const CliRun version = Cli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("tavrin-cli 1.", 0), 0u) << version.out;
    EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1);
}

TEST_F(RecordCommand, VoiceActivationAndSilenceCutAreReported) {
    std::vector<std::int16_t> samples(8000 * 6, 0);  // 1 s silence, 1 s tone, 4 s silence
    const auto tone = Tone(8000, 20000);
    std::copy(tone.begin(), tone.end(), samples.begin() + 8000);
    test::WriteBytes(dir.file("pause.wav"), Wav16(8000, samples));
    const CliRun run = Cli("record out.wav --audio-in pause.wav --format pcm8k16 --voice-activation 10 "
                        "--silence-cut 5 --silence-seconds 1");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "RecordStart\nRecordActivated\nSilenceCut\nRecordEnd\nFileReady\n");
    // Activation drops its block: 4 tone blocks; the 20 silent blocks keep the second asked for: 5 blocks.
    EXPECT_EQ(test::ReadBytes(dir.file("out.wav")).size(), 44u + 9u * 3200u);
}

// Without flags the tool records as the window would, with the recording
// options of the program's settings file; a flag overrides its option.
TEST_F(RecordCommand, StoredRecordingOptionsAreTheDefaultsAndFlagsOverrideThem) {
    std::vector<std::int16_t> samples(8000 * 6, 0);  // 1 s silence, 1 s tone, 4 s silence
    const auto tone = Tone(8000, 20000);
    std::copy(tone.begin(), tone.end(), samples.begin() + 8000);
    test::WriteBytes(dir.file("pause.wav"), Wav16(8000, samples));
    std::filesystem::create_directories(scratch.file("Korvel Software"));
    test::WriteBytes(scratch.file("Korvel Software/Tavrin.conf"),
                     std::string("[Recording%20Options]\nFormat=1073741824\nVoice%20Activation=1\n"
                                 "Activation%20Level=10\nSilence%20Cut=1\nSilence%20Level=5\n"
                                 "Silence%20Seconds=1\n"));
    struct Case {
        const char* flags;
        const char* events;
        std::size_t blocks;
    };
    const Case cases[] = {
        {"", "RecordStart\nRecordActivated\nSilenceCut\nRecordEnd\nFileReady\n", 9},
        {"--silence-seconds 2", "RecordStart\nRecordActivated\nSilenceCut\nRecordEnd\nFileReady\n", 14},
        {"--voice-activation off", "RecordStart\nSilenceCut\nRecordEnd\nFileReady\n", 15},
        {"--voice-activation off --silence-cut off", "RecordStart\nRecordEnd\nFileReady\n", 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        std::remove(dir.file("out.wav").c_str());
        const CliRun run = Cli(std::string("record out.wav --audio-in pause.wav --format pcm8k16 ") + c.flags);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, c.events);
        EXPECT_EQ(test::ReadBytes(dir.file("out.wav")).size(), 44u + c.blocks * 3200u);
    }
}

// The time limit ends the recording after that many minutes of the
// microphone, from the flag or from the settings file.
TEST_F(RecordCommand, TimeLimitStopsAfterItsMinutes) {
    test::WriteBytes(dir.file("long.wav"), Wav16(8000, Tone(8000 * 70, 12000)));
    std::filesystem::create_directories(scratch.file("Korvel Software"));
    struct Case {
        const char* stored;
        const char* flags;
        std::size_t seconds;
    };
    const Case cases[] = {
        {"", "--time-limit 1", 60},
        {"Time%20Limit=1\nTime%20Limit%20Minutes=1\n", "", 60},
        {"Time%20Limit=1\nTime%20Limit%20Minutes=1\n", "--time-limit off", 70},
        {"Time%20Limit=0\nTime%20Limit%20Minutes=1\n", "--seconds 2", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + c.flags);
        std::remove(dir.file("out.wav").c_str());
        test::WriteBytes(scratch.file("Korvel Software/Tavrin.conf"), std::string("[Recording%20Options]\n") + c.stored);
        const CliRun run = Cli(std::string("record out.wav --audio-in long.wav --format pcm8k8 ") + c.flags);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(test::ReadBytes(dir.file("out.wav")).size(), 44u + c.seconds * 8000u);
    }
    EXPECT_EQ(Cli("record out2.wav --audio-in long.wav --time-limit 0").status, 2);
    EXPECT_EQ(Cli("record out2.wav --audio-in long.wav --time-limit 601").status, 2);
}

TEST_F(RecordCommand, UsageErrorsExitTwoAndRecordNothing) {
    test::WriteBytes(dir.file("taken.wav"), std::string("keep me"));
    std::vector<const char*> cases{
          "record", "record out.wav --audio-in in.wav --format pcm44k", "record out.wav --bogus",
          "record out.wav --audio-in in.wav --seconds 0", "record out.wav --audio-in in.wav --voice-activation 101",
          "record out.wav --audio-in in.wav --silence-seconds 0", "record out.wav --audio-in missing.wav",
          "record a.wav b.wav --audio-in in.wav", "record taken.wav --audio-in in.wav", "formats --verbose"};
#ifndef TAVRIN_CLI_HAS_SOUND_CARD
    // Without a sound card in the build, the microphone must be a file.
    cases.push_back("record out.wav");
#endif
    for (const char* args : cases) {
        SCOPED_TRACE(args);
        const CliRun run = Cli(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("Usage: tavrin-cli"), std::string::npos) << run.err;
        EXPECT_FALSE(test::FileExists(dir.file("out.wav")));
    }
    const auto kept = test::ReadBytes(dir.file("taken.wav"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep me");
#ifndef TAVRIN_CLI_HAS_SOUND_CARD
    EXPECT_NE(Cli("record out.wav").err.find("--audio-in"), std::string::npos) << "says what input is missing";
#endif
}

// A running `tavrin-cli` with its stderr on a pipe.
struct Child {
    pid_t pid = -1;
    int err = -1;
    std::string text;

    // Reads stderr until `line` has been printed or `limit` passed; true when it was.
    bool readUntil(const std::string& line, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (text.find(line) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            pollfd p{err, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            char buffer[512];
            const ssize_t got = read(err, buffer, sizeof buffer);
            if (got <= 0) return false;
            text.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }
};

Child Spawn(const std::string& folder, const std::vector<std::string>& args) {
    int ends[2];
    if (pipe(ends) != 0) return {};
    Child child;
    child.pid = fork();
    if (child.pid == 0) {
        dup2(ends[1], 2);
        close(ends[0]);
        if (chdir(folder.c_str()) != 0) _exit(127);
        std::vector<char*> argv{const_cast<char*>(TAVRIN_CLI_PATH)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(TAVRIN_CLI_PATH, argv.data());
        _exit(127);
    }
    close(ends[1]);
    child.err = ends[0];
    return child;
}

// What the session sends at logout, a closed terminal or Ctrl-C: the
// recording stops and is saved whole, with an exact header, on either road,
// also when the signal comes again while saving.
TEST_F(RecordCommand, TerminationSignalsStopAndSaveTheRecording) {
    test::WriteBytes(dir.file("long.wav"), Wav16(8000, Tone(8000 * 20, 12000)));
    const auto input = test::ReadBytes(dir.file("long.wav"));
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        for (const char* media : {"slow", "fast"}) {
            SCOPED_TRACE(std::string(strsignal(signal)) + " " + media);
            std::remove(dir.file("out.wav").c_str());
            Child child = Spawn(dir.path(), {"record", "out.wav", "--audio-in", "long.wav", "--format", "pcm8k16",
                                             "--realtime", "--media", media});
            ASSERT_GT(child.pid, 0);
            ASSERT_TRUE(child.readUntil("RecordStart\n", std::chrono::seconds(20))) << child.text;
            // Let a few blocks be recorded; nothing more is printed until the stop.
            EXPECT_FALSE(child.readUntil("\n\n", std::chrono::milliseconds(600)));
            const auto sent = std::chrono::steady_clock::now();
            kill(child.pid, signal);
            kill(child.pid, signal);
            EXPECT_TRUE(child.readUntil("FileReady\n", std::chrono::seconds(20))) << child.text;
            int status = 0;
            waitpid(child.pid, &status, 0);
            close(child.err);
            EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << child.text;

            const auto file = test::ReadBytes(dir.file("out.wav"));
            ASSERT_GT(file.size(), 44u) << "some audio was recorded before the signal";
            EXPECT_EQ(U32(file, 4), file.size() - 8) << "RIFF size";
            EXPECT_EQ(U32(file, 40), file.size() - 44) << "data size";
            EXPECT_EQ((file.size() - 44) % 3200, 0u) << "whole 200 ms blocks";
            ASSERT_LT(file.size(), input.size());
            EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), input.begin() + 44)) << "the input's beginning";
        }
    }

    // An edit is saved the same way: the old audio, then what was appended before the signal.
    const auto before = test::ReadBytes(dir.file("out.wav"));
    Child child = Spawn(dir.path(), {"append", "out.wav", "--audio-in", "long.wav", "--realtime"});
    ASSERT_TRUE(child.readUntil("AppendRecordStart\n", std::chrono::seconds(20))) << child.text;
    EXPECT_FALSE(child.readUntil("\n\n", std::chrono::milliseconds(600)));
    kill(child.pid, SIGTERM);
    EXPECT_TRUE(child.readUntil("AppendFileReady\n", std::chrono::seconds(20))) << child.text;
    int status = 0;
    waitpid(child.pid, &status, 0);
    close(child.err);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << child.text;
    const auto after = test::ReadBytes(dir.file("out.wav"));
    ASSERT_GT(after.size(), before.size());
    EXPECT_EQ(U32(after, 4), after.size() - 8);
    EXPECT_EQ(U32(after, 40), after.size() - 44);
    EXPECT_TRUE(std::equal(before.begin() + 44, before.end(), after.begin() + 44)) << "the old audio stays";
    EXPECT_TRUE(std::equal(after.begin() + static_cast<std::ptrdiff_t>(before.size()), after.end(), input.begin() + 44))
        << "then the input's beginning";
}

TEST_F(RecordCommand, EngineFailuresShowTheMessageAndExitOne) {
    const CliRun run = Cli("record nofolder/out.wav --audio-in in.wav");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Tavrin: Folder missing. Did you remove storage card?\n");
}

TEST_F(RecordCommand, FormatsListsTheOfferedFormatsInCatalogueOrder) {
    const CliRun listed = Cli("formats --audio-in in.wav");
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.out,
              "GSM  2kB/s\nPCM  8kHz  8-Bit\nPCM 11kHz  8-Bit\nPCM  8kHz 16-Bit\nPCM 11kHz 16-Bit\nPCM 22kHz 16-Bit\n");
    const CliRun none = Cli("formats");
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "Tavrin: Cannot retrieve supported audio formats\n");
}

}  // namespace
}  // namespace tavrin::cli
