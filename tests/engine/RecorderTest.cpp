// Capture on the engine thread, driven block by block: events and their
// order, what is stored, voice activation, silence cut, pause, stop, the
// too-slow watchdog and the level.
#include <gsm.h>

#include <cmath>
#include <filesystem>
#include <functional>

#include "engine/EngineHarness.h"
#include "wav/Formats.h"

namespace tavrin::engine::testing {
namespace {

using platform::ThreadPriority;

constexpr std::uint32_t kSent = 1;
constexpr std::uint32_t kPosted = 0;

std::vector<Event> Expected(std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> idAndSent) {
    std::vector<Event> events;
    for (auto [id, sent] : idAndSent) events.push_back({id, 0, 0, sent == kSent});
    return events;
}

// 200 ms GSM buffers of a 440 Hz tone, encoded the way a GSM device
// delivers them: one encoder running on from buffer to buffer.
class GsmTone {
public:
    GsmTone() {
        int on = 1;
        gsm_option(encoder, GSM_OPT_WAV49, &on);
    }
    ~GsmTone() { gsm_destroy(encoder); }

    std::vector<std::uint8_t> Next(double amplitude) {
        std::vector<std::uint8_t> out(325);
        gsm_signal frames[320];
        for (int block = 0; block < 5; ++block) {
            for (auto& sample : frames) {
                sample = static_cast<gsm_signal>(amplitude * std::sin(2 * M_PI * 440.0 * n++ / 8000.0));
            }
            gsm_encode(encoder, frames, out.data() + 65 * block);
            gsm_encode(encoder, frames + 160, out.data() + 65 * block + 32);
        }
        return out;
    }

private:
    gsm encoder = gsm_create();
    long n = 0;
};

TEST_F(EngineTest, PlainRecordingRaisesItsEventsInOrderWithTheirIds) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    EXPECT_TRUE(in.isStarted());
    Fill(150);
    engine->Pause();
    Pump();
    Fill(160);  // measured, not stored
    engine->Resume();
    Pump();
    Fill(170);
    StopCapture();
    EXPECT_EQ(sink.events(), Expected({{0x8015, kPosted},
                                       {0x8010, kPosted},
                                       {0x8011, kPosted},
                                       {0x8017, kSent},
                                       {0x8014, kSent}}));
    std::vector<std::uint8_t> expected = Bytes(1600, 150);
    const auto last = Bytes(1600, 170);
    expected.insert(expected.end(), last.begin(), last.end());
    EXPECT_EQ(Audio(), expected);
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
    EXPECT_EQ(EngineProbe(*engine).position(), 0u) << "a finished recording is selected at its start";
}

TEST_F(EngineTest, InsertEventBaseShiftsEveryRecordingEvent) {
    ASSERT_TRUE(engine->SetFormat(wav::kCodePcm8k8));
    engine->SetRecordingOptions({true, 10, true, 10, 200});
    ASSERT_TRUE(engine->RecordStart(dir.file("rec.wav")).Ok());
    EngineProbe(*engine).eventBase() = kEventBaseInsert;  // what an insert recording sets
    Pump();
    Fill(200);  // activates
    Fill(128);  // silent 1: stored
    Fill(128);  // silent 2: cut
    engine->Pause();
    Pump();
    StopCapture();
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kWmApp + 51, kWmApp + 52, kWmApp + 54, kWmApp + 16, kWmApp + 53,
                                                 kWmApp + 50}));
}

