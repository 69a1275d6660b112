#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "SlowMediaRig.h"
#include "storage/StrategyCreateFast.h"
#include "storage/StrategyCreateSlow.h"
#include "storage/StrategyIdle.h"
#include "storage/StrategyInsertFast.h"
#include "storage/StrategyInsertSlow.h"
#include "storage/StrategySelectFast.h"
#include "storage/StrategySelectSlow.h"

namespace tavrin::storage {
namespace {

using namespace slowtest;
using model::kGsm;
using model::kPcm16;
using model::kPcm8;

constexpr const char* kReportPrefix = "Please, contact Korvel technical support\nCode:\n";

void ExpectReport(const SlowRig& rig, const std::string& code) {
    ASSERT_FALSE(rig.shell.boxes().empty()) << "no report for " << code;
    const auto& box = rig.shell.boxes().back();
    EXPECT_EQ(box.text, kReportPrefix + code);
    EXPECT_EQ(box.caption, "Internal Error");
    EXPECT_EQ(box.style, platform::mb::IconHand | platform::mb::Ok);
}

TEST(StorageContext, StartsIdleWithTheFixedValues) {
    SlowRig rig;
    EXPECT_TRUE(rig.ctx.IsIdle());
    EXPECT_EQ(rig.ctx.twiceGranularity, 2 * kGranularity);
    EXPECT_EQ(rig.ctx.cacheCapacity, kReadCacheBytes);
    EXPECT_EQ(rig.ctx.viewStep, 0u);
    EXPECT_EQ(rig.ctx.buffer, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rig.ctx.header.fmt.data()), 4), "fmt ");
    EXPECT_EQ(rig.ctx.header.FmtSize(), 24u);
}

TEST(StorageContext, FreshContextReportsIdleSpaceLeftAndEnd) {
    SlowRig rig;
    EXPECT_EQ(rig.ctx.SpaceLeft(), 0u);
    ExpectReport(rig, "StrategyIdle::SpaceLeft");
    EXPECT_EQ(rig.ctx.End(), Status::InternalError);
    ExpectReport(rig, "StrategyIdle::End");
    EXPECT_EQ(rig.shell.boxes().size(), 2u);
}

// One operation that must not reach a strategy: what it returns, and the
// name it is reported under.
struct Unavailable {
    const char* operation;
    std::function<std::uint32_t(Strategy&)> call;
    std::uint32_t returned;
};

std::vector<Unavailable> Operations() {
    static std::uint8_t byte = 0;
    auto status = [](Status s) { return static_cast<std::uint32_t>(s); };
    return {
        {"Create", [=](Strategy& s) { return status(s.Create("x.wav", 1, 8000, 8, 1)); }, 4},
        {"Select", [=](Strategy& s) { return status(s.Select("x.wav")); }, 4},
        {"SeekToSample", [](Strategy& s) { return std::uint32_t{s.SeekToSample(0)}; }, 0},
        {"CurrentReadSample", [](Strategy& s) { return s.CurrentReadSample(); }, 0},
        {"ReadData", [=](Strategy& s) { return status(s.ReadData(&byte, 1)); }, 4},
        {"CurrentWriteSample", [](Strategy& s) { return s.CurrentWriteSample(); }, 0},
        {"BackTrack", [=](Strategy& s) { return status(s.BackTrack(1)); }, 4},
        {"SpaceLeft", [](Strategy& s) { return s.SpaceLeft(); }, 0},
        {"WriteData", [=](Strategy& s) { return status(s.WriteData(&byte, 1)); }, 4},
        {"Close", [=](Strategy& s) { return status(s.Close()); }, 4},
        {"End", [=](Strategy& s) { return status(s.End()); }, 4},
        {"Append", [](Strategy& s) { return std::uint32_t{s.Append()}; }, 0},
        {"Overwrite", [](Strategy& s) { return std::uint32_t{s.Overwrite()}; }, 0},
        {"Insert", [](Strategy& s) { return std::uint32_t{s.Insert()}; }, 0},
        {"Open", [=](Strategy& s) { return status(s.Open("x.wav")); }, 4},
        {"Write", [=](Strategy& s) { return status(s.Write(&byte, 1)); }, 4},
        {"Read",
         [=](Strategy& s) {
             std::uint32_t count = 7;
             const Status r = s.Read(&byte, 1, count);
             EXPECT_EQ(count, 0u);
             return status(r);
         },
         4},
        {"Expect", [=](Strategy& s) { return status(s.Expect(&byte, 1)); }, 4},
    };
}

