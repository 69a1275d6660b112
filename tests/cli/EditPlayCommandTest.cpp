// tavrin-cli append, insert, overwrite, play and capacity, run as a user runs
// them: separate processes over real files, WAV files as microphone and
// speaker. Every edit is checked against a model built from the recording
// before it and a fresh recording of the same input, and playback against
// what the recording holds.
#include <gsm.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace tavrin::cli {
namespace {

using test::Quote;

using Bytes = std::vector<std::uint8_t>;

// The audio of a recording written by the program: after the 44-byte PCM or
// 60-byte GSM header.
Bytes AudioOf(const Bytes& file) {
    const std::size_t header = file.size() > 20 && file[20] == 0x31 ? 60 : 44;
    if (file.size() < header) return {};
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(header), file.end());
}

// What a GSM recording sounds like: its 65-byte blocks decoded to 16-bit
// samples, as a speaker gets them.
Bytes DecodeGsm(const Bytes& audio) {
    gsm decoder = gsm_create();
    int on = 1;
    gsm_option(decoder, GSM_OPT_WAV49, &on);
    Bytes pcm;
    gsm_signal frame[160];
    for (std::size_t at = 0; at + 65 <= audio.size(); at += 65) {
        Bytes block(audio.begin() + static_cast<std::ptrdiff_t>(at),
                    audio.begin() + static_cast<std::ptrdiff_t>(at + 65));
        for (int half = 0; half < 2; ++half) {
            gsm_decode(decoder, block.data() + 33 * half, frame);
            for (gsm_signal s : frame) {
                pcm.push_back(static_cast<std::uint8_t>(s));
                pcm.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8));
            }
        }
    }
    gsm_destroy(decoder);
    return pcm;
}

// Three seconds of a sweep at 8 kHz, 16-bit: every stretch of it differs.
Bytes SweepWav() {
    std::vector<std::int16_t> samples(24000);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(9000 * std::sin(i * (0.05 + i * 0.00002)));
    }
    Bytes v = {'R', 'I', 'F', 'F'};
    Le(v, 36 + 2 * static_cast<std::uint32_t>(samples.size()), 4);
    for (char c : std::string("WAVEfmt ")) v.push_back(static_cast<std::uint8_t>(c));
    for (std::uint32_t x : {16u, 1u | (1u << 16), 8000u, 16000u, 2u | (16u << 16)}) Le(v, x, 4);
    for (char c : std::string("data")) v.push_back(static_cast<std::uint8_t>(c));
    Le(v, 2 * static_cast<std::uint32_t>(samples.size()), 4);
    for (std::int16_t s : samples) Le(v, static_cast<std::uint16_t>(s), 2);
    return v;
}

// Compares two byte strings without printing them whole: large recordings
// would drown the report (and make the diff slow).
testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
    if (actual == expected) return testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    return testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at byte " << at;
}

struct Format {
    const char* name;
    std::uint32_t bytesPerSecond;
    std::uint32_t align;           // bytes per frame, or per 65-byte GSM block
    std::uint32_t msPerAlign;      // 40 for GSM, 0 for PCM
};

class EditPlayCommand : public testing::Test {
protected:
    void SetUp() override { test::WriteBytes(dir.file("in.wav"), SweepWav()); }

