// Starting a recording: every failure point answers its code word and detail
// and leaves nothing behind; the success path hands a complete set-up to the
// engine thread.
#include <functional>

#include "engine/EngineHarness.h"
#include "wav/Formats.h"

namespace tavrin::engine::testing {
namespace {

using test::Fault;
namespace mmr = platform::mmr;

struct StartFailure {
    const char* name;
    std::uint32_t format;
    std::function<void(EngineTest&)> arrange;
    std::uint32_t code;
    std::uint32_t detail;
    bool cuePlayed;  // the start got as far as the "RecStart" sound
};

class RecordStartFailureTest : public EngineTest, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(RecordStartFailureTest, ReturnsItsCodeAndLeavesTheEngineClosed) {
    const StartFailure& c = GetParam();
    c.arrange(*this);
    ASSERT_TRUE(engine->SetFormat(c.format));
    const ResultCode result = engine->RecordStart(dir.file("rec.wav"));
    EXPECT_EQ(result.Code(), c.code);
    EXPECT_EQ(result.Detail(), c.detail);

    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineClosed);
    EXPECT_FALSE(in.isOpen());
    EXPECT_EQ(EngineProbe(*engine).waveIn(), nullptr);
    EXPECT_TRUE(EngineProbe(*engine).storage().IsIdle());
    EXPECT_EQ(engine->Queue().size(), 0u) << "no capture command and no stale notification";
    Pump();
    EXPECT_TRUE(sink.events().empty());
    EXPECT_FALSE(test::FileExists(dir.file("rec.wav"))) << "a failed start leaves no file behind";
    EXPECT_EQ(cues.played, c.cuePlayed ? std::vector<std::string>{"RecStart"} : std::vector<std::string>{});
    EXPECT_EQ(in.count(DeviceCall::Start), 0);
}

const StartFailure kStartFailures[] = {
        StartFailure{"FreeSpaceQueryFails", wav::kCodeGsm,
                     [](EngineTest& t) { t.fs.failNth(Fault::FreeSpace, 1); }, 0x22000007, 5,
                     false},
        StartFailure{"MediaUnset", wav::kCodeGsm,
                     [](EngineTest& t) { EngineProbe(*t.engine).media() = std::nullopt; },
                     0x22000007, 5, false},
        StartFailure{"NoFreeSpace", wav::kCodePcm8k8,
                     [](EngineTest& t) { t.fs.setFreeSpace(0); }, 0x22000006, 7, false},
        StartFailure{"UnknownFormat", 0x00000002, [](EngineTest&) {}, 0x11000009, 8, false},
        StartFailure{"CreateGsm", wav::kCodeGsm,
                     [](EngineTest& t) { t.fs.failNth(Fault::Open, 1); }, 0x21000000, 957,
                     false},
        StartFailure{"CreatePcm", wav::kCodePcm8k16,
                     [](EngineTest& t) { t.fs.failNth(Fault::Open, 1); }, 0x22000008, 17,
                     false},
        // A new name that might not survive a power cut is no recording to start.
        StartFailure{"FolderSyncSlow", wav::kCodePcm8k16,
                     [](EngineTest& t) { t.fs.failNth(Fault::SyncFolder, 1); }, 0x22000008, 17, false},
        StartFailure{"FolderSyncFast", wav::kCodeGsm,
                     [](EngineTest& t) {
                         t.engine->SetStorage(t.dir.path(), platform::Media::Fast);
                         t.fs.failNth(Fault::SyncFolder, 1);
                     },
                     0x21000000, 957, false},
        StartFailure{"DeviceOpen", wav::kCodeGsm,
                     [](EngineTest& t) { t.in.fail(DeviceCall::Open, 1, mmr::Allocated); },
                     0x21000000, 1049, true},
        StartFailure{"DeviceRefusesFormat", wav::kCodePcm22k16,
                     [](EngineTest& t) {
                         t.in.refuse({1, 1, 22050, 44100, 2, 16, 0, 0});
                     },
                     0x21000000, 1049, true},
        StartFailure{"Prepare0", wav::kCodePcm8k8,
                     [](EngineTest& t) { t.in.fail(DeviceCall::Prepare, 1, mmr::NoMem); },
                     0x21000000, 1077, true},
        StartFailure{"Add0", wav::kCodePcm8k8,
                     [](EngineTest& t) { t.in.fail(DeviceCall::Add, 1, mmr::Error); },
                     0x21000000, 1085, true},
        StartFailure{"Prepare1", wav::kCodePcm11k16,
                     [](EngineTest& t) { t.in.fail(DeviceCall::Prepare, 2, mmr::NoMem); },
                     0x21000000, 1104, true},
        StartFailure{"Add1", wav::kCodeGsm,
                     [](EngineTest& t) { t.in.fail(DeviceCall::Add, 2, mmr::InvalidParam); },
                     0x21000000, 1114, true},
};

INSTANTIATE_TEST_SUITE_P(Steps, RecordStartFailureTest, ::testing::ValuesIn(kStartFailures),
                         CaseName<StartFailure>);

TEST_F(EngineTest, AFailedStartLeavesTheDeviceReadyForTheNext) {
    in.fail(DeviceCall::Add, 2, mmr::Error);
    ASSERT_EQ(Start(wav::kCodePcm8k8).Detail(), 1114u);
    // Header 0 was queued when header 1 failed: it was taken back before the close.
    EXPECT_EQ(in.queuedCount(), 0u);
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineRecording);
    EXPECT_EQ(in.queuedCount(), 2u);
}