TEST_F(EngineTest, StopResetsSendsRecordEndClosesFinishesSendsFileReadyThenPlaysRecEnd) {
    ASSERT_TRUE(Start(wav::kCodePcm8k16).Ok());
    Fill16(1000);
    std::vector<std::string> seen;
    sink.onSend = [&](const Event& e) {
        if (e.message == kEvRecordEnd) {
            // Reset and unprepared, not yet closed, and the file not finished.
            EXPECT_TRUE(in.isOpen());
            EXPECT_EQ(in.queuedCount(), 0u);
            EXPECT_EQ(thread.priorities, std::vector<ThreadPriority>{ThreadPriority::BelowNormal});
            EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineRecording);
            EXPECT_EQ(test::ReadBytes(dir.file("rec.wav")).size(), 0u);
            seen.push_back("RecordEnd");
        } else if (e.message == kEvFileReady) {
            EXPECT_FALSE(in.isOpen());
            EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
            EXPECT_EQ(test::ReadBytes(dir.file("rec.wav")).size(), 44u + 3200u);
            EXPECT_EQ(thread.priorities, std::vector<ThreadPriority>{ThreadPriority::BelowNormal});
            EXPECT_EQ(cues.played, std::vector<std::string>{"RecStart"});
            seen.push_back("FileReady");
        }
    };
    StopCapture();
    EXPECT_EQ(seen, (std::vector<std::string>{"RecordEnd", "FileReady"}));
    EXPECT_EQ(thread.priorities,
              (std::vector<ThreadPriority>{ThreadPriority::BelowNormal, ThreadPriority::TimeCritical}));
    EXPECT_EQ(cues.played, (std::vector<std::string>{"RecStart", "RecEnd"}));
    const std::vector<std::string> tail(in.log().end() - 5, in.log().end());
    EXPECT_EQ(tail, (std::vector<std::string>{"add", "reset", "unprepare", "unprepare", "close"}));
    EXPECT_EQ(engine->Queue().size(), 0u) << "what the reset handed back is not handled as audio";
}

// A microphone that goes away hands back what it had (here a part-filled
// buffer), then reports the failure: the capture ends as on Stop, keeping
// every byte, and the user is told; in any other state the report is stale.
TEST_F(EngineTest, AFailedInputEndsTheCaptureKeepingWhatWasRecorded) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    Fill(150);
    Deliver(std::vector<std::uint8_t>(600, 151));
    ASSERT_TRUE(in.stopOnItsOwn(platform::mmr::BadDeviceId));
    Pump();
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvError, kEvRecordEnd, kEvFileReady}));
    EXPECT_EQ(sink.events()[1].wParam, rc::InputFailed);
    EXPECT_EQ(sink.events()[1].lParam, platform::mmr::BadDeviceId);
    EXPECT_FALSE(in.isOpen());
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
    std::vector<std::uint8_t> expected = Bytes(1600, 150);
    expected.resize(1600 + 600, 151);
    EXPECT_EQ(Audio(), expected);

    engine->Queue().post({kMmWimFailed, platform::mmr::BadDeviceId, 0});
    Pump();
    EXPECT_EQ(Ids().size(), 4u);
}

TEST_F(EngineTest, SecondStopFindsTheFileOpenAndIsIgnored) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    engine->Stop();
    engine->Stop();
    Pump();
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvRecordEnd, kEvFileReady}));
    EXPECT_EQ(in.count(DeviceCall::Reset), 1);
    EXPECT_EQ(cues.played.size(), 2u);
}

TEST_F(EngineTest, PauseAndResumeOutsideACaptureChangeNothing) {
    for (EngineState s : {EngineState::EngineClosed, EngineState::EngineFileOpen}) {
        EngineProbe(*engine).state() = s;
        engine->Pause();
        engine->Resume();
        engine->Stop();
        Pump();
        EXPECT_EQ(EngineProbe(*engine).state(), s);
    }
    EXPECT_TRUE(sink.events().empty());
}

TEST_F(EngineTest, SeekAndPlaybackMessagesAreIgnoredWithoutPlayback) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    Fill(140);
    StopCapture();
    sink.clear();
    for (std::uint32_t id : {kCmdSeek, kMmWomDone, kMmWomClose, kMmWimOpen, kMmWimClose, kWmApp + 99u}) {
        engine->Queue().post({id, 3, 0});
    }
    Pump();
    EXPECT_TRUE(sink.events().empty());
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
    EXPECT_EQ(EngineProbe(*engine).position(), 0u);
    EXPECT_FALSE(engine->HandleMessage({kWmQuit, 0, 0})) << "the quit message ends the thread loop";
}

