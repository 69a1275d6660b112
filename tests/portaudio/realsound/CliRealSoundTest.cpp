// tavrin-cli against a real sound server, run as a person runs it: the
// test's own PulseAudio (see with-pulseaudio.sh) is the sound card, its
// microphone a pipe we speak into and its speaker a pipe we listen to.
// Every offered format is recorded from the microphone, checked as a file
// and played back to the speaker; the input is chosen among two microphones
// speaking at once; sources come and go while the server runs.
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

// Runs tavrin-cli with `args` (and the shell's variable assignments `env`);
// `onLine` sees each line of its output as it comes.
template <typename OnLine>
CliRun Cli(const std::string& args, OnLine onLine, const std::string& env = "") {
    CliRun run;
    FILE* pipe = popen((env + "'" + TAVRIN_CLI_PATH + "' " + args + " 2>&1").c_str(), "r");
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
        if (const char* mic2 = std::getenv("TAVRIN_TEST_MIC2_PIPE")) {
            secondFeeder = new MicFeeder(mic2);
            // Short, so that the four recordings of the input test stay short.
            firstWords = new std::vector<std::int16_t>(SpokenText(*folder, "One, two, three, four.", "first"));
            secondWords = new std::vector<std::int16_t>(SpokenText(*folder, "Seven, eight, nine, ten.", "second"));
        }
    }
    static void TearDownTestSuite() {
        delete secondFeeder;
        delete firstWords;
        delete secondWords;
        secondFeeder = nullptr;
        firstWords = nullptr;
        secondWords = nullptr;
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
    static MicFeeder* secondFeeder;
    static std::vector<std::int16_t>* firstWords;
    static std::vector<std::int16_t>* secondWords;
};

std::string* CliRealSound::folder = nullptr;
MicFeeder* CliRealSound::feeder = nullptr;
SpeakerTap* CliRealSound::tap = nullptr;
std::vector<std::int16_t>* CliRealSound::sentence = nullptr;
MicFeeder* CliRealSound::secondFeeder = nullptr;
std::vector<std::int16_t>* CliRealSound::firstWords = nullptr;
std::vector<std::int16_t>* CliRealSound::secondWords = nullptr;

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
    EXPECT_NE(info.output.find("\"selectable\":true,\"marks\":[]}"), std::string::npos) << info.output;

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

// Each microphone has its own sentence; the recording must hold the one of
// the source the run should take, and not the other. Only that source's pipe
// is fed: the server reads a pipe only while something records from it, so
// the other one would fill up and hold stale audio for the next case. A
// named source that is not there falls back to the default and says so.
TEST_F(CliRealSound, TheChosenInputIsRecordedAndTheDefaultFollowsTheDesktop) {
    ASSERT_TRUE(secondFeeder) << "with-pulseaudio.sh must provide the second microphone";
    ASSERT_FALSE(firstWords->empty() || secondWords->empty());
    struct Case {
        const char* name;
        const char* defaultSource;
        const char* options;
        bool second;
        const char* notice;
    };
    const Case cases[] = {
        {"default", "microphone", "", false, nullptr},
        {"named", "microphone", "--input second_microphone", true, nullptr},
        {"desktop default", "second_microphone", "", true, nullptr},
        {"missing", "microphone", "--input unplugged_headset", false, "there is no source 'unplugged_headset'"},
    };
    const double seconds = double(std::max(firstWords->size(), secondWords->size())) / kPipeRate + 0.6;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(test::Run(std::string("pactl set-default-source ") + c.defaultSource));
        const std::string file = *folder + "/input-" + std::to_string(&c - cases) + ".wav";
        MicFeeder* speaking = c.second ? secondFeeder : feeder;
        speaking->SetActive(true);
        const CliRun run = Cli("record '" + file + "' --format pcm8k16 --seconds " + std::to_string(seconds) + " " +
                                   c.options,
                               [](const std::string& line) {
                                   if (line != "RecordStart\n") return;
                                   feeder->Speak(*firstWords);
                                   secondFeeder->Speak(*secondWords);
                               });
        speaking->SetActive(false);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(c.notice != nullptr, run.output.find(c.notice ? c.notice : "there is no source") != std::string::npos)
            << run.output;
        const auto audio = DecodeFile(file, *folder);
        const Match wanted = FindIn(c.second ? *secondWords : *firstWords, audio);
        const Match other = FindIn(c.second ? *firstWords : *secondWords, audio);
        EXPECT_GE(wanted.Share(0.98), kShare);
        EXPECT_LT(other.Median(), 0.5);
    }
    EXPECT_TRUE(test::Run("pactl set-default-source microphone"));
}