// Which operations each strategy leaves to the internal-error report.
struct StrategyCase {
    const char* reportedAs;
    std::function<Strategy&(StorageContext&)> pick;
    std::vector<std::string> unavailable;
};

TEST(StorageContext, OperationsThatMakeNoSenseAreReportedAndChangeNothing) {
    const std::vector<StrategyCase> cases = {
        {"StrategyIdle", [](StorageContext& c) -> Strategy& { return *c.idle; },
         {"Create", "Select", "SeekToSample", "CurrentReadSample", "ReadData", "CurrentWriteSample", "BackTrack",
          "SpaceLeft", "WriteData", "Close", "End", "Append", "Overwrite", "Insert", "Open", "Write", "Read",
          "Expect"}},
        {"StrategyCreateSlow", [](StorageContext& c) -> Strategy& { return *c.createSlow; },
         {"Select", "CurrentReadSample", "ReadData", "Append", "Overwrite", "Insert", "Read", "Expect"}},
        {"StrategyCreateSlow", [](StorageContext& c) -> Strategy& { return *c.insertSlow; },
         {"Select", "CurrentReadSample", "ReadData", "Append", "Overwrite", "Insert", "Read", "Expect"}},
        {"StrategySelectSlow", [](StorageContext& c) -> Strategy& { return *c.selectSlow; },
         {"Create", "CurrentWriteSample", "BackTrack", "SpaceLeft", "WriteData", "Write"}},
        {"StrategyCreateFast", [](StorageContext& c) -> Strategy& { return *c.createFast; },
         {"Select", "CurrentReadSample", "ReadData", "Append", "Overwrite", "Insert", "Read", "Expect"}},
        {"StrategyCreateSlow", [](StorageContext& c) -> Strategy& { return *c.insertFast; },
         {"Select", "CurrentReadSample", "ReadData", "Append", "Overwrite", "Insert", "Read", "Expect"}},
        {"StrategySelectFast", [](StorageContext& c) -> Strategy& { return *c.selectFast; },
         {"Create", "CurrentWriteSample", "BackTrack", "WriteData", "Write"}},
    };
    for (const StrategyCase& c : cases) {
        for (const Unavailable& op : Operations()) {
            if (std::find(c.unavailable.begin(), c.unavailable.end(), op.operation) == c.unavailable.end()) continue;
            SCOPED_TRACE(std::string(c.reportedAs) + "::" + op.operation);
            SlowRig rig;
            EXPECT_EQ(op.call(c.pick(rig.ctx)), op.returned);
            ExpectReport(rig, std::string(c.reportedAs) + "::" + op.operation);
            EXPECT_EQ(rig.shell.boxes().size(), 1u);
            EXPECT_TRUE(rig.ctx.IsIdle());
            EXPECT_FALSE(rig.Exists());
        }
    }
}

TEST(StorageContext, SpaceLeftOfAnOpenFileOnSlowMediaIsReported) {
    SlowRig rig;
    ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm8, Pattern(100, 1))), Status::Ok);
    EXPECT_EQ(rig.ctx.SpaceLeft(), 0u);
    ExpectReport(rig, "StrategySelectSlow::SpaceLeft");
}

TEST(StorageContext, FormatQueriesAnswerFromTheHeader) {
    SlowRig rig;
    ASSERT_EQ(rig.ctx.Create(rig.path, wav::kTagPcm, 11025, 16, 1, platform::Media::Slow), Status::Ok);
    EXPECT_EQ(rig.ctx.FormatTag(), wav::kTagPcm);
    EXPECT_EQ(rig.ctx.Channels(), 1);
    EXPECT_EQ(rig.ctx.SamplesPerSec(), 11025u);
    EXPECT_EQ(rig.ctx.AvgBytesPerSec(), 22050u);
    EXPECT_EQ(rig.ctx.BlockAlign(), 2);
    EXPECT_EQ(rig.ctx.BitsPerSample(), 16);
    EXPECT_EQ(rig.ctx.CbSize(), 0);
    const Bytes audio = Pattern(1000, 2);
    ASSERT_EQ(rig.Record(audio, 1000), Status::Ok);
    EXPECT_EQ(rig.ctx.DataSize(), 1000u);
    EXPECT_EQ(rig.ctx.LengthInBlocks(), 500u);

    rig.path = rig.dir.file("b.wav");  // a new recording never replaces a file
    ASSERT_EQ(rig.Create(kGsm), Status::Ok);
    EXPECT_EQ(rig.ctx.FormatTag(), wav::kTagGsm);
    EXPECT_EQ(rig.ctx.AvgBytesPerSec(), 1625u);
    EXPECT_EQ(rig.ctx.BlockAlign(), 65);
    EXPECT_EQ(rig.ctx.BitsPerSample(), 0);
    EXPECT_EQ(rig.ctx.CbSize(), 2);
    EXPECT_EQ(rig.ctx.SamplesPerBlock(), 320);
}

