// The waveform: peaks of tone bursts land in the buckets of their time, the
// cache is used while the recording is unchanged and measured again when it
// changes, a recording in progress grows, and the peaks are published from a
// worker thread while another reads them.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>

#include "support/FaultyFileSystem.h"
#include "support/TempDir.h"
#include "wav/WavBytes.h"
#include "waveform/PeakCache.h"
#include "waveform/PeakJob.h"
#include "waveform/Peaks.h"
#include "waveform/Waveform.h"

namespace tavrin::waveform {
namespace {

struct Burst {
    double from, to;  // seconds
    double amplitude;  // of full scale
};

// A recording of silence with 440 Hz bursts.
std::vector<std::uint8_t> BurstAudio(const wav::WaveFormat& format, double seconds, const std::vector<Burst>& bursts) {
    std::vector<std::uint8_t> audio;
    const auto samples = static_cast<std::size_t>(seconds * format.samplesPerSec);
    for (std::size_t i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / format.samplesPerSec;
        double v = 0;
        for (const Burst& b : bursts) {
            if (t >= b.from && t < b.to) v = b.amplitude * std::sin(2 * std::numbers::pi * 440 * t);
        }
        if (format.bitsPerSample == 8) {
            audio.push_back(static_cast<std::uint8_t>(128 + std::lround(v * 127)));
        } else {
            const auto s = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v * 32767)));
            audio.push_back(static_cast<std::uint8_t>(s));
            audio.push_back(static_cast<std::uint8_t>(s >> 8));
        }
    }
    return audio;
}

std::string Write(const test::TempDir& dir, std::uint32_t code, const std::vector<std::uint8_t>& audio,
                  const std::string& name = "rec.wav") {
    test::WavBytes file = test::RecordingFile(wav::FindByCode(code)->format, static_cast<std::uint32_t>(audio.size()));
    std::copy(audio.begin(), audio.end(), file.bytes.end() - static_cast<std::ptrdiff_t>(audio.size()));
    test::WriteBytes(dir.file(name), file.bytes);
    return dir.file(name);
}

std::vector<std::uint8_t> PeaksOf(PeakJob& job) {
    job.Run();
    std::vector<std::uint8_t> peaks;
    job.Read(peaks);
    return peaks;
}

struct BurstCase {
    const char* name;
    std::uint32_t code;
};

class TonePeaks : public ::testing::TestWithParam<BurstCase> {};