TEST_F(EngineTest, BlockLargerThanTheEngineBlocksIsRefusedAfterTheOpen) {
    const platform::AudioFormat huge{1, 2, 96000, 96000 * 4, 4, 16, 0, 0};  // 76,800-byte blocks
    const ResultCode result = engine->OpenCapture(huge, kNewRecordingSteps);
    EXPECT_EQ(result.Code(), 0x12000002u);
    EXPECT_EQ(result.Detail(), 7u);
    EXPECT_EQ(in.count(DeviceCall::Open), 1);
    EXPECT_FALSE(in.isOpen());
    EXPECT_EQ(in.count(DeviceCall::Prepare), 0);
}

TEST_F(EngineTest, StartWithoutFormatOrWhileADeviceRunsDoesNothing) {
    EXPECT_TRUE(engine->RecordStart(dir.file("rec.wav")).Ok());  // no format chosen yet
    EXPECT_EQ(in.count(DeviceCall::Open), 0);

    ASSERT_TRUE(engine->SetFormat(wav::kCodeGsm));
    for (EngineState busy : {EngineState::EnginePlaying, EngineState::EngineRecording, EngineState::EngineStopping}) {
        EngineProbe(*engine).state() = busy;
        EXPECT_TRUE(engine->RecordStart(dir.file("rec.wav")).Ok());
        EXPECT_EQ(EngineProbe(*engine).state(), busy);
    }
    EXPECT_EQ(in.count(DeviceCall::Open), 0);
    EXPECT_EQ(engine->Queue().size(), 0u);
    EXPECT_FALSE(test::FileExists(dir.file("rec.wav")));
    EXPECT_TRUE(cues.played.empty());
}

TEST_F(EngineTest, SetFormatRefusesZero) {
    EXPECT_FALSE(engine->SetFormat(0));
    EXPECT_EQ(EngineProbe(*engine).formatMask(), 0u);
    EXPECT_TRUE(engine->SetFormat(wav::kCodePcm11k8));
    EXPECT_EQ(EngineProbe(*engine).formatMask(), wav::kCodePcm11k8);
}

struct FormatCase {
    std::uint32_t mask;
    platform::AudioFormat device;
    std::int32_t blockSize;
    std::uint32_t headerBytes;
};