TEST_F(EngineTest, BlocksAreStoredAndRequeuedAlternately) {
    ASSERT_TRUE(Start(wav::kCodePcm11k16).Ok());
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(in.front(), &EngineProbe(*engine).headers()[i % 2]);
        Fill16(static_cast<std::int16_t>(100 * (i + 1)));
        EXPECT_EQ(in.queuedCount(), 2u);
        EXPECT_EQ(EngineProbe(*engine).currentHeader(), static_cast<std::uint32_t>((i + 1) % 2));
        EXPECT_EQ(EngineProbe(*engine).position(), static_cast<std::uint32_t>(2205 * (i + 1)));
        EXPECT_EQ(EngineProbe(*engine).peak(), 100 * (i + 1));
    }
    StopCapture();
    EXPECT_EQ(Audio().size(), 5u * 4410u);
}

TEST_F(EngineTest, ANotificationForAForeignBufferIsIgnored) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    platform::WaveBuffer stranger{EngineProbe(*engine).blocks()[2], 1600, 1600, 0};
    engine->Queue().post({kMmWimData, 1600, &stranger});
    Pump();
    EXPECT_EQ(EngineProbe(*engine).position(), 0u);
    EXPECT_EQ(in.count(DeviceCall::Add), 2);
}

// --- Voice activation ----------------------------------------------------------

TEST_F(EngineTest, VoiceActivationDropsTheTriggeringBlockAndFiresOnce) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8, {true, 10, false, 10, 4000}).Ok());
    Fill(128 + 12);  // peak equal to the level: not yet
    Fill(128 - 12);
    EXPECT_FALSE(EngineProbe(*engine).voiceActivated());
    Fill(128 + 13);  // above: fires, block dropped
    EXPECT_TRUE(EngineProbe(*engine).voiceActivated());
    Fill(128 + 1);  // quiet, but the recording runs now
    Fill(255);
    StopCapture();
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvRecordActivated, kEvRecordEnd, kEvFileReady}));
    std::vector<std::uint8_t> expected = Bytes(1600, 129);
    const auto loud = Bytes(1600, 255);
    expected.insert(expected.end(), loud.begin(), loud.end());
    EXPECT_EQ(Audio(), expected);
}

TEST_F(EngineTest, VoiceActivationWithSilenceThroughoutRecordsNothing) {
    ASSERT_TRUE(Start(wav::kCodeGsm, {true, 10, false, 10, 4000}).Ok());
    GsmTone tone;
    const std::vector<std::uint8_t> silence = tone.Next(0);
    for (int i = 0; i < 10; ++i) ASSERT_NO_FATAL_FAILURE(Deliver(silence));
    StopCapture();
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvRecordEnd, kEvFileReady}));
    const auto file = test::ReadBytes(dir.file("rec.wav"));
    ASSERT_EQ(file.size(), 60u);
    EXPECT_EQ(wav::LoadLe32(&file[48]), 0u) << "no GSM blocks";
    EXPECT_EQ(wav::LoadLe32(&file[56]), 0u) << "no data";
}

// --- Silence cut ---------------------------------------------------------------

struct SilenceCase {
    unsigned silenceMs;
    int silentBlocks;
    int cuts;
    int silentBlocksKept;
};

class SilenceCutTest : public EngineTest, public ::testing::WithParamInterface<SilenceCase> {};

// A pause longer than the silence time keeps exactly that time: a pause one
// block longer must not vanish and glue the words together.
TEST_P(SilenceCutTest, LongSilencesKeepTheSilenceTimeAskedFor) {
    const SilenceCase& c = GetParam();
    ASSERT_TRUE(Start(wav::kCodePcm8k16, {false, 10, true, 10, c.silenceMs}).Ok());
    Fill16(20000);
    for (int i = 0; i < c.silentBlocks; ++i) ASSERT_NO_FATAL_FAILURE(Fill16(static_cast<std::int16_t>(1 + i % 7)));
    Fill16(-20000);
    StopCapture();
    int cuts = 0;
    for (std::uint32_t id : Ids()) cuts += id == kEvSilenceCut;
    EXPECT_EQ(cuts, c.cuts);

    const std::vector<std::uint8_t> audio = Audio();
    ASSERT_EQ(audio.size(), 3200u * static_cast<std::size_t>(2 + c.silentBlocksKept));
    EXPECT_EQ(static_cast<std::int16_t>(wav::LoadLe16(&audio[0])), 20000);
    // The silence kept is the start of the pause.
    for (int k = 0; k < c.silentBlocksKept; ++k) {
        EXPECT_EQ(wav::LoadLe16(&audio[3200u * static_cast<std::size_t>(k + 1)]), 1 + k % 7) << "block " << k;
    }
    EXPECT_EQ(static_cast<std::int16_t>(wav::LoadLe16(&audio[audio.size() - 2])), -20000);
}