TEST_P(TonePeaks, BurstsShowInTheBucketsOfTheirTime) {
    const std::vector<Burst> bursts{{1.0, 1.5, 0.5}, {4.0, 4.2, 1.0}, {7.52, 8.0, 0.25}};
    test::TempDir dir;
    test::FaultyFileSystem files;
    const std::string path = Write(dir, GetParam().code, BurstAudio(wav::FindByCode(GetParam().code)->format, 10.0, bursts));
    PeakJob job(files, path, dir.file("cache"));
    const std::vector<std::uint8_t> peaks = PeaksOf(job);
    ASSERT_EQ(peaks.size(), 250u);
    EXPECT_TRUE(job.Finished());
    for (std::size_t b = 0; b < peaks.size(); ++b) {
        const double from = b * 0.04, to = from + 0.04;
        double expected = 0;
        bool edge = false;
        for (const Burst& burst : bursts) {
            if (from >= burst.from - 1e-9 && to <= burst.to + 1e-9) expected = burst.amplitude;
            else if (from < burst.to && to > burst.from) edge = true;  // partly inside
        }
        if (edge) continue;
        // 8-bit audio is coarse: a step of 1/127.
        EXPECT_NEAR(peaks[b], expected * 255, 4) << "bucket " << b << " at " << from << " s";
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, TonePeaks,
                         ::testing::Values(BurstCase{"Pcm22k16", wav::kCodePcm22k16},
                                           BurstCase{"Pcm11k16", wav::kCodePcm11k16},
                                           BurstCase{"Pcm8k8", wav::kCodePcm8k8}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(PeakCache, IsUsedWhileTheRecordingIsUnchangedAndMeasuredAgainAfterAChange) {
    test::TempDir dir;
    test::FaultyFileSystem files;
    const auto& format = wav::FindByCode(wav::kCodePcm8k16)->format;
    const std::string path = Write(dir, wav::kCodePcm8k16, BurstAudio(format, 3.0, {{1.0, 2.0, 0.5}}));
    const std::string cache = dir.file("xdg-cache/tavrin");  // neither folder exists yet

    PeakJob first(files, path, cache);
    const std::vector<std::uint8_t> measured = PeaksOf(first);
    EXPECT_FALSE(first.FromCache());
    EXPECT_TRUE(files.exists(PeakCache(files, cache).FileFor(path)));

    PeakJob second(files, path, cache);
    EXPECT_EQ(PeaksOf(second), measured);
    EXPECT_TRUE(second.FromCache());

    // The same size, other audio (an overwrite): its time tells.
    Write(dir, wav::kCodePcm8k16, BurstAudio(format, 3.0, {{0.0, 0.5, 1.0}}));
    PeakJob third(files, path, cache);
    const std::vector<std::uint8_t> remeasured = PeaksOf(third);
    EXPECT_FALSE(third.FromCache());
    EXPECT_GT(remeasured[0], 250);
    EXPECT_EQ(remeasured[30], 0);

    // Longer (an append).
    Write(dir, wav::kCodePcm8k16, BurstAudio(format, 4.0, {}));
    PeakJob fourth(files, path, cache);
    EXPECT_EQ(PeaksOf(fourth).size(), 100u);
    EXPECT_FALSE(fourth.FromCache());

    // A damaged cache file is measured again, and mended.
    test::WriteBytes(PeakCache(files, cache).FileFor(path), std::vector<std::uint8_t>{'T', 'V', 'P', 'K', 1});
    PeakJob fifth(files, path, cache);
    EXPECT_EQ(PeaksOf(fifth).size(), 100u);
    EXPECT_FALSE(fifth.FromCache());
    PeakJob sixth(files, path, cache);
    EXPECT_EQ(PeaksOf(sixth).size(), 100u);
    EXPECT_TRUE(sixth.FromCache());
}

TEST(PeakCache, ACacheThatCannotBeWrittenOnlyCostsTheMeasuringAgain) {
    test::TempDir dir;
    test::FaultyFileSystem files;
    const std::string path =
        Write(dir, wav::kCodePcm8k8, BurstAudio(wav::FindByCode(wav::kCodePcm8k8)->format, 1.0, {{0, 1, 1}}));
    files.failNth(test::Fault::Move, 1, true);
    PeakJob job(files, path, dir.file("cache"));
    EXPECT_EQ(PeaksOf(job).size(), 25u);
    EXPECT_FALSE(files.exists(PeakCache(files, dir.file("cache")).FileFor(path)));
    EXPECT_FALSE(files.exists(PeakCache(files, dir.file("cache")).FileFor(path) + ".part"));
    PeakJob without(files, path, "");
    EXPECT_EQ(PeaksOf(without).size(), 25u);
}

TEST(PeakJob, AFileThatIsNoRecordingFinishesWithoutPeaks) {
    test::TempDir dir;
    test::FaultyFileSystem files;
    test::WriteBytes(dir.file("x.wav"), std::vector<std::uint8_t>(100, 7));
    PeakJob job(files, dir.file("x.wav"), dir.file("cache"));
    EXPECT_TRUE(PeaksOf(job).empty());
    EXPECT_TRUE(job.Finished());
}

// The window reads the peaks while a worker measures them: what it reads is
// always a beginning of the final peaks, and in the end all of them.
TEST(PeakJob, PublishesFromItsThreadWhileAnotherReads) {
    test::TempDir dir;
    test::FaultyFileSystem files;
    const auto& format = wav::FindByCode(wav::kCodePcm22k16)->format;
    const std::string path = Write(dir, wav::kCodePcm22k16, BurstAudio(format, 90.0, {{10, 20, 0.5}, {60, 61, 1}}));
    PeakJob reference(files, path, "");
    const std::vector<std::uint8_t> expected = PeaksOf(reference);

    PeakJob job(files, path, dir.file("cache"));
    std::thread worker([&] { job.Run(); });
    std::vector<std::uint8_t> seen;
    int reads = 0;
    while (!job.Finished()) {
        const std::uint32_t total = job.Read(seen);
        ASSERT_LE(seen.size(), expected.size());
        if (total != 0) {
            EXPECT_EQ(total, expected.size());
        }
        ASSERT_TRUE(std::equal(seen.begin(), seen.end(), expected.begin()));
        ++reads;
        std::this_thread::yield();
    }
    worker.join();
    job.Read(seen);
    EXPECT_EQ(seen, expected);
    EXPECT_GT(reads, 0);
}

struct GrowStep {
    std::uint32_t lengthMs, level;
    std::size_t buckets;
    std::uint8_t last;  // the newest bucket's peak
};

// While recording, the waveform grows with the length, each new stretch at
// the level of the block that brought it; an edit inside marks its place.
TEST(Waveform, GrowsWithARecordingInProgress) {
    const std::vector<GrowStep> steps{{0, 0, 0, 0},      {200, 50, 5, 127},  {400, 100, 10, 255},
                                      {410, 0, 11, 0},   {1000, 20, 25, 51}, {200, 10, 25, 51}};
    Waveform w;
    std::vector<std::uint8_t> before;
    for (const GrowStep& s : steps) {
        SCOPED_TRACE(s.lengthMs);
        w.Grow(s.lengthMs, s.level);
        const bool inside = s.lengthMs > 0 && s.lengthMs / kBucketMs < before.size();
        ASSERT_EQ(w.Peaks().size(), s.buckets);
        EXPECT_EQ(w.TotalBuckets(), s.buckets);
        if (s.buckets > 0) {
            EXPECT_EQ(w.Peaks().back(), s.last);
        }
        if (inside) {
            EXPECT_EQ(w.Peaks()[s.lengthMs / kBucketMs - 1], PeakOfPercent(s.level)) << "the edited place";
        } else {
            EXPECT_TRUE(std::equal(before.begin(), before.end(), w.Peaks().begin())) << "earlier peaks kept";
        }
        before = w.Peaks();
    }
}

TEST(Waveform, AClickSeeksToItsShareOfTheRecording) {
    Waveform w;
    w.Reset(250);  // ten seconds, none measured yet
    EXPECT_EQ(w.MsAt(0, 500), 0u);
    EXPECT_EQ(w.MsAt(250, 500), 5000u);
    EXPECT_EQ(w.MsAt(500, 500), 10000u);
    EXPECT_EQ(w.MsAt(-3, 500), 0u);
    EXPECT_EQ(w.MsAt(900, 500), 10000u);
    EXPECT_EQ(w.BucketAt(499, 500), 249u);
    EXPECT_EQ(w.MsAt(10, 0), 0u);
}

}  // namespace
}  // namespace tavrin::waveform