// The server is asked afresh each time: a sink added while it runs is there
// (with its monitor among the sources, after the microphones), and gone again
// once removed.
TEST_F(CliRealSound, DevicesFollowModulesLoadedAfterStart) {
    const std::string late = "\tLate\n";
    EXPECT_EQ(Cli("devices").output.find(late), std::string::npos);
    ASSERT_TRUE(test::Run("pactl load-module module-null-sink sink_name=late sink_properties=device.description=Late"));
    const CliRun listed = Cli("devices");
    EXPECT_EQ(listed.status, 0);
    EXPECT_NE(listed.output.find("source * microphone\t"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("sink   * speaker\t"), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("sink     late" + late), std::string::npos) << listed.output;
    const auto monitor = listed.output.find("source   late.monitor\tMonitor of Late\n");
    EXPECT_NE(monitor, std::string::npos) << listed.output;
    EXPECT_LT(listed.output.find("source   second_microphone\tSecond\n"), monitor) << "monitors come last";
    ASSERT_TRUE(test::Run("pactl unload-module module-null-sink"));
    EXPECT_EQ(Cli("devices").output.find(late), std::string::npos);
}

// A source that goes away mid-capture ends it at once through the error
// event; the file holds what was captured and is valid.
TEST_F(CliRealSound, UnloadingTheRecordingSourceEndsTheCaptureAndKeepsTheFile) {
    ASSERT_TRUE(test::Run("pactl load-module module-sine-source source_name=tone frequency=440"));
    const std::string file = *folder + "/unplugged.wav";
    std::thread unplug;
    const auto began = std::chrono::steady_clock::now();
    const CliRun run = Cli("record '" + file + "' --format pcm8k16 --seconds 20 --input tone", [&](const std::string& line) {
        if (line != "RecordStart\n") return;
        unplug = std::thread([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            static_cast<void>(test::Run("pactl unload-module module-sine-source"));
        });
    });
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (unplug.joinable()) unplug.join();
    EXPECT_EQ(run.status, 1);
    EXPECT_LT(took, 10.0) << "the capture must end when its source goes, not at the asked length";
    EXPECT_NE(run.output.find("RecordStart\nError\nTavrin: Error code:\n0x21000013\n0x2\nRecordEnd\n"), std::string::npos)
        << run.output;
    const CliRun info = Cli("info --json '" + file + "'");
    EXPECT_NE(info.output.find("\"result\":1,"), std::string::npos) << info.output;
    const auto audio = DecodeFile(file, *folder);
    ASSERT_GE(audio.size(), kPipeRate / 5) << "at least one block of the tone is kept";
    EXPECT_GT(*std::max_element(audio.begin(), audio.end()), 1000);
}

// Where the sound server's client library finds no server, the sound card is
// reached through ALSA (PortAudio); the test's ALSA configuration names the
// daemon itself, standing in for a bare ALSA card.
TEST_F(CliRealSound, WithoutASoundServerTheRecordingGoesThroughAlsa) {
    const std::string hidden = "PULSE_SERVER=unix:" + *folder + "/no-server ";
    const CliRun devices = Cli("devices", [](const std::string&) {}, hidden);
    EXPECT_EQ(devices.status, 1);
    EXPECT_NE(devices.output.find("no sound server answers"), std::string::npos) << devices.output;

    const std::string file = *folder + "/through-alsa.wav";
    const double seconds = double(sentence->size()) / kPipeRate + 1.5;
    feeder->SetActive(true);
    const CliRun recorded = Cli(
        "record '" + file + "' --format pcm8k16 --seconds " + std::to_string(seconds),
        [](const std::string& line) {
            if (line == "RecordStart\n") feeder->Speak(*sentence);
        },
        hidden);
    feeder->SetActive(false);
    ASSERT_EQ(recorded.status, 0) << recorded.output;
    EXPECT_GE(FindIn(*sentence, DecodeFile(file, *folder)).Share(0.98), kShare);
    EXPECT_EQ(Cli("record '" + *folder + "/named.wav' --input microphone", [](const std::string&) {}, hidden).status,
              2)
        << "a source can be named only to a sound server";
}

// Neither a sound server nor an ALSA card: no formats can be offered, and a
// recording is refused at the input device's open, leaving no file behind.
TEST_F(CliRealSound, WithoutServerOrCardTheFormatsCannotBeRetrieved) {
    if (std::filesystem::exists("/dev/snd")) GTEST_SKIP() << "this machine has a sound card";
    const std::string home = *folder + "/bare-home";
    std::filesystem::create_directories(home);
    const std::string bare = "PULSE_SERVER=unix:" + *folder + "/no-server HOME='" + home + "' ";
    const CliRun formats = Cli("formats", [](const std::string&) {}, bare);
    EXPECT_EQ(formats.status, 1);
    EXPECT_EQ(formats.output, "Tavrin: Cannot retrieve supported audio formats\n");
    const std::string file = *folder + "/no-card.wav";
    const CliRun recorded = Cli("record '" + file + "' --seconds 1", [](const std::string&) {}, bare);
    EXPECT_EQ(recorded.status, 1);
    EXPECT_EQ(recorded.output, "Tavrin: Error code:\n0x21000000\n0x419\n");
    EXPECT_FALSE(std::filesystem::exists(file));
}

INSTANTIATE_TEST_SUITE_P(Formats, CliRealSoundFormat, ::testing::ValuesIn(RecordingFormats()),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tavrin::test
