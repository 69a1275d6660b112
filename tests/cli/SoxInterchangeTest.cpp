// Files travel both ways between tavrin-cli and sox: what the tool records
// in each of its formats sox reads with the right header fields and decodes
// to the same samples, and what sox writes the tool finds playable, with the
// length sox reports, and plays as sox decodes it. The same with ffmpeg,
// whose files carry other chunks besides the audio.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/Shell.h"
#include "support/TempDir.h"

namespace tavrin::cli {
namespace {

using test::Quote;

using Bytes = std::vector<std::uint8_t>;
using Samples = std::vector<std::int16_t>;

using Outcome = test::ShellRun;
using test::Shell;

bool HaveSox() { return Shell("command -v sox >/dev/null 2>&1").status == 0; }

// Three seconds at 8 kHz of a sweep with a slow swell: every stretch differs,
// and it stays within what a speech codec keeps.
Samples Sweep() {
    Samples s(24000);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double swell = 0.6 + 0.4 * std::sin(i * 0.0013);
        s[i] = static_cast<std::int16_t>(9000 * swell * std::sin(i * (0.05 + i * 0.00002)));
    }
    return s;
}

Bytes WavOf(const Samples& samples) {
    Bytes v = {'R', 'I', 'F', 'F'};
    Le(v, 36 + 2 * static_cast<std::uint32_t>(samples.size()), 4);
    for (char c : std::string("WAVEfmt ")) v.push_back(static_cast<std::uint8_t>(c));
    for (std::uint32_t x : {16u, 1u | (1u << 16), 8000u, 16000u, 2u | (16u << 16)}) Le(v, x, 4);
    for (char c : std::string("data")) v.push_back(static_cast<std::uint8_t>(c));
    Le(v, 2 * static_cast<std::uint32_t>(samples.size()), 4);
    for (std::int16_t s : samples) Le(v, static_cast<std::uint16_t>(s), 2);
    return v;
}

Samples ToSamples(const Bytes& b) {
    Samples s(b.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] = static_cast<std::int16_t>(b[2 * i] | (b[2 * i + 1] << 8));
    }
    return s;
}