INSTANTIATE_TEST_SUITE_P(Arithmetic, SilenceCutTest,
                         ::testing::Values(SilenceCase{4000, 20, 0, 20}, SilenceCase{4000, 21, 1, 20},
                                           SilenceCase{4000, 22, 1, 20}, SilenceCase{4000, 41, 1, 20},
                                           SilenceCase{4000, 42, 1, 20}, SilenceCase{4000, 50, 1, 20},
                                           SilenceCase{1000, 5, 0, 5}, SilenceCase{1000, 6, 1, 5},
                                           SilenceCase{1000, 13, 1, 5}, SilenceCase{3000, 16, 1, 15},
                                           SilenceCase{3000, 15, 0, 15}, SilenceCase{2000, 30, 1, 10}));

TEST_F(EngineTest, APeakEqualToTheSilenceLevelIsNotSilent) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8, {false, 10, true, 10, 200}).Ok());  // level 12, cut at the 2nd block
    Fill(128 + 11);
    EXPECT_EQ(EngineProbe(*engine).silentBlocks(), 1);
    Fill(128 + 12);
    EXPECT_EQ(EngineProbe(*engine).silentBlocks(), 0);
    Fill(128 - 11);
    Fill(128 + 11);  // second silent block in a row: cut
    StopCapture();
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvSilenceCut, kEvRecordEnd, kEvFileReady}));
    std::vector<std::uint8_t> expected = Bytes(1600, 139);
    for (std::uint8_t kept : {140, 117}) {
        const auto block = Bytes(1600, kept);
        expected.insert(expected.end(), block.begin(), block.end());
    }
    EXPECT_EQ(Audio(), expected);
}

TEST_F(EngineTest, SilenceCountingStartsAfterTheActivatingBlock) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8, {true, 50, true, 10, 400}).Ok());
    Fill(128);  // silent, before activation: neither stored nor counted
    Fill(128);
    EXPECT_EQ(EngineProbe(*engine).silentBlocks(), 0);
    Fill(250);  // activates, dropped
    Fill(128);
    Fill(128);
    Fill(128);  // third silent block: cut
    Fill(200);
    StopCapture();
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvRecordActivated, kEvSilenceCut, kEvRecordEnd,
                                                 kEvFileReady}));
    std::vector<std::uint8_t> expected = Bytes(3200, 128);  // the 400 ms of silence kept
    const auto speech = Bytes(1600, 200);
    expected.insert(expected.end(), speech.begin(), speech.end());
    EXPECT_EQ(Audio(), expected);
}

TEST_F(EngineTest, PausedBlocksAreMeasuredButNotStored) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8, {false, 10, true, 10, 200}).Ok());
    Fill(128);  // silent 1
    engine->Pause();
    Pump();
    const std::uint32_t position = EngineProbe(*engine).position();
    for (int i = 0; i < 4; ++i) ASSERT_NO_FATAL_FAILURE(Fill(128));  // silent, but paused: no cut
    EXPECT_EQ(EngineProbe(*engine).position(), position);
    Fill(0);
    EXPECT_EQ(EngineProbe(*engine).peak(), 128);
    EXPECT_EQ(engine->GetLevelPercent(), 100u);
    EXPECT_EQ(in.queuedCount(), 2u);
    engine->Resume();
    Pump();
    Fill(128);  // silent 2 in a row: cut
    StopCapture();
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvPausedOn, kEvPausedOff, kEvSilenceCut,
                                                 kEvRecordEnd, kEvFileReady}));
    EXPECT_EQ(Audio(), Bytes(1600, 128)) << "the 200 ms of silence kept";
}

// --- Storage failure and the watchdog ------------------------------------------