    CliRun Cli(const std::string& args) {
        const std::string errPath = scratch.file("stderr");
        const std::string command =
            "cd " + Quote(dir.path()) + " && " + Quote(TAVRIN_CLI_PATH) + " " + args + " 2>" + Quote(errPath);
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

    Bytes Audio(const std::string& name) { return AudioOf(test::ReadBytes(dir.file(name))); }

    // What a fresh recording of `seconds` of the input holds in `format`.
    Bytes Fresh(const Format& format, const std::string& seconds) {
        std::remove(dir.file("fresh.wav").c_str());
        const CliRun run = Cli(std::string("record fresh.wav --audio-in in.wav --format ") + format.name +
                               " --seconds " + seconds);
        EXPECT_EQ(run.status, 0) << run.err;
        return Audio("fresh.wav");
    }

    static std::size_t OffsetOf(const Format& format, std::uint32_t ms) {
        if (format.msPerAlign) return ms / format.msPerAlign * format.align;
        return static_cast<std::size_t>(format.bytesPerSecond / format.align * 0.001 * ms) * format.align;
    }

    test::TempDir dir;
    test::TempDir scratch;
};

const Format kFormats[] = {{"gsm", 1625, 65, 40},         {"pcm8k8", 8000, 1, 0},   {"pcm8k16", 16000, 2, 0},
                           {"pcm11k8", 11025, 1, 0},      {"pcm11k16", 22050, 2, 0}, {"pcm22k16", 44100, 2, 0}};

// Marks made at given times while recording, then moved by each edit as its
// audio moved: kept by an append, moved on by an insertion, dropped after an
// overwrite's point; in every format family, on both media.
TEST_F(EditPlayCommand, MarksAtGivenTimesFollowEveryEdit) {
    struct Step {
        const char* args;
        const char* listed;
    };
    const Step steps[] = {
        {"record r.wav --seconds 1 --mark-at-ms 800 --mark-at-ms 200",
         "1\t00:00:00.200\tMark 1\n2\t00:00:00.800\tMark 2\n"},
        {"append r.wav --seconds 0.6 --mark-at-ms 400",
         "1\t00:00:00.200\tMark 1\n2\t00:00:00.800\tMark 2\n3\t00:00:01.400\tMark 3\n"},
        {"insert r.wav --at-ms 400 --seconds 0.6 --mark-at-ms 200",
         "1\t00:00:00.200\tMark 1\n2\t00:00:00.600\tMark 4\n3\t00:00:01.400\tMark 2\n4\t00:00:02.000\tMark 3\n"},
        {"overwrite r.wav --at-ms 1200 --seconds 0.6 --mark-at-ms 80",
         "1\t00:00:00.200\tMark 1\n2\t00:00:00.600\tMark 4\n3\t00:00:01.280\tMark 5\n"},
    };
    for (const char* format : {"gsm", "pcm8k8", "pcm8k16"}) {
        for (const char* media : {"slow", "fast"}) {
            SCOPED_TRACE(std::string(format) + " " + media);
            std::remove(dir.file("r.wav").c_str());
            for (const Step& step : steps) {
                SCOPED_TRACE(step.args);
                const bool record = std::string(step.args).rfind("record", 0) == 0;
                const CliRun run = Cli(std::string(step.args) + " --audio-in in.wav --media " + media +
                                       (record ? std::string(" --format ") + format : std::string()));
                ASSERT_EQ(run.status, 0) << run.err;
                const CliRun listed = Cli("marks r.wav");
                EXPECT_EQ(listed.status, 0) << listed.err;
                EXPECT_EQ(listed.out, step.listed);
            }
        }
    }
    const CliRun bad = Cli("record s.wav --audio-in in.wav --mark-at-ms soon");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--mark-at-ms wants whole milliseconds"), std::string::npos) << bad.err;
}

// A cut removes whole blocks and moves the rest back with the marks after
// it; an empty range, or one outside the audio, changes nothing.
TEST_F(EditPlayCommand, CutRemovesTheRangeAndMovesTheMarksAfterIt) {
    const auto dataOf = [](const Bytes& file) {
        const std::size_t header = file.size() > 20 && file[20] == 0x31 ? 60 : 44;
        if (file.size() < header) return Bytes{};
        const std::size_t size = file[header - 4] | file[header - 3] << 8 | file[header - 2] << 16;
        return Bytes(file.begin() + static_cast<std::ptrdiff_t>(header),
                     file.begin() + static_cast<std::ptrdiff_t>(std::min(file.size(), header + size)));
    };
    for (const Format& format : {kFormats[0], kFormats[2]}) {
        for (const char* media : {"slow", "fast"}) {
            SCOPED_TRACE(std::string(format.name) + " " + media);
            std::remove(dir.file("r.wav").c_str());
            ASSERT_EQ(Cli(std::string("record r.wav --seconds 1 --audio-in in.wav --mark-at-ms 200 --mark-at-ms 800 "
                                      "--format ") + format.name + " --media " + media)
                          .status,
                      0);
            const Bytes before = test::ReadBytes(dir.file("r.wav"));
            for (const char* refused : {"--from-ms 600 --to-ms 600", "--from-ms 400 --to-ms 5000", "--from-ms 1200"}) {
                const CliRun run = Cli(std::string("cut r.wav ") + refused + " --media " + media);
                EXPECT_EQ(run.status, 1) << refused;
                EXPECT_NE(run.err.find("nothing was cut"), std::string::npos) << run.err;
                EXPECT_TRUE(SameBytes(test::ReadBytes(dir.file("r.wav")), before)) << refused;
            }
            const CliRun run = Cli(std::string("cut r.wav --from-ms 320 --to-ms 600 --media ") + media);
            ASSERT_EQ(run.status, 0) << run.err;
            Bytes model = dataOf(before);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(OffsetOf(format, 320)),
                        model.begin() + static_cast<std::ptrdiff_t>(OffsetOf(format, 600)));
            EXPECT_TRUE(SameBytes(dataOf(test::ReadBytes(dir.file("r.wav"))), model));
            EXPECT_EQ(Cli("marks r.wav").out, "1\t00:00:00.200\tMark 1\n2\t00:00:00.520\tMark 2\n");
            const CliRun toEnd = Cli(std::string("cut r.wav --from-ms 400 --media ") + media);
            ASSERT_EQ(toEnd.status, 0) << toEnd.err;
            model.resize(OffsetOf(format, 400));
            EXPECT_TRUE(SameBytes(dataOf(test::ReadBytes(dir.file("r.wav"))), model)) << "to the end";
            EXPECT_EQ(Cli("marks r.wav").out, "1\t00:00:00.200\tMark 1\n");
        }
    }
}