TEST(StorageContext, SelectWhileRecordingFirstFinishesTheRecording) {
    SlowRig rig;
    const std::string other = rig.dir.file("b.wav");
    test::WriteBytes(other, model::WavFile(kPcm16, Pattern(40, 3)));
    ASSERT_EQ(rig.Create(kPcm8), Status::Ok);
    const Bytes audio = Pattern(3000, 4);
    ASSERT_EQ(rig.Record(audio, 1600), Status::Ok);
    ASSERT_EQ(rig.ctx.Select(other, platform::Media::Slow), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), model::WavFile(kPcm8, audio));
    EXPECT_TRUE(rig.Is(rig.ctx.selectSlow.get()));
    EXPECT_EQ(rig.ctx.DataSize(), 40u);
    EXPECT_EQ(rig.memory.liveBlocks(), 0u);
}

TEST(StorageContext, CurrentFollowsTheEditsOfARecording) {
    SlowRig rig;
    ASSERT_EQ(rig.Create(kPcm16), Status::Ok);
    EXPECT_TRUE(rig.Is(rig.ctx.createSlow.get()));
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_TRUE(rig.Is(rig.ctx.selectSlow.get()));
    ASSERT_TRUE(rig.ctx.Append());
    EXPECT_TRUE(rig.Is(rig.ctx.createSlow.get()));
    const Bytes audio = Pattern(400, 5);
    ASSERT_EQ(rig.Record(audio, 400), Status::Ok);
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_TRUE(rig.ctx.SeekToSample(100));
    ASSERT_TRUE(rig.ctx.Insert());
    EXPECT_TRUE(rig.Is(rig.ctx.insertSlow.get()));
    ASSERT_EQ(rig.ctx.End(), Status::Ok);
    EXPECT_TRUE(rig.Is(rig.ctx.selectSlow.get()));
    ASSERT_TRUE(rig.ctx.Overwrite());
    EXPECT_TRUE(rig.Is(rig.ctx.createSlow.get()));
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_TRUE(rig.ctx.IsIdle());
    rig.ExpectNothingHeld();
}

TEST(StorageContext, RefusedEditsSwitchAsTheTableSays) {
    SlowRig rig;
    const Bytes file = model::WavFile(kPcm8, Pattern(300, 6));
    ASSERT_EQ(rig.SelectFile(file), Status::Ok);
    rig.memory.setAvailablePhysical(4 * kTwice - 1);  // no buffer can be had
    EXPECT_FALSE(rig.ctx.Append());
    EXPECT_TRUE(rig.ctx.IsIdle());
    rig.ExpectNothingHeld();

    ASSERT_EQ(rig.ctx.Select(rig.path, platform::Media::Slow), Status::Ok);
    rig.fs.failNth(test::Fault::Map, 1);
    EXPECT_FALSE(rig.ctx.Insert());
    EXPECT_TRUE(rig.Is(rig.ctx.selectSlow.get()));
    EXPECT_EQ(rig.Play(1600), Slice(file, 44, file.size())) << "the recording stays open and playable";
    ASSERT_EQ(rig.ctx.Close(), Status::Ok);
    EXPECT_EQ(rig.OnDisk(), file);
}

TEST(StorageContext, RefusedSeekKeepsThePlaybackPosition) {
    SlowRig rig;
    ASSERT_EQ(rig.SelectFile(model::WavFile(kPcm8, Pattern(100'000, 7))), Status::Ok);
    Bytes piece(1600);
    ASSERT_EQ(rig.ctx.ReadData(piece.data(), 1600), Status::Ok);
    EXPECT_FALSE(rig.ctx.SeekToSample(100'000));
    EXPECT_EQ(rig.ctx.CurrentReadSample(), 1600u);
    ASSERT_EQ(rig.ctx.ReadData(piece.data(), 1600), Status::Ok);
    EXPECT_EQ(piece, Slice(Pattern(100'000, 7), 1600, 3200));
}

}  // namespace
}  // namespace tavrin::storage