TEST_F(EngineTest, AFullBufferStopsTheCaptureThroughTheNormalStop) {
    // The memory buffer is the free space less 10,000 bytes: 262,144 bytes.
    fs.setFreeSpace(272'144);
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    int delivered = 0;
    while (EngineProbe(*engine).state() == EngineState::EngineRecording && delivered < 200) {
        ASSERT_NO_FATAL_FAILURE(Fill(static_cast<std::uint8_t>(100 + delivered % 100)));
        ++delivered;
    }
    EXPECT_EQ(delivered, 164) << "163 blocks of 1600 bytes fit after the 44-byte header";
    EXPECT_TRUE(EngineProbe(*engine).storageFault());
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
    EXPECT_FALSE(in.isOpen());
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvRecordEnd, kEvFileReady}));
    const std::vector<std::uint8_t> audio = Audio();
    ASSERT_EQ(audio.size(), 163u * 1600u);
    EXPECT_EQ(audio.front(), 100);
    EXPECT_EQ(audio.back(), 162);
    StopCapture();
    EXPECT_EQ(Ids().size(), 3u) << "the user's stop afterwards finds the file open";
}

// Why a capture on fast media ended by itself is told once its FileReady has
// come: a volume without room (the tools then say the storage-space text),
// another storage failure, or nothing when the user stopped it.
TEST_F(EngineTest, ACaptureTellsWhyItEndedByItself) {
    using Kind = platform::IoError::Kind;
    struct Case {
        const char* name;
        std::function<void(test::FaultyFileSystem&)> fault;
        Kind expected;
    };
    const Case cases[] = {
        {"volume without room", [](test::FaultyFileSystem& f) { f.setFreeSpace(600'000); }, Kind::Full},
        {"refused lengthening", [](test::FaultyFileSystem& f) { f.failNth(test::Fault::SetLength, 1, true); },
         Kind::Other},
        {"stopped", [](test::FaultyFileSystem&) {}, Kind::None},
    };
    engine->SetStorage(dir.path(), platform::Media::Fast);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs.setFreeSpace(64u << 20);
        ASSERT_TRUE(Start(wav::kCodePcm8k8, {}, std::string(c.name) + ".wav").Ok());
        c.fault(fs);
        for (int b = 0; b < 1000 && EngineProbe(*engine).state() == EngineState::EngineRecording; ++b) {
            ASSERT_NO_FATAL_FAILURE(Fill(100));
            if (c.expected == Kind::None && b == 3) StopCapture();
        }
        fs.resetFaults();
        EXPECT_EQ(engine->CaptureStoppedBy(), c.expected);
        ASSERT_TRUE(engine->CloseFile().Ok());
    }
}

// A device that does not start, or refuses a buffer back, must not leave a
// capture that looks running and saves nothing: the error is raised and the
// capture ends as a stop ends it, keeping what was stored.
TEST_F(EngineTest, ADeviceThatFailsDuringTheCaptureEndsItWithTheError) {
    struct Case {
        const char* name;
        DeviceCall call;
        int nth;
        int blocks;
        std::uint32_t detail;
    };
    const Case cases[] = {{"start", DeviceCall::Start, 1, 0, detail::StartInput},
                          {"first requeue", DeviceCall::Add, 3, 1, detail::RequeueInput},
                          {"later requeue", DeviceCall::Add, 5, 3, detail::RequeueInput}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        in.fail(c.call, c.nth + in.count(c.call), platform::mmr::Error);
        sink.clear();
        ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
        for (int b = 0; b < c.blocks; ++b) Fill(static_cast<std::uint8_t>(90 + b));
        const std::vector<Event> events = sink.events();
        ASSERT_EQ(events.size(), 4u);
        EXPECT_EQ(events[0].message, kEvRecordStart);
        EXPECT_EQ(events[1].message, kEvError);
        EXPECT_EQ(ResultCode(events[1].wParam, events[1].lParam), ResultCode(rc::StepFailed, c.detail));
        EXPECT_EQ(events[2].message, kEvRecordEnd);
        EXPECT_EQ(events[3].message, kEvFileReady);
        EXPECT_FALSE(in.isOpen());
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
        EXPECT_EQ(Audio().size(), 1600u * static_cast<unsigned>(c.blocks));
        ASSERT_TRUE(engine->CloseFile().Ok());
        ASSERT_TRUE(fs.remove(dir.file("rec.wav")));  // a new recording never replaces a file
    }
}

// The saving after a refused requeue runs inside the block's handling; its
// time is not the storing of a block, and no TooSlow follows FileReady.
TEST_F(EngineTest, ACaptureEndedByItsDeviceRaisesNoTooSlowForTheSaving) {
    clock.setCounterFrequency(1'000'000);
    fs.setFreeSpace(300'000);
    engine->SetStorage(dir.path(), platform::Media::Fast);
    in.fail(DeviceCall::Add, 3, platform::mmr::Error);
    sink.onSend = [&](const Event& e) {
        if (e.message == kEvRecordEnd) clock.advanceCounter(5'000'000);
    };
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    Fill(100);
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvError, kEvRecordEnd, kEvFileReady}));
}