// A format a case: its edits and playback on both media run the tool ten times.
class EditPlayEachFormat : public EditPlayCommand, public testing::WithParamInterface<Format> {};

TEST_P(EditPlayEachFormat, EditsMatchTheModelAndPlaybackPlaysExactlyTheRecording) {
    const Format& format = GetParam();
    for (const char* media : {"slow", "fast"}) {
        SCOPED_TRACE(std::string(format.name) + " " + media);
        const std::string common = std::string(" --audio-in in.wav --media ") + media;
        std::remove(dir.file("r.wav").c_str());
        ASSERT_EQ(Cli(std::string("record r.wav --seconds 1 --format ") + format.name + " --media " + media +
                      " --audio-in in.wav")
                      .status,
                  0);
        Bytes model = Audio("r.wav");
        const Bytes added = Fresh(format, "0.6");
        ASSERT_FALSE(added.empty());

        CliRun run = Cli("append r.wav --seconds 0.6" + common);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "AppendRecordStart\nAppendRecordEnd\nAppendFileReady\n");
        model.insert(model.end(), added.begin(), added.end());
        EXPECT_TRUE(SameBytes(Audio("r.wav"), model)) << "append";

        run = Cli("insert r.wav --at-ms 400 --seconds 0.6" + common);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "PosSet\nInsertRecordStart\nInsertRecordEnd\nInsertFileReady\n");
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(OffsetOf(format, 400)), added.begin(), added.end());
        EXPECT_TRUE(SameBytes(Audio("r.wav"), model)) << "insert";

        run = Cli("overwrite r.wav --at-ms 1200 --seconds 0.6" + common);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "PosSet\nOverwriteRecordStart\nOverwriteRecordEnd\nOverwriteFileReady\n");
        model.resize(OffsetOf(format, 1200));
        model.insert(model.end(), added.begin(), added.end());
        EXPECT_TRUE(SameBytes(Audio("r.wav"), model)) << "overwrite";

        std::remove(dir.file("out.wav").c_str());
        run = Cli(std::string("play r.wav --audio-out out.wav --media ") + media);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "PlayStart\nPlayEnd\n");
        const Bytes played = AudioOf(test::ReadBytes(dir.file("out.wav")));
        EXPECT_TRUE(SameBytes(played, format.msPerAlign ? DecodeGsm(model) : model)) << "play";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, EditPlayEachFormat, testing::ValuesIn(kFormats),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(EditPlayCommand, PlayFromAndToPlaysThatStretch) {
    ASSERT_EQ(Cli("record r.wav --seconds 2.5 --format pcm8k16 --audio-in in.wav").status, 0);
    const Bytes audio = Audio("r.wav");
    // At the pace of the audio, as a speaker plays it; as fast as possible the
    // whole recording may be through before the position is looked at.
    const CliRun run = Cli("play r.wav --from-ms 500 --to-ms 1500 --audio-out out.wav --realtime");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "PosSet\nPlayStart\nPlayEnd\n");
    const Bytes played = AudioOf(test::ReadBytes(dir.file("out.wav")));
    // The position is where reading stands, up to two 200 ms blocks ahead of
    // what was heard; the stop drops what is still queued.
    ASSERT_GE(played.size(), 16000u - 2 * 3200u);
    EXPECT_LE(played.size(), 16000u + 2 * 3200u);
    EXPECT_TRUE(std::equal(played.begin(), played.end(), audio.begin() + 8000));
}

