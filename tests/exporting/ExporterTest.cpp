// Export of recordings: every format decodes (with ffmpeg) to the recording's
// length, tags read back (with ffprobe), the copy appears whole or not at all
// whatever call fails, and the failures a user can act on are named.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>

#include "exporting/Exporter.h"
#include "support/FaultyFileSystem.h"
#include "support/Shell.h"
#include "support/TempDir.h"
#include "wav/Formats.h"
#include "wav/WavBytes.h"

namespace tavrin::exporting {
namespace {

using test::Quote;

// A recording of `seconds` of a 300 Hz tone in `code`'s format (GSM: any
// bytes decode, so the blocks hold a pattern).
std::string WriteRecording(const test::TempDir& dir, std::uint32_t code, double seconds,
                           const std::string& name = "Meeting 3.wav") {
    const wav::WaveFormat& format = wav::FindByCode(code)->format;
    std::vector<std::uint8_t> audio;
    if (format.isGsm()) {
        audio.resize(static_cast<std::size_t>(seconds * 25) * 65);
        for (std::size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<std::uint8_t>(i * 37 + 11);
    } else {
        const auto samples = static_cast<std::size_t>(seconds * format.samplesPerSec);
        for (std::size_t i = 0; i < samples; ++i) {
            const double v = 0.5 * std::sin(2 * std::numbers::pi * 300 * i / format.samplesPerSec);
            if (format.bitsPerSample == 8) {
                audio.push_back(static_cast<std::uint8_t>(128 + std::lround(v * 127)));
            } else {
                const auto s = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v * 32767)));
                audio.push_back(static_cast<std::uint8_t>(s));
                audio.push_back(static_cast<std::uint8_t>(s >> 8));
            }
        }
    }
    test::WavBytes file = test::RecordingFile(format, static_cast<std::uint32_t>(audio.size()));
    std::copy(audio.begin(), audio.end(), file.bytes.end() - static_cast<std::ptrdiff_t>(audio.size()));
    test::WriteBytes(dir.file(name), file.bytes);
    return dir.file(name);
}

// Sample frames ffmpeg decodes from `path`, resampled to `rate`.
long DecodedFrames(const std::string& path, std::uint32_t rate) {
    const test::ShellRun run = test::Shell("ffmpeg -v error -i " + Quote(path) + " -ac 1 -ar " + std::to_string(rate) +
                                           " -f s16le - | wc -c");
    return run.status == 0 ? std::stol(run.out) / 2 : -1;
}

std::string Probe(const std::string& path, const std::string& entries) {
    return test::Shell("ffprobe -v error -show_entries " + entries + " -of default=nw=1 " + Quote(path)).out;
}

struct FormatCase {
    const char* name;
    ExportFormat format;
    std::uint32_t code;  // of the recording
    std::uint32_t rate;
    double frameSeconds;  // one frame of the codec: what the length may differ by
    const char* dateTag;  // what ffprobe reads back of "2024-05-01"
};

class ExportFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ExportFormats, DecodesToTheRecordingsLengthWithItsTags) {
    const FormatCase c = GetParam();
    test::TempDir dir;
    const std::string recording = WriteRecording(dir, c.code, 3.0);
    test::FaultyFileSystem files;
    ExportRequest request{recording, dir.file("copy." + std::string(ExtensionOf(c.format))), c.format, "Meeting 3",
                          "2024-05-01", false};
    Exporter job(files, request);
    ASSERT_EQ(job.Run().outcome, Outcome::Done);
    EXPECT_EQ(job.Progress(), 1000u);
    EXPECT_FALSE(files.exists(PartialName(request.target)));
    const long frames = DecodedFrames(request.target, c.rate);
    EXPECT_NEAR(static_cast<double>(frames) / c.rate, 3.0, c.frameSeconds + 1e-9) << frames;
    const std::string tags = Probe(request.target, "format_tags=title,date:stream_tags=title,date");
    EXPECT_NE(tags.find("Meeting 3"), std::string::npos) << tags;
    EXPECT_NE(tags.find(c.dateTag), std::string::npos) << tags;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ExportFormats,
    ::testing::Values(FormatCase{"OpusFrom22k", ExportFormat::Opus, wav::kCodePcm22k16, 22050, 0.02, "2024-05-01"},
                      FormatCase{"OpusFrom11k8bit", ExportFormat::Opus, wav::kCodePcm11k8, 11025, 0.02, "2024-05-01"},
                      FormatCase{"OpusFromGsm", ExportFormat::Opus, wav::kCodeGsm, 8000, 0.02, "2024-05-01"},
                      FormatCase{"FlacFrom22k", ExportFormat::Flac, wav::kCodePcm22k16, 22050, 0, "2024-05-01"},
                      FormatCase{"FlacFrom8k8bit", ExportFormat::Flac, wav::kCodePcm8k8, 8000, 0, "2024-05-01"},
                      FormatCase{"Mp3From22k", ExportFormat::Mp3, wav::kCodePcm22k16, 22050, 576.0 / 22050, "2024"},
                      FormatCase{"Mp3From8k", ExportFormat::Mp3, wav::kCodePcm8k16, 8000, 576.0 / 8000, "2024"},
                      FormatCase{"WavFromGsm", ExportFormat::Wav, wav::kCodeGsm, 8000, 0, "2024-05-01"}),
    [](const ::testing::TestParamInfo<FormatCase>& p) { return std::string(p.param.name); });

// Whichever file call fails, and wherever, the target is either the whole
// copy or absent, no part file is left, and the recording is untouched.
TEST(Export, AnyFailedCallLeavesTheWholeCopyOrNothing) {
    test::TempDir dir;
    const std::string recording = WriteRecording(dir, wav::kCodePcm8k16, 2.0);
    const std::vector<std::uint8_t> original = test::ReadBytes(recording);
    const std::string target = dir.file("copy.flac");
    bool completed = false;
    for (std::uint32_t n = 1; !completed && n < 2000; ++n) {
        SCOPED_TRACE(n);
        test::FaultyFileSystem files;
        files.failNthCall(n);
        Exporter job(files, {recording, target, ExportFormat::Flac, "t", "2024-05-01", false});
        const ExportResult result = job.Run();
        completed = !files.faultFired();
        files.resetFaults();
        if (result.outcome == Outcome::Done) {
            EXPECT_NEAR(DecodedFrames(target, 8000), 16000, 0);
            ASSERT_TRUE(files.remove(target));
        } else {
            EXPECT_FALSE(files.exists(target));
            EXPECT_FALSE(completed) << "failed without a fault";
        }
        EXPECT_FALSE(files.exists(PartialName(target)));
        EXPECT_EQ(test::ReadBytes(recording), original);
    }
    EXPECT_TRUE(completed);
}

struct FailureCase {
    const char* name;
    std::function<void(test::FaultyFileSystem&, test::TempDir&, ExportRequest&)> arrange;
    Outcome outcome;
    const char* words;  // part of what the user is told
};

class ExportFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ExportFailures, AreNamedAndLeaveNoFile) {
    const FailureCase c = GetParam();
    test::TempDir dir;
    ExportRequest request{WriteRecording(dir, wav::kCodePcm22k16, 2.0), dir.file("Meeting 3.opus"),
                          ExportFormat::Opus, "Meeting 3", "", false};
    test::FaultyFileSystem files;
    c.arrange(files, dir, request);
    const bool existed = files.exists(request.target);
    const std::vector<std::uint8_t> before = existed ? test::ReadBytes(request.target) : std::vector<std::uint8_t>{};
    Exporter job(files, request);
    const ExportResult result = job.Run();
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_NE(Describe(result, request).find(c.words), std::string::npos) << Describe(result, request);
    EXPECT_EQ(files.exists(request.target), existed);
    if (existed) {
        EXPECT_EQ(test::ReadBytes(request.target), before) << "the target is as it was";
    }
    EXPECT_FALSE(files.exists(PartialName(request.target)));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ExportFailures,
    ::testing::Values(
        FailureCase{"NoRoom", [](auto& fs, auto&, auto&) { fs.setShortWrite(3000); }, Outcome::NoRoom,
                    "Not enough storage space"},
        FailureCase{"FolderGone", [](auto&, auto& dir, auto& r) { r.target = dir.file("card/Meeting 3.opus"); },
                    Outcome::FolderGone, "is gone"},
        FailureCase{"NameExists",
                    [](auto&, auto&, auto& r) { test::WriteBytes(r.target, std::vector<std::uint8_t>{1, 2, 3}); }, Outcome::Exists,
                    "\"Meeting 3.opus\" already exists"},
        FailureCase{"TheRecordingItself", [](auto&, auto&, auto& r) {
                        r.target = r.source;
                        r.replace = true;
                    },
                    Outcome::IsRecording, "the recording itself"},
        FailureCase{"NotARecording", [](auto&, auto&, auto& r) { test::WriteBytes(r.source, std::vector<std::uint8_t>{'R', 'I', 'F', 'F'}); },
                    Outcome::Unreadable, "cannot be read"}),
    [](const ::testing::TestParamInfo<FailureCase>& p) { return std::string(p.param.name); });

TEST(Export, ReplacesAnExistingNameOnlyWhenAllowed) {
    test::TempDir dir;
    const std::string recording = WriteRecording(dir, wav::kCodePcm8k8, 1.0);
    const std::string target = dir.file("old.wav");
    test::WriteBytes(target, std::vector<std::uint8_t>{1, 2, 3});
    test::FaultyFileSystem files;
    Exporter job(files, {recording, target, ExportFormat::Wav, "t", "", true});
    ASSERT_EQ(job.Run().outcome, Outcome::Done);
    EXPECT_EQ(DecodedFrames(target, 8000), 8000);
}

// The window runs an export on a worker thread and polls it from the UI
// thread; a cancel from there ends it without leaving a file.
TEST(Export, CancelledFromAnotherThreadLeavesNoFile) {
    test::TempDir dir;
    const std::string recording = WriteRecording(dir, wav::kCodePcm22k16, 60.0);
    test::FaultyFileSystem files;
    const std::string target = dir.file("long.flac");
    Exporter job(files, {recording, target, ExportFormat::Flac, "t", "", false});
    ExportResult result;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        result = job.Run();
        finished.store(true, std::memory_order_release);
    });
    std::uint32_t seen = 0;
    while (!finished.load(std::memory_order_acquire)) {
        seen = std::max(seen, job.Progress());
        if (seen > 0) job.Cancel();
        std::this_thread::yield();
    }
    worker.join();
    // A machine fast enough to finish before the first poll is no failure.
    if (result.outcome == Outcome::Done) GTEST_SKIP() << "finished before it could be cancelled";
    EXPECT_EQ(result.outcome, Outcome::Cancelled);
    EXPECT_LT(job.Progress(), 1000u);
    EXPECT_FALSE(files.exists(target));
    EXPECT_FALSE(files.exists(PartialName(target)));
}

TEST(Export, NamesAndTags) {
    EXPECT_EQ(DefaultTarget("/m/Recording1.wav", ExportFormat::Opus), "/m/Recording1.opus");
    EXPECT_EQ(DefaultTarget("/m.d/take", ExportFormat::Mp3), "/m.d/take.mp3");
    EXPECT_EQ(PartialName("/m/Recording1.opus"), "/m/.Recording1.opus.part");
    EXPECT_EQ(TitleOf("/m/Meeting 3.WAV"), "Meeting 3");
    EXPECT_EQ(DayOf(0), "");
    EXPECT_EQ(FormatNamed("flac"), ExportFormat::Flac);
    EXPECT_FALSE(FormatNamed("ogg").has_value());
    for (ExportFormat f : {ExportFormat::Opus, ExportFormat::Flac, ExportFormat::Mp3, ExportFormat::Wav}) {
        EXPECT_TRUE(CanWrite(f)) << ExtensionOf(f) << ": this system's libsndfile lacks it";
    }
}

}  // namespace
}  // namespace tavrin::exporting