struct SlowCase {
    const char* name;
    bool slowMedia;
    std::int64_t frequency;
    std::int64_t handlingCounts;
    int slowBlocks;
    bool tooSlow;
};

class TooSlowTest : public EngineTest, public ::testing::WithParamInterface<SlowCase> {};

TEST_P(TooSlowTest, RaisedOnceOnFastMediaWhenStoringTakesLongerThanASecond) {
    const SlowCase& c = GetParam();
    clock.setCounterFrequency(c.frequency);
    fs.setFreeSpace(300'000);  // fast media reserve all of it in the file
    engine->SetStorage(dir.path(), c.slowMedia ? platform::Media::Slow : platform::Media::Fast);
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    int slowLeft = 0;
    // The add that requeues a block is the last step of its handling.
    in.onAdd = [&](platform::WaveBuffer&) {
        if (slowLeft > 0) {
            --slowLeft;
            clock.advanceCounter(c.handlingCounts);
        }
    };
    slowLeft = c.slowBlocks;
    for (int i = 0; i < c.slowBlocks + 1; ++i) ASSERT_NO_FATAL_FAILURE(Fill(200));
    StopCapture();
    std::vector<Event> expected = Expected({{kEvRecordStart, kPosted}});
    if (c.tooSlow) expected.push_back({kEvTooSlow, 0, 0, true});
    for (const Event& e : Expected({{kEvRecordEnd, kSent}, {kEvFileReady, kSent}})) expected.push_back(e);
    EXPECT_EQ(sink.events(), expected);
    // Fast media cut the file back to its real length when it is closed.
    ASSERT_EQ(EngineProbe(*engine).storage().Close(), storage::Status::Ok);
    EXPECT_EQ(Audio().size(), 1600u * static_cast<std::size_t>(c.slowBlocks + 1)) << "the capture goes on";
}

const SlowCase kSlowCases[] = {SlowCase{"OneSecondExactlyIsNotTooSlow", false, 1'000'000, 1'000'000, 1, false},
                      SlowCase{"JustOverASecond", false, 1'000'000, 1'000'001, 1, true},
                      SlowCase{"AtMostOncePerCapture", false, 1'000'000, 5'000'000, 3, true},
                      SlowCase{"NeverOnSlowMedia", true, 1'000'000, 5'000'000, 3, false},
                      SlowCase{"NoCounterNoWatchdog", false, 0, 5'000'000, 2, false},
                      SlowCase{"OtherFrequency", false, 3'579'545, 3'579'546, 1, true}};

INSTANTIATE_TEST_SUITE_P(Watchdog, TooSlowTest, ::testing::ValuesIn(kSlowCases), CaseName<SlowCase>);

TEST_F(EngineTest, TooSlowCanBeRaisedAgainInTheNextCapture) {
    fs.setFreeSpace(300'000);
    engine->SetStorage(dir.path(), platform::Media::Fast);
    bool slow = false;
    in.onAdd = [&](platform::WaveBuffer&) {
        if (slow) clock.advanceCounter(2'000'000);
    };
    for (const char* name : {"a.wav", "b.wav"}) {
        ASSERT_TRUE(Start(wav::kCodePcm8k8, {}, name).Ok());
        EXPECT_FALSE(EngineProbe(*engine).storageFault());
        slow = true;
        Fill(150);
        slow = false;
        EXPECT_TRUE(EngineProbe(*engine).storageFault());
        StopCapture();
    }
    int tooSlow = 0;
    for (std::uint32_t id : Ids()) tooSlow += id == kEvTooSlow;
    EXPECT_EQ(tooSlow, 2);
}

// --- Level -----------------------------------------------------------------------

TEST_F(EngineTest, PeaksOfTheExtremeBlocks) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    Fill(128);
    EXPECT_EQ(EngineProbe(*engine).peak(), 0);
    EXPECT_EQ(engine->GetLevelPercent(), 0u);
    std::vector<std::uint8_t> block = Bytes(1600, 128);
    block[777] = 255;
    Deliver(block);
    EXPECT_EQ(EngineProbe(*engine).peak(), 127);
    EXPECT_EQ(engine->GetLevelPercent(), 100u);
    Fill(128 + 63);
    EXPECT_EQ(engine->GetLevelPercent(), 49u);  // 63 x 100 / 127
    StopCapture();

    ASSERT_TRUE(Start(wav::kCodePcm8k16, {}, "b.wav").Ok());
    block = Bytes(3200, 0);
    block[1234] = 0x00;
    block[1235] = 0x80;  // one sample of -32768
    Deliver(block);
    EXPECT_EQ(EngineProbe(*engine).peak(), 32768);
    EXPECT_EQ(engine->GetLevelPercent(), 100u);
    Fill16(16384);
    EXPECT_EQ(engine->GetLevelPercent(), 50u);  // 16384 x 100 / 32767
}

TEST_F(EngineTest, GsmBlocksAreStoredAsDeliveredAndMeasuredByDecoding) {
    ASSERT_TRUE(Start(wav::kCodeGsm).Ok());
    GsmTone tone;
    const std::vector<std::uint8_t> loud = tone.Next(20000);
    const std::vector<std::uint8_t> fade = tone.Next(0);
    const std::vector<std::uint8_t> quiet = tone.Next(500);
    Deliver(loud);
    const int loudPeak = EngineProbe(*engine).peak();
    Deliver(fade);
    Deliver(quiet);
    EXPECT_GT(loudPeak, 10000);
    EXPECT_LT(EngineProbe(*engine).peak(), 2000);
    EXPECT_EQ(EngineProbe(*engine).position(), 3u * 5u) << "GSM positions count 65-byte blocks";
    EXPECT_EQ(engine->GetLevelPercent(), static_cast<unsigned>(EngineProbe(*engine).peak() * 100 / 32767));
    StopCapture();
    std::vector<std::uint8_t> expected = loud;
    expected.insert(expected.end(), fade.begin(), fade.end());
    expected.insert(expected.end(), quiet.begin(), quiet.end());
    EXPECT_EQ(Audio("rec.wav", 60), expected);
}

// A device that encodes GSM itself measures each buffer before encoding it;
// that measure wakes a voice-activated recording and is the level. Buffers
// it did not measure are decoded as above.
TEST_F(EngineTest, GsmBuffersMeasuredByTheirDeviceAreNotDecoded) {
    ASSERT_TRUE(Start(wav::kCodeGsm, {true, 10, false, 10, 4000}).Ok());
    GsmTone tone;
    const std::vector<std::uint8_t> loud = tone.Next(20000);
    Deliver(loud, 0);
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart})) << "measured silent: still waiting";
    Deliver(loud, 32767);
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvRecordActivated}));
    struct Case {
        const char* name;
        std::int32_t measured;
        std::int32_t level;  // -1: decoded, loud
    };
    const Case cases[] = {{"measured loud", 32767, 32767}, {"measured quiet", 300, 300}, {"measured silent", 0, 0},
                          {"not measured", -1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Deliver(loud, c.measured);
        if (c.level >= 0) {
            EXPECT_EQ(EngineProbe(*engine).peak(), c.level);
        } else {
            EXPECT_GT(EngineProbe(*engine).peak(), 10000);
        }
        EXPECT_EQ(engine->GetLevelPercent(), static_cast<unsigned>(EngineProbe(*engine).peak() * 100 / 32767));
    }
    StopCapture();
}