// The data chunk of a WAV file, found by walking its chunks.
Bytes DataOf(const Bytes& wav) {
    for (std::size_t at = 12; at + 8 <= wav.size();) {
        const std::uint32_t size = wav[at + 4] | (wav[at + 5] << 8) | (wav[at + 6] << 16) |
                                   (std::uint32_t{wav[at + 7]} << 24);
        if (std::string(wav.begin() + static_cast<std::ptrdiff_t>(at),
                        wav.begin() + static_cast<std::ptrdiff_t>(at + 4)) == "data") {
            const std::size_t end = std::min<std::size_t>(wav.size(), at + 8 + size);
            return Bytes(wav.begin() + static_cast<std::ptrdiff_t>(at + 8),
                         wav.begin() + static_cast<std::ptrdiff_t>(end));
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

// Normalised correlation of `a` with `b`, `b` taken from `shift` samples on.
double CorrelationAt(const Samples& a, const Samples& b, std::size_t shift) {
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size() && i + shift < b.size(); ++i) {
        const double x = a[i];
        const double y = b[i + shift];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// The best correlation over small shifts either way: codecs may delay the
// signal by a few samples.
double Correlation(const Samples& a, const Samples& b) {
    double best = -1;
    for (std::size_t shift = 0; shift < 40; ++shift) {
        best = std::max({best, CorrelationAt(a, b, shift), CorrelationAt(b, a, shift)});
    }
    return best;
}

// A whole number from a one-line JSON object, or -1 when the key is absent.
long JsonNumber(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\":");
    if (at == std::string::npos) return -1;
    return std::strtol(json.c_str() + at + key.size() + 3, nullptr, 10);
}

// The recording formats, with what sox calls their encoding.
struct SoxFormat {
    const char* name;
    std::uint32_t rate;
    int bits;  // 0 for GSM
    const char* soxEncoding;
};
const SoxFormat kSoxFormats[] = {{"gsm", 8000, 0, "GSM"},
                                 {"pcm8k8", 8000, 8, "Unsigned Integer PCM"},
                                 {"pcm8k16", 8000, 16, "Signed Integer PCM"},
                                 {"pcm11k8", 11025, 8, "Unsigned Integer PCM"},
                                 {"pcm11k16", 11025, 16, "Signed Integer PCM"},
                                 {"pcm22k16", 22050, 16, "Signed Integer PCM"}};

class SoxInterchange : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
        input = Sweep();
        test::WriteBytes(dir.file("in.wav"), WavOf(input));
    }

    std::string File(const std::string& name) const { return dir.file(name); }

    // tavrin-cli with `args`, run in the test's folder; its stderr is kept with stdout for failure messages.
    Outcome Cli(const std::string& args) {
        return Shell("cd " + Quote(dir.path()) + " && " + Quote(TAVRIN_CLI_PATH) + " " + args + " 2>&1");
    }

    // One field of `sox --i`, with the surrounding white space taken off.
    std::string SoxInfo(const std::string& file, const char* flag) {
        std::string out = Shell("sox --i " + std::string(flag) + " " + Quote(File(file)) + " 2>&1").out;
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }

    // What sox decodes `file` to, as raw bytes in `encoding` ("" keeps the file's own).
    Bytes SoxDecode(const std::string& file, const std::string& encoding) {
        std::remove(File("decoded.raw").c_str());
        const Outcome run =
            Shell("sox " + Quote(File(file)) + " -t raw " + encoding + " " + Quote(File("decoded.raw")) + " 2>&1");
        EXPECT_EQ(run.status, 0) << run.out;
        return test::FileExists(File("decoded.raw")) ? test::ReadBytes(File("decoded.raw")) : Bytes{};
    }

    test::TempDir dir;
    Samples input;
};

TEST_F(SoxInterchange, SoxReadsWhatTheToolRecordsInEveryFormat) {
    for (const SoxFormat& f : kSoxFormats) {
        SCOPED_TRACE(f.name);
        const std::string file = std::string("rec-") + f.name + ".wav";
        const Outcome rec = Cli("record " + file + " --audio-in in.wav --format " + f.name + " --seconds 2");
        ASSERT_EQ(rec.status, 0) << rec.out;
        const Bytes audio = DataOf(test::ReadBytes(File(file)));
        ASSERT_FALSE(audio.empty());

        EXPECT_EQ(SoxInfo(file, "-r"), std::to_string(f.rate));
        EXPECT_EQ(SoxInfo(file, "-c"), "1");
        EXPECT_EQ(SoxInfo(file, "-e"), f.soxEncoding);
        const std::size_t samples = f.bits ? audio.size() / (f.bits / 8) : audio.size() / 65 * 320;
        EXPECT_EQ(SoxInfo(file, "-s"), std::to_string(samples));

        if (f.bits) {
            EXPECT_TRUE(SoxDecode(file, "") == audio) << "sox decodes other samples than were recorded";
        } else {
            const Samples decoded = ToSamples(SoxDecode(file, "-e signed-integer -b 16"));
            EXPECT_EQ(decoded.size(), samples);
            EXPECT_GT(Correlation(input, decoded), 0.8);
        }
    }
}

// Marks are chunks after the audio: sox reads the recording at its length
// and decodes exactly its audio, after marks made while recording and after
// a cut that moved them.
TEST_F(SoxInterchange, SoxReadsRecordingsWithMarksAtTheirLength) {
    for (const SoxFormat& f : kSoxFormats) {
        SCOPED_TRACE(f.name);
        const std::string file = std::string("marked-") + f.name + ".wav";
        ASSERT_EQ(Cli("record " + file + " --audio-in in.wav --format " + f.name +
                      " --seconds 2 --mark-at-ms 300 --mark-at-ms 1500")
                      .status,
                  0);
        for (const char* step : {"recorded", "cut"}) {
            SCOPED_TRACE(step);
            if (std::string(step) == "cut") {
                ASSERT_EQ(Cli("cut " + file + " --from-ms 400 --to-ms 800").status, 0);
            }
            EXPECT_FALSE(Cli("marks " + file).out.empty()) << "the marks are gone";
            const Bytes audio = DataOf(test::ReadBytes(File(file)));
            const std::size_t samples = f.bits ? audio.size() / (f.bits / 8) : audio.size() / 65 * 320;
            EXPECT_EQ(SoxInfo(file, "-s"), std::to_string(samples));
            if (f.bits) {
                EXPECT_TRUE(SoxDecode(file, "") == audio) << "sox decodes other samples than the file holds";
            }
        }
    }
}

TEST_F(SoxInterchange, TheToolPlaysWhatSoxWrites) {
    struct Encoding {
        const char* sox;
        int bits;  // 0 for GSM
    };
    for (const Encoding& e : {Encoding{"-e gsm-full-rate", 0}, Encoding{"-e unsigned-integer -b 8", 8},
                              Encoding{"-e signed-integer -b 16", 16}}) {
        for (const std::uint32_t rate : {8000u, 11025u, 22050u}) {
            const std::string file = "sox-" + std::to_string(e.bits) + "-" + std::to_string(rate) + ".wav";
            SCOPED_TRACE(file);
            const Outcome made = Shell("sox " + Quote(File("in.wav")) + " -r " + std::to_string(rate) + " -c 1 " +
                                       e.sox + " " + Quote(File(file)) + " 2>&1");
            ASSERT_EQ(made.status, 0) << made.out;
            const long soxSamples = std::strtol(SoxInfo(file, "-s").c_str(), nullptr, 10);
            ASSERT_GT(soxSamples, 0);

            // GSM is recorded and played at 8000 Hz, 1625 bytes/s only; sox
            // writes 2239 or 4479 bytes/s at the other rates. Such a file is
            // called unsupported and refused for playback alike, never played
            // at the wrong speed.
            const bool playable = e.bits || rate == 8000;
            const Outcome info = Cli("info --json " + file);
            EXPECT_EQ(info.status, playable ? 0 : 1) << info.out;
            EXPECT_EQ(JsonNumber(info.out, "result"), playable ? 1 : 2) << info.out;
            EXPECT_EQ(JsonNumber(info.out, "samplesPerSec"), static_cast<long>(rate));
            const long samplesPerBlock = e.bits ? 1 : 320;
            EXPECT_LE(std::labs(JsonNumber(info.out, "lengthInBlocks") * samplesPerBlock - soxSamples),
                      samplesPerBlock)
                << info.out << "sox counts " << soxSamples << " samples";

            std::remove(File("out.wav").c_str());
            const Outcome play = Cli("play " + file + " --audio-out out.wav");
            if (!playable) {
                EXPECT_EQ(play.status, 1);
                EXPECT_EQ(play.out, "Tavrin: Can't play - audio format not supported\n");
                EXPECT_FALSE(test::FileExists(File("out.wav")));
                continue;
            }
            ASSERT_EQ(play.status, 0) << play.out;
            const Bytes played = DataOf(test::ReadBytes(File("out.wav")));
            if (e.bits) {
                EXPECT_TRUE(played == SoxDecode(file, "")) << "played " << played.size() << " bytes";
            } else {
                const Samples soxDecoded = ToSamples(SoxDecode(file, "-e signed-integer -b 16"));
                EXPECT_LE(std::labs(static_cast<long>(played.size() / 2) - static_cast<long>(soxDecoded.size())),
                          320);
                EXPECT_GT(Correlation(soxDecoded, ToSamples(played)), 0.9);
            }
        }
    }
}

// The same both ways with ffmpeg, which puts a LIST chunk before the audio
// (and a pad byte after odd-sized audio): the tool plays what ffmpeg writes
// in each of its formats as ffmpeg decodes it, and what the tool writes and
// edits ffmpeg reads with the right length.
class FfmpegInterchange : public testing::Test {
protected:
    void SetUp() override {
        if (Shell("command -v ffmpeg >/dev/null 2>&1").status != 0) GTEST_SKIP() << "ffmpeg is not installed";
        input = Sweep();
        test::WriteBytes(File("in.wav"), WavOf(input));
    }
    std::string File(const std::string& name) const { return dir.file(name); }
    // tavrin-cli with its journals in the test's folder.
    Outcome Cli(const std::string& args) {
        return Shell("cd " + Quote(dir.path()) + " && XDG_STATE_HOME=" + Quote(File("state")) + " " +
                     Quote(TAVRIN_CLI_PATH) + " " + args + " 2>&1");
    }
    // What ffmpeg decodes `file` to: raw samples in `rawFormat` (u8 or s16le).
    Bytes Decode(const std::string& file, const std::string& rawFormat) {
        std::remove(File("decoded.raw").c_str());
        const Outcome run = Shell("ffmpeg -v error -y -i " + Quote(File(file)) + " -f " + rawFormat + " " +
                                  Quote(File("decoded.raw")) + " 2>&1");
        EXPECT_EQ(run.status, 0) << run.out;
        return test::FileExists(File("decoded.raw")) ? test::ReadBytes(File("decoded.raw")) : Bytes{};
    }
    // Writes `file` with ffmpeg from the test input in format `f`.
    void Make(const std::string& file, const SoxFormat& f) {
        const char* codec = f.bits == 0 ? "gsm_ms" : f.bits == 8 ? "pcm_u8" : "pcm_s16le";
        const Outcome made = Shell("ffmpeg -v error -y -i " + Quote(File("in.wav")) + " -ar " + std::to_string(f.rate) +
                                   " -ac 1 -c:a " + codec + " " + Quote(File(file)) + " 2>&1");
        ASSERT_EQ(made.status, 0) << made.out;
    }

    test::TempDir dir;
    Samples input;
};

TEST_F(FfmpegInterchange, TheToolPlaysWhatFfmpegWritesInEveryFormat) {
    for (const SoxFormat& f : kSoxFormats) {
        SCOPED_TRACE(f.name);
        const std::string file = std::string("ff-") + f.name + ".wav";
        ASSERT_NO_FATAL_FAILURE(Make(file, f));
        const Outcome info = Cli("info --json " + file);
        EXPECT_EQ(JsonNumber(info.out, "result"), 1) << info.out;
        EXPECT_NE(info.out.find(R"("selectable":true)"), std::string::npos) << info.out;
        for (const char* media : {"slow", "fast"}) {
            SCOPED_TRACE(media);
            std::remove(File("out.wav").c_str());
            const Outcome play = Cli("play " + file + " --media " + media + " --audio-out out.wav");
            ASSERT_EQ(play.status, 0) << play.out;
            const Bytes played = DataOf(test::ReadBytes(File("out.wav")));
            if (f.bits) {
                EXPECT_TRUE(played == Decode(file, f.bits == 8 ? "u8" : "s16le")) << "played " << played.size();
            } else {
                const Samples decoded = ToSamples(Decode(file, "s16le"));
                EXPECT_LE(std::labs(static_cast<long>(played.size() / 2) - static_cast<long>(decoded.size())), 320);
                EXPECT_GT(Correlation(decoded, ToSamples(played)), 0.9);
            }
        }
        EXPECT_EQ(Cli("info " + file).status, 0) << "playing left the file as it was";
    }
}

// Samples in what ffmpeg decoded, for a format of `bits` (0: GSM, decoded to 16-bit).
long DecodedSamples(const Bytes& decoded, int bits) { return static_cast<long>(decoded.size()) / (bits == 8 ? 1 : 2); }

// Each format on its own: a format's three edits on both media take seconds.
class FfmpegReadsEdits : public FfmpegInterchange, public testing::WithParamInterface<SoxFormat> {};

TEST_P(FfmpegReadsEdits, FfmpegReadsWhatTheToolRecordsAndEditsWithTheRightLength) {
    const SoxFormat& f = GetParam();
    const std::string own = std::string("own-") + f.name + ".wav";
    const std::string theirs = std::string("ff-") + f.name + ".wav";
    ASSERT_EQ(Cli("record " + own + " --audio-in in.wav --format " + f.name + " --seconds 1").status, 0);
    ASSERT_NO_FATAL_FAILURE(Make(theirs, f));
    const Bytes listBefore = test::ReadBytes(File(theirs));
    for (const std::string& edit : {std::string("append"), std::string("insert --at-ms 300"),
                                    std::string("overwrite --at-ms 600")}) {
        for (const char* media : {"slow", "fast"}) {
            for (const std::string& file : {own, theirs}) {
                SCOPED_TRACE(edit + " " + media + " " + file);
                const Outcome run =
                    Cli(edit + " " + file + " --seconds 0.5 --audio-in in.wav --media " + std::string(media));
                ASSERT_EQ(run.status, 0) << run.out;
                const Bytes wav = test::ReadBytes(File(file));
                const Bytes audio = DataOf(wav);
                const long samples = f.bits ? static_cast<long>(audio.size()) / (f.bits / 8)
                                            : static_cast<long>(audio.size() / 65 * 320);
                const Bytes decoded = Decode(file, f.bits == 8 ? "u8" : "s16le");
                EXPECT_EQ(DecodedSamples(decoded, f.bits), samples);
                if (f.bits) {
                    EXPECT_TRUE(decoded == audio) << "ffmpeg decodes other samples than the file holds";
                }
            }
        }
    }
    // ffmpeg's LIST chunk before the audio stayed where it was, byte for byte.
    const Bytes after = test::ReadBytes(File(theirs));
    const std::size_t listAt = f.bits ? 36 : 52;
    ASSERT_GE(after.size(), listAt + 34);
    EXPECT_TRUE(std::equal(listBefore.begin() + static_cast<std::ptrdiff_t>(listAt),
                           listBefore.begin() + static_cast<std::ptrdiff_t>(listAt + 34),
                           after.begin() + static_cast<std::ptrdiff_t>(listAt)));
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, FfmpegReadsEdits, testing::ValuesIn(kSoxFormats),
                         [](const auto& param) { return std::string(param.param.name); });

// A chunk after the audio, as broadcast and tagging tools leave it: every edit
// on either medium writes it back behind the new end, and ffmpeg and sox
// still read the right length. (Slow media does not insert blocks of odd size
// in front of such a chunk.)
TEST_F(FfmpegInterchange, ChunksAfterTheAudioSurviveEdits) {
    const Bytes list = {'L', 'I', 'S', 'T', 12, 0, 0, 0, 'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 1, 0, 0, 0};
    for (const SoxFormat& f : {kSoxFormats[0], kSoxFormats[3], kSoxFormats[2]}) {
        SCOPED_TRACE(f.name);
        const std::string file = std::string("tagged-") + f.name + ".wav";
        ASSERT_NO_FATAL_FAILURE(Make(file, f));
        Bytes wav = test::ReadBytes(File(file));
        wav.insert(wav.end(), list.begin(), list.end());
        const auto riff = static_cast<std::uint32_t>(wav.size() - 8);
        for (int i = 0; i < 4; ++i) wav[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
        test::WriteBytes(File(file), wav);

        for (const char* media : {"fast", "slow"}) {
            for (const char* edit : {"append", "overwrite --at-ms 300", "insert --at-ms 200"}) {
                SCOPED_TRACE(std::string(edit) + " " + media);
                if (std::string(media) == "slow" && edit[0] == 'i' && f.bits != 16) continue;
                const Outcome run = Cli(std::string(edit) + " " + file + " --seconds 0.5 --audio-in in.wav --media " + media);
                ASSERT_EQ(run.status, 0) << run.out;
                const Bytes now = test::ReadBytes(File(file));
                const Bytes audio = DataOf(now);
                ASSERT_GE(now.size(), list.size());
                EXPECT_TRUE(std::equal(list.begin(), list.end(), now.end() - static_cast<std::ptrdiff_t>(list.size())));
                const std::size_t riffSize = now[4] | now[5] << 8 | now[6] << 16 | std::size_t{now[7]} << 24;
                EXPECT_EQ(riffSize, now.size() - 8) << "the RIFF size covers the chunk";
                const long samples = f.bits ? static_cast<long>(audio.size()) / (f.bits / 8)
                                            : static_cast<long>(audio.size() / 65 * 320);
                EXPECT_EQ(DecodedSamples(Decode(file, f.bits == 8 ? "u8" : "s16le"), f.bits), samples);
                const Outcome sox = Shell("sox --i -s " + Quote(File(file)) + " 2>&1");
                EXPECT_EQ(std::strtol(sox.out.c_str(), nullptr, 10), samples) << sox.out;
                EXPECT_EQ(Shell("ls -A " + Quote(File("state/tavrin")) + " 2>/dev/null").out, "")
                    << "the journal or the chunks' file was left behind";
            }
        }
    }
}

// Every layout of the fixtures, through the tool as a user runs it: played on
// both media as the bytes lie in the file, appended to on both, with every
// chunk before the audio left in place byte for byte (only the sizes and the
// fact value change) and chunks after it kept behind the new end.
TEST_F(FfmpegInterchange, EveryFixtureLayoutPlaysAndTakesAnAppend) {
    struct Layout {
        const char* file;
        int bits;  // 0 for GSM
        std::size_t chunkAfter;  // bytes after the audio, pad byte included
        bool ffmpegReads;        // a missing pad byte throws ffmpeg off
    };
    const Layout layouts[] = {
        {"ffmpeg-pcm-list.wav", 16, 0, true}, {"ffmpeg-gsm-list.wav", 0, 0, true},
        {"gsm-list-between.wav", 0, 0, true}, {"bext-first.wav", 16, 0, true},
        {"odd-chunk-pad.wav", 16, 0, true},   {"odd-chunk-nopad.wav", 16, 0, false},
        {"pcm-fmt18.wav", 16, 0, true},       {"list-after-data.wav", 16, 30, true},
        {"pcm8-odd-pad-list-after.wav", 8, 31, true},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.file);
        const std::string file = l.file;
        const Bytes original = test::ReadBytes(std::string(TAVRIN_FIXTURE_DIR) + "/" + file);
        test::WriteBytes(File(file), original);
        const std::string facts = Cli("info --json " + file).out;
        const auto offset = static_cast<std::size_t>(JsonNumber(facts, "dataOffset"));
        const auto length = static_cast<std::size_t>(JsonNumber(facts, "dataLength"));
        ASSERT_EQ(JsonNumber(facts, "result"), 1) << facts;
        const Bytes audio(original.begin() + static_cast<std::ptrdiff_t>(offset),
                          original.begin() + static_cast<std::ptrdiff_t>(offset + length));
        for (const char* media : {"slow", "fast"}) {
            SCOPED_TRACE(media);
            std::remove(File("out.wav").c_str());
            ASSERT_EQ(Cli("play " + file + " --media " + media + " --audio-out out.wav").status, 0);
            const Bytes played = DataOf(test::ReadBytes(File("out.wav")));
            if (l.bits) {
                EXPECT_TRUE(played == audio) << "played " << played.size() << " of " << audio.size() << " bytes";
            } else {
                EXPECT_EQ(played.size(), length / 65 * 320 * 2);
            }
            EXPECT_TRUE(test::ReadBytes(File(file)) == original) << "playing changes nothing";
        }
        const Outcome fast = Cli("append " + file + " --seconds 0.2 --audio-in in.wav --media fast");
        ASSERT_EQ(fast.status, 0) << fast.out;
        ASSERT_EQ(Cli("append " + file + " --seconds 0.2 --audio-in in.wav --media slow").status, 0);
        const Bytes now = test::ReadBytes(File(file));
        const std::string after = Cli("info --json " + file).out;
        EXPECT_EQ(JsonNumber(after, "result"), 1) << after;
        EXPECT_EQ(JsonNumber(after, "dataOffset"), static_cast<long>(offset));
        const auto grown = static_cast<std::size_t>(JsonNumber(after, "dataLength"));
        EXPECT_GT(grown, length);
        ASSERT_GE(now.size(), offset + grown);
        // Everything before the audio is as it was but for the sizes and a fact value.
        Bytes before(original.begin() + 12, original.begin() + static_cast<std::ptrdiff_t>(offset - 4));
        Bytes beforeNow(now.begin() + 12, now.begin() + static_cast<std::ptrdiff_t>(offset - 4));
        const auto fact = std::search(before.begin(), before.end(), std::begin("fact"), std::end("fact") - 1);
        if (fact != before.end()) {
            const std::ptrdiff_t value = fact - before.begin() + 8;
            std::fill_n(before.begin() + value, 4, 0);
            std::fill_n(beforeNow.begin() + value, 4, 0);
        }
        EXPECT_TRUE(before == beforeNow) << "a chunk before the audio changed";
        EXPECT_TRUE(std::equal(audio.begin(), audio.end(), now.begin() + static_cast<std::ptrdiff_t>(offset)));
        if (l.chunkAfter) {
            // The chunk itself, after its pad byte; a new pad byte where the new audio ends odd.
            const std::size_t chunk = l.chunkAfter - (length % 2);
            EXPECT_TRUE(std::equal(original.end() - static_cast<std::ptrdiff_t>(chunk), original.end(),
                                   now.end() - static_cast<std::ptrdiff_t>(chunk)));
            EXPECT_EQ(now.size(), offset + grown + grown % 2 + chunk);
        } else {
            EXPECT_EQ(now.size(), offset + grown);
        }
        if (l.ffmpegReads) {
            const long samples = l.bits ? static_cast<long>(grown) / (l.bits / 8) : static_cast<long>(grown / 65 * 320);
            EXPECT_EQ(DecodedSamples(Decode(file, l.bits == 8 ? "u8" : "s16le"), l.bits), samples);
        }
    }
}

}  // namespace
}  // namespace tavrin::cli