// Written as fast as it goes, a file is cut exactly where asked: whole blocks
// from the seek to --to-ms, never the rest of the recording.
TEST_F(EditPlayCommand, PlayToAFileTakesExactlyTheStretch) {
    ASSERT_EQ(Cli("record p.wav --seconds 2.5 --format pcm8k16 --audio-in in.wav").status, 0);
    ASSERT_EQ(Cli("record g.wav --seconds 2.5 --format gsm --audio-in in.wav").status, 0);
    const Bytes audio = Audio("p.wav");
    struct Case {
        const char* args;
        std::size_t bytes;
    };
    for (const Case& c : {Case{"p.wav --from-ms 500 --to-ms 1500", 16000}, Case{"p.wav --to-ms 250", 4000},
                          Case{"g.wav --from-ms 400 --to-ms 1200", 20 * 640},
                          Case{"p.wav --from-ms 1500 --to-ms 1000", 0}}) {
        SCOPED_TRACE(c.args);
        const CliRun run = Cli(std::string("play ") + c.args + " --audio-out out.wav");
        ASSERT_EQ(run.status, 0) << run.err;
        const Bytes played = AudioOf(test::ReadBytes(dir.file("out.wav")));
        EXPECT_EQ(played.size(), c.bytes);
    }
    ASSERT_EQ(Cli("play p.wav --from-ms 500 --to-ms 1500 --audio-out out.wav").status, 0);
    const Bytes played = AudioOf(test::ReadBytes(dir.file("out.wav")));
    ASSERT_EQ(played.size(), 16000u);
    EXPECT_TRUE(std::equal(played.begin(), played.end(), audio.begin() + 8000));
}

TEST_F(EditPlayCommand, FailuresShowTheMessageAndChangeNothing) {
    ASSERT_EQ(Cli("record r.wav --seconds 1 --format pcm8k8 --audio-in in.wav").status, 0);
    const Bytes before = test::ReadBytes(dir.file("r.wav"));
    test::WriteBytes(dir.file("notes.wav"), std::string(200, '#'));
    test::WriteBytes(dir.file("empty.wav"), std::string());
    struct Case {
        const char* args;
        int status;
        const char* err;
    };
    // Recordings that will not open are told in the window's words, never as codes.
    const Case cases[] = {
        {"play missing.wav --audio-out out.wav", 1, "Tavrin: Recording not found\n"},
        {"append missing.wav --audio-in in.wav", 1, "Tavrin: Recording not found\n"},
        {"play notes.wav --audio-out out.wav", 1, "Tavrin: Can't play - not a WAV file\n"},
        {"insert notes.wav --at-ms 0 --audio-in in.wav", 1, "Tavrin: Can't play - not a WAV file\n"},
        {"cut empty.wav --to-ms 10", 1, "Tavrin: Can't play - the file is empty\n"},
        {"insert r.wav --audio-in in.wav", 2, nullptr},
        {"overwrite r.wav --at-ms x --audio-in in.wav", 2, nullptr},
        {"play r.wav --media medium --audio-out out.wav", 2, nullptr},
        {"play r.wav --audio-in in.wav --audio-out out.wav", 2, nullptr},
        {"capacity", 2, nullptr},
        {"capacity --format pcm44k .", 2, nullptr},
        {"capacity nofolder", 1, "tavrin-cli capacity: nofolder is not a folder\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun run = Cli(c.args);
        EXPECT_EQ(run.status, c.status);
        if (c.err) {
            EXPECT_EQ(run.err, c.err);
        } else {
            EXPECT_NE(run.err.find("Usage: tavrin-cli"), std::string::npos) << run.err;
        }
    }
    EXPECT_EQ(test::ReadBytes(dir.file("r.wav")), before);
    EXPECT_EQ(test::ReadBytes(dir.file("notes.wav")).size(), 200u) << "a refused file is left as it was";
}

TEST_F(EditPlayCommand, CapacityPrintsBothTimesInTheDurationFormat) {
    const CliRun run = Cli("capacity --format pcm8k8 .");
    ASSERT_EQ(run.status, 0) << run.err;
    int h = -1, m = -1, s = -1, total = -1;
    ASSERT_EQ(std::sscanf(run.out.c_str(), "Single recording time: %d:%d:%d (%d s)", &h, &m, &s, &total), 4)
        << run.out;
    EXPECT_EQ(h * 3600 + m * 60 + s, total);
    const std::size_t second = run.out.find("Total recording time: ");
    ASSERT_NE(second, std::string::npos);
    ASSERT_EQ(std::sscanf(run.out.c_str() + second, "Total recording time: %d:%d:%d (%d s)", &h, &m, &s, &total), 4);
    EXPECT_EQ(h * 3600 + m * 60 + s, total);
    EXPECT_GT(total, 0);
}

}  // namespace
}  // namespace tavrin::cli