TEST_F(EngineTest, ProbeAsksForTheSixOfferedFormatsOnly) {
    std::uint32_t mask = 0;
    ASSERT_TRUE(engine->ProbeFormats(mask));
    EXPECT_EQ(mask, 0x10000000u | 0x20000000u | 0x40000000u | 0x1u | 0x4u | 0x40u);

    in.refuse({0x31, 1, 8000, 1625, 65, 0, 2, 320});
    in.refuse({1, 1, 11025, 22050, 2, 16, 0, 0});
    mask = 0x80000000;  // bits already set are kept
    ASSERT_TRUE(engine->ProbeFormats(mask));
    EXPECT_EQ(mask, 0x80000000u | 0x20000000u | 0x40000000u | 0x1u | 0x40u);
    EXPECT_EQ(in.count(DeviceCall::Open), 0) << "probing opens nothing";

    in.setPresent(false);
    mask = 0;
    EXPECT_FALSE(engine->ProbeFormats(mask));
    EXPECT_EQ(mask, 0u);
}

// --- Level monitor ------------------------------------------------------------

// The meter of the Recording page: blocks are measured as a recording's are
// and go straight back to the device; nothing is stored and no event is
// raised. Stopping closes the device, and buffers still on their way are
// dropped rather than queued to a closed device.
TEST_F(EngineTest, LevelMonitorMeasuresWithoutStoringAndLetsGoOfTheDevice) {
    ASSERT_TRUE(engine->StartLevelMonitor(wav::kCodePcm8k8));
    EXPECT_TRUE(in.isOpen());
    EXPECT_TRUE(in.isStarted());
    EXPECT_EQ(in.queuedCount(), 2u);
    Fill(128 + 64);
    EXPECT_EQ(engine->MonitorLevelPercent(), 64u * 100u / 127u);
    EXPECT_EQ(in.queuedCount(), 2u) << "the buffer went back to the device";
    Fill(128);
    EXPECT_EQ(engine->MonitorLevelPercent(), 0u);
    EXPECT_TRUE(Ids().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.file("rec.wav")));

    ASSERT_TRUE(in.deliverFill(255));  // on its way when the page closes
    engine->StopLevelMonitor();
    Pump();
    EXPECT_FALSE(in.isOpen());
    EXPECT_FALSE(engine->LevelMonitorRunning());
    EXPECT_EQ(engine->MonitorLevelPercent(), 0u);
    EXPECT_EQ(in.count(DeviceCall::Add), 4) << "two at the start, one after each block measured, none after the stop";

    // A recording started while the meter runs takes the device over.
    ASSERT_TRUE(engine->StartLevelMonitor(wav::kCodePcm8k16));
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    EXPECT_FALSE(engine->LevelMonitorRunning());
    EXPECT_EQ(in.openedFormat().bitsPerSample, 8);
    EXPECT_FALSE(engine->StartLevelMonitor(wav::kCodePcm8k8)) << "refused while recording";
    Fill(200);
    StopCapture();
    EXPECT_EQ(Audio(), Bytes(1600, 200));
}

TEST_F(EngineTest, LevelMonitorThatCannotStartLeavesTheDeviceClosed) {
    for (const DeviceCall call : {DeviceCall::Open, DeviceCall::Prepare, DeviceCall::Add, DeviceCall::Start}) {
        const int nth = in.count(call) + 1;
        in.fail(call, nth, platform::mmr::NoMem);
        EXPECT_FALSE(engine->StartLevelMonitor(wav::kCodeGsm)) << static_cast<int>(call);
        EXPECT_FALSE(in.isOpen()) << static_cast<int>(call);
        EXPECT_FALSE(engine->LevelMonitorRunning());
    }
    EXPECT_FALSE(engine->StartLevelMonitor(0x80000000)) << "no format of the catalogue";
    EXPECT_TRUE(engine->StartLevelMonitor(wav::kCodeGsm));
    engine->StopLevelMonitor();
}

}  // namespace
}  // namespace tavrin::engine::testing
