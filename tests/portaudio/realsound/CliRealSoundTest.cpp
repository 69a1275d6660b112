// tavrin-cli against a real sound server, run as a person runs it: the
// test's own PulseAudio (see with-pulseaudio.sh) is the sound card, its
// microphone a pipe we speak into and its speaker a pipe we listen to.
// Every offered format is recorded from the microphone, checked as a file
// and played back to the speaker.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "RealSoundRig.h"

namespace tavrin::test {
namespace {

struct CliRun {
    int status = -1;
    std::string output;  // stdout and stderr together
};

// Runs tavrin-cli with `args`; `onLine` sees each line of its output as it comes.
template <typename OnLine>
CliRun Cli(const std::string& args, OnLine onLine) {
    CliRun run;
    FILE* pipe = popen((std::string("'") + TAVRIN_CLI_PATH + "' " + args + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        run.output += line;
        onLine(std::string(line));
    }
    const int wait = pclose(pipe);
    run.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
    return run;
}
CliRun Cli(const std::string& args) {
    return Cli(args, [](const std::string&) {});
}

// A WAV file decoded by sox to the pipes' rate and sample format.
std::vector<std::int16_t> DecodeFile(const std::string& wav, const std::string& folder) {
    const std::string raw = folder + "/decoded.raw";
    std::remove(raw.c_str());
    if (!Run("sox '" + wav + "' -t raw -r 8000 -e signed-integer -b 16 -c 1 '" + raw + "'")) return {};
    return Samples(ReadFile(raw));
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// GSM and 8-bit samples are rougher copies than 16-bit ones.
double LeastCorrelation(const platform::AudioFormat& f) {
    return f.formatTag == platform::kFormatTagGsm ? 0.9 : f.bitsPerSample == 8 ? 0.97 : 0.98;
}
// Nearly every piece of the sentence must be there; a busy machine may make
// the server miss a moment now and then.
constexpr double kShare = 0.8;

class CliRealSound : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const char* mic = std::getenv("TAVRIN_TEST_MIC_PIPE");
        const char* speaker = std::getenv("TAVRIN_TEST_SPEAKER_PIPE");
        if (!mic || !speaker) return;
        std::random_device random;
        folder = new std::string(
            (std::filesystem::temp_directory_path() / ("tavrin-cli-realsound-" + std::to_string(random()))).string());
        std::filesystem::create_directories(*folder);
        feeder = new MicFeeder(mic);
        tap = new SpeakerTap(speaker);
        sentence = new std::vector<std::int16_t>(SpokenSentence(*folder));
    }
    static void TearDownTestSuite() {
        delete feeder;
        delete tap;
        delete sentence;
        if (folder) std::filesystem::remove_all(*folder);
        delete folder;
        feeder = nullptr;
        tap = nullptr;
        sentence = nullptr;
        folder = nullptr;
    }
    void SetUp() override {
        if (!feeder) GTEST_SKIP() << "run through with-pulseaudio.sh: no sound server pipes";
        ASSERT_FALSE(sentence->empty()) << "espeak-ng and sox must be installed to speak the test sentence";
    }

    static std::string* folder;
    static MicFeeder* feeder;
    static SpeakerTap* tap;
    static std::vector<std::int16_t>* sentence;
};

std::string* CliRealSound::folder = nullptr;
MicFeeder* CliRealSound::feeder = nullptr;
SpeakerTap* CliRealSound::tap = nullptr;
std::vector<std::int16_t>* CliRealSound::sentence = nullptr;

TEST_F(CliRealSound, FormatsListsEverythingTheServerAccepts) {
    const CliRun run = Cli("formats");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              "GSM  2kB/s\nPCM  8kHz  8-Bit\nPCM 11kHz  8-Bit\nPCM  8kHz 16-Bit\nPCM 11kHz 16-Bit\nPCM 22kHz 16-Bit\n");
}

class CliRealSoundFormat : public CliRealSound, public ::testing::WithParamInterface<NamedFormat> {};

TEST_P(CliRealSoundFormat, WhatIsSpokenIsRecordedAndPlayedBack) {
    const auto& f = GetParam().format;
    const std::string code = Lower(GetParam().name);
    const std::string file = *folder + "/rec-" + code + ".wav";
    const double seconds = double(sentence->size()) / kPipeRate + 2.0;
    char secondsText[32];
    std::snprintf(secondsText, sizeof secondsText, "%.1f", seconds);

    // The sentence starts once the recording runs; the microphone carries
    // silence until then.
    feeder->SetActive(true);
    const auto began = std::chrono::steady_clock::now();
    const CliRun recorded =
        Cli("record '" + file + "' --format " + code + " --seconds " + secondsText, [](const std::string& line) {
            if (line == "RecordStart\n") feeder->Speak(*sentence);
        });
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    feeder->SetActive(false);
    ASSERT_EQ(recorded.status, 0) << recorded.output;
    EXPECT_EQ(recorded.output, "RecordStart\nRecordEnd\nFileReady\n");

    const CliRun info = Cli("info --json '" + file + "'");
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_NE(info.output.find("\"result\":1,\"formatTag\":" + std::to_string(f.formatTag) +
                               ",\"channels\":1,\"samplesPerSec\":" + std::to_string(f.samplesPerSec) + ","),
              std::string::npos)
        << info.output;
    EXPECT_NE(info.output.find("\"selectable\":true}"), std::string::npos) << info.output;

    const auto audio = DecodeFile(file, *folder);
    ASSERT_FALSE(audio.empty()) << "sox could not read " << file;
    const Match heardByMic = FindIn(*sentence, audio);
    EXPECT_GE(heardByMic.Share(LeastCorrelation(f)), kShare);
    EXPECT_NEAR(heardByMic.level, 1.0, 0.25);

    const std::size_t mark = tap->Mark();
    const CliRun played = Cli("play '" + file + "'");
    ASSERT_EQ(played.status, 0) << played.output;
    EXPECT_EQ(played.output, "PlayStart\nPlayEnd\n");
    // The last buffer is handed back once the server has taken it; give it
    // the moment it needs to come out of the speaker pipe.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Match heardBySpeaker = FindIn(audio, tap->Since(mark));
    EXPECT_GE(heardBySpeaker.Share(LeastCorrelation(f)), kShare);
    EXPECT_NEAR(heardBySpeaker.level, 1.0, 0.25);

    std::printf("[ figures  ] %-8s record %.1f s of %.1f s; mic correlation %.3f level %.2f; "
                "speaker correlation %.3f level %.2f\n",
                code.c_str(), took, seconds, heardByMic.Median(), heardByMic.level, heardBySpeaker.Median(),
                heardBySpeaker.level);
}

INSTANTIATE_TEST_SUITE_P(Formats, CliRealSoundFormat, ::testing::ValuesIn(RecordingFormats()),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tavrin::test