class StartFormatTest : public EngineTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(StartFormatTest, OpensTheDeviceWithTheFirstFormatOfTheMask) {
    ASSERT_TRUE(Start(GetParam().mask).Ok());
    EXPECT_EQ(in.openedFormat(), GetParam().device);
    EXPECT_EQ(EngineProbe(*engine).blockSize(), GetParam().blockSize);
    EXPECT_EQ(EngineProbe(*engine).headers()[0].length, static_cast<std::uint32_t>(GetParam().blockSize));
    EXPECT_EQ(EngineProbe(*engine).headers()[0].data, EngineProbe(*engine).blocks()[0]);
    EXPECT_EQ(EngineProbe(*engine).headers()[1].data, EngineProbe(*engine).blocks()[1]);
    StopCapture();
    EXPECT_EQ(test::ReadBytes(dir.file("rec.wav")).size(), GetParam().headerBytes);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, StartFormatTest,
    ::testing::Values(FormatCase{0x10000000, {0x31, 1, 8000, 1625, 65, 0, 2, 320}, 325, 60},
                      FormatCase{0x20000000, {1, 1, 8000, 8000, 1, 8, 0, 0}, 1600, 44},
                      FormatCase{0x40000000, {1, 1, 8000, 16000, 2, 16, 0, 0}, 3200, 44},
                      FormatCase{0x00000001, {1, 1, 11025, 11025, 1, 8, 0, 0}, 2205, 44},
                      FormatCase{0x00000004, {1, 1, 11025, 22050, 2, 16, 0, 0}, 4410, 44},
                      FormatCase{0x00000010, {1, 1, 22050, 22050, 1, 8, 0, 0}, 4410, 44},
                      FormatCase{0x00000040, {1, 1, 22050, 44100, 2, 16, 0, 0}, 8820, 44},
                      // Several bits: GSM wins, then 8 kHz 8-bit, then 8 kHz 16-bit ...
                      FormatCase{0x70000000, {0x31, 1, 8000, 1625, 65, 0, 2, 320}, 325, 60},
                      FormatCase{0x60000045, {1, 1, 8000, 8000, 1, 8, 0, 0}, 1600, 44},
                      FormatCase{0x40000045, {1, 1, 8000, 16000, 2, 16, 0, 0}, 3200, 44},
                      FormatCase{0x00000054, {1, 1, 11025, 22050, 2, 16, 0, 0}, 4410, 44}));

TEST_F(EngineTest, SuccessfulStartHandsACompleteSetUpToTheEngineThread) {
    EngineProbe(*engine).currentHeader() = 1;
    EngineProbe(*engine).silentBlocks() = 7;
    EngineProbe(*engine).eventBase() = kEventBaseInsert;
    ASSERT_TRUE(engine->SetFormat(wav::kCodePcm8k8));
    ASSERT_TRUE(engine->RecordStart(dir.file("rec.wav")).Ok());
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineRecording);
    EXPECT_EQ(EngineProbe(*engine).currentHeader(), 0u);
    EXPECT_EQ(EngineProbe(*engine).silentBlocks(), 0);
    EXPECT_EQ(EngineProbe(*engine).eventBase(), kEventBasePlain);
    EXPECT_FALSE(EngineProbe(*engine).voiceActivated());
    EXPECT_EQ(in.log(), (std::vector<std::string>{"open", "prepare", "add", "prepare", "add"}));
    EXPECT_EQ(cues.played, std::vector<std::string>{"RecStart"});
    ASSERT_EQ(engine->Queue().size(), 1u);
    EXPECT_EQ(engine->Queue().tryTake()->id, kCmdStartCapture);
    EXPECT_TRUE(sink.events().empty()) << "the start event comes from the engine thread";
}

TEST_F(EngineTest, StartFromASelectedRecordingClosesItFirst) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8, {}, "first.wav").Ok());
    Fill(200);
    StopCapture();
    ASSERT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
    ASSERT_TRUE(Start(wav::kCodePcm8k8, {}, "second.wav").Ok());
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineRecording);
    EXPECT_EQ(Audio("first.wav"), Bytes(1600, 200));
}

TEST_F(EngineTest, ThresholdsComeFromThePercentagesAndTheFullScale) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8, {true, 10, true, 25, 4000}).Ok());
    EXPECT_EQ(EngineProbe(*engine).activationLevel(), 12);
    EXPECT_EQ(EngineProbe(*engine).silenceLevel(), 31);
    StopCapture();
    ASSERT_TRUE(Start(wav::kCodeGsm, {true, 10, true, 10, 4000}, "b.wav").Ok());
    EXPECT_EQ(EngineProbe(*engine).activationLevel(), 3276);
    EXPECT_EQ(EngineProbe(*engine).silenceLevel(), 3276);
    StopCapture();
    ASSERT_TRUE(Start(wav::kCodePcm8k16, {true, 100, true, 1, 4000}, "c.wav").Ok());
    EXPECT_EQ(EngineProbe(*engine).activationLevel(), 32767);
    EXPECT_EQ(EngineProbe(*engine).silenceLevel(), 327);
}

}  // namespace
}  // namespace tavrin::engine::testing
