// Playback driven buffer by buffer: selection and facts, the start with its
// retries and failures, feeding, pause, seek, stop, the end of a recording,
// the device errors of a stop, and the volume.
#include "engine/EngineHarness.h"
#include "wav/WavBytes.h"

namespace tavrin::engine::testing {
namespace {

using platform::mmr::Allocated;
using platform::mmr::Error;
using platform::mmr::NoError;

// Audio whose every byte tells where it came from.
std::vector<std::uint8_t> Pattern(std::size_t bytes) {
    std::vector<std::uint8_t> audio(bytes);
    for (std::size_t i = 0; i < bytes; ++i) audio[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return audio;
}

class PlayerTest : public EngineTest {
public:
    // Writes `name` as a recording of `audio` in `code`'s format.
    std::string Write(std::uint32_t code, const std::vector<std::uint8_t>& audio,
                      const std::string& name = "play.wav") {
        const wav::WaveFormat& record = wav::FindByCode(code)->format;
        test::WavBytes file = test::RecordingFile(record, static_cast<std::uint32_t>(audio.size()));
        std::copy(audio.begin(), audio.end(), file.bytes.end() - static_cast<std::ptrdiff_t>(audio.size()));
        test::WriteBytes(dir.file(name), file.bytes);
        return dir.file(name);
    }

    AudioFileInfo Open(std::uint32_t code, const std::vector<std::uint8_t>& audio) {
        AudioFileInfo info;
        EXPECT_TRUE(engine->OpenFile(Write(code, audio), platform::Media::Slow, info).Ok());
        return info;
    }

    // Plays buffers back until the output closes; false if it never did.
    bool PlayToEnd(int limit = 10000) {
        Pump();
        while (out.isOpen() && limit-- > 0) {
            if (!out.complete()) return false;
            Pump();
        }
        return !out.isOpen();
    }
};

TEST_F(PlayerTest, OpenFileReportsFormatAndLength) {
    struct Case {
        std::uint32_t code;
        std::size_t bytes;
        AudioFileInfo info;
    };
    const Case cases[] = {
        {wav::kCodePcm8k8, 12000, {0, 1, 8000, 8, 1500}},
        {wav::kCodePcm11k16, 22050 * 3 + 2, {0, 1, 11025, 16, 3000}},
        {wav::kCodePcm22k16, 4410, {0, 1, 22050, 16, 100}},
        {wav::kCodeGsm, 65 * 26, {1, 1, 1625, 520, 1040}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(Open(c.code, Pattern(c.bytes)), c.info);
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
        AudioFileInfo again;
        EXPECT_TRUE(engine->GetFileInfo("/no/such/file.wav", again).Ok()) << "the selected recording answers";
        EXPECT_EQ(again, c.info);
        EXPECT_TRUE(engine->CloseFile().Ok());
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineClosed);
        EXPECT_TRUE(engine->GetFileInfo(Write(c.code, Pattern(c.bytes), "other.wav"), again).Ok());
        EXPECT_EQ(again, c.info);
    }
}

TEST_F(PlayerTest, SelectionFailuresHaveTheirCodes) {
    AudioFileInfo info;
    EXPECT_EQ(engine->OpenFile(dir.file("missing.wav"), platform::Media::Slow, info), ResultCode(rc::StepFailed, 1996));
    EXPECT_EQ(EngineProbe(*engine).media(), platform::Media::Slow) << "set whether or not the selection works";
    EXPECT_EQ(engine->GetFileInfo(dir.file("missing.wav"), info), ResultCode(rc::StepFailed, 1442));
    test::WriteBytes(dir.file("short.wav"), std::string(43, 'R'));
    EXPECT_EQ(engine->GetFileInfo(dir.file("short.wav"), info), ResultCode(rc::StepFailed, 1442));
    test::WavBytes stereo = test::RecordingFile(test::PcmRecord(8000, 16, 2), 400);
    test::WriteBytes(dir.file("stereo.wav"), stereo.bytes);
    EXPECT_EQ(engine->GetFileInfo(dir.file("stereo.wav"), info), ResultCode(0x2200000D, 8));

    Open(wav::kCodePcm8k8, Pattern(8000));
    ASSERT_TRUE(engine->PlayStart().Ok());
    Pump();
    EXPECT_EQ(engine->OpenFile(dir.file("play.wav"), platform::Media::Slow, info), ResultCode(rc::StepFailed, 2023));
    EXPECT_EQ(engine->CloseFile(), ResultCode(rc::StepFailed, 2051));
    EXPECT_EQ(engine->GetFileInfo(dir.file("play.wav"), info), ResultCode(rc::StepFailed, 1402));
}

TEST_F(PlayerTest, PlaybackFeedsTwoBuffersAndPlaysExactlyTheRecording) {
    struct Case {
        std::uint32_t code;
        std::size_t bytes;
    };
    // Lengths that end inside a block, on a block boundary, and below one block.
    const Case cases[] = {{wav::kCodePcm8k8, 1600 * 3 + 77},  {wav::kCodePcm8k16, 3200 * 2},
                          {wav::kCodePcm22k16, 8820 + 4410}, {wav::kCodePcm11k8, 500},
                          {wav::kCodeGsm, 65 * 13},           {wav::kCodeGsm, 65 * 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.code << " " << c.bytes);
        sink.clear();
        const std::vector<std::uint8_t> audio = Pattern(c.bytes);
        Open(c.code, audio);
        const std::size_t before = out.played().size();
        ASSERT_TRUE(engine->PlayStart().Ok());
        Pump();
        EXPECT_LE(out.queuedCount(), 2u);
        EXPECT_GE(out.queuedCount(), 1u);
        ASSERT_TRUE(PlayToEnd());
        const std::vector<std::uint8_t> played(out.played().begin() + static_cast<std::ptrdiff_t>(before),
                                               out.played().end());
        EXPECT_EQ(played, audio);
        EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvPlayStart, kEvPlayEnd}));
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
        EXPECT_EQ(EngineProbe(*engine).position(), 0u);
        EXPECT_TRUE(engine->CloseFile().Ok());
    }
}

TEST_F(PlayerTest, PauseSeekResumeRaiseTheirEventsBetweenStartAndEnd) {
    Open(wav::kCodePcm8k8, Pattern(16000));
    ASSERT_TRUE(engine->PlayStart().Ok());
    Pump();
    engine->Pause();
    Pump();
    EXPECT_TRUE(out.isPaused());
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EnginePlayPaused);
    EXPECT_TRUE(engine->SetPosition(1000));
    Pump();
    EXPECT_EQ(EngineProbe(*engine).position(), 8000u);
    EXPECT_EQ(engine->GetPositionMs(), 1000u);
    engine->Resume();
    Pump();
    EXPECT_FALSE(out.isPaused());
    const std::size_t before = out.played().size();
    ASSERT_TRUE(PlayToEnd());
    // The two blocks queued before the seek still play; what is written
    // after them comes from 1 s on.
    EXPECT_EQ(before, 3200u);
    const std::vector<std::uint8_t> audio = Pattern(16000);
    const std::vector<std::uint8_t> tail(out.played().begin() + static_cast<std::ptrdiff_t>(before),
                                         out.played().end());
    EXPECT_EQ(tail, std::vector<std::uint8_t>(audio.begin() + 8000, audio.end()));
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvPlayStart, kEvPausedOn, kEvPosSet, kEvPausedOff, kEvPlayEnd}));
}

// A sound server reports a buffer once it has been heard, so the buffers
// played out just before a pause come back during it. They must be filled
// again at the resume, or playback limps on one buffer and never ends.
TEST_F(PlayerTest, BuffersHeardDuringAPausePlayOnAfterTheResume) {
    struct Case {
        const char* name;
        std::uint32_t code;
        std::size_t bytes;
        int backInPause;
    };
    const Case cases[] = {{"gsm_one_back", wav::kCodeGsm, 65 * 30, 1},
                          {"gsm_both_back", wav::kCodeGsm, 65 * 30, 2},
                          {"pcm_one_back", wav::kCodePcm8k8, 1600 * 6 + 5, 1},
                          {"last_piece_back", wav::kCodePcm8k8, 1600 + 300, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink.clear();
        const std::vector<std::uint8_t> audio = Pattern(c.bytes);
        Open(c.code, audio);
        const std::size_t before = out.played().size();
        ASSERT_TRUE(engine->PlayStart().Ok());
        Pump();
        ASSERT_TRUE(out.complete());
        Pump();
        engine->Pause();
        Pump();
        const std::size_t queued = out.queuedCount();
        for (int i = 0; i < c.backInPause; ++i) ASSERT_TRUE(out.completeHeard());
        Pump();
        EXPECT_EQ(out.queuedCount(), queued - c.backInPause) << "nothing new is queued while paused";
        engine->Resume();
        ASSERT_TRUE(PlayToEnd());
        const std::vector<std::uint8_t> played(out.played().begin() + static_cast<std::ptrdiff_t>(before),
                                               out.played().end());
        EXPECT_EQ(played, audio);
        EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvPlayStart, kEvPausedOn, kEvPausedOff, kEvPlayEnd}));
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
        EXPECT_TRUE(engine->CloseFile().Ok());
    }
}

TEST_F(PlayerTest, StopFromPlayingAndFromPausedEndsWithPlayEnd) {
    for (const bool paused : {false, true}) {
        SCOPED_TRACE(paused);
        sink.clear();
        Open(wav::kCodePcm8k8, Pattern(16000));
        ASSERT_TRUE(engine->PlayStart().Ok());
        Pump();
        ASSERT_TRUE(out.complete());
        Pump();
        if (paused) {
            engine->Pause();
            Pump();
        }
        engine->Stop();
        // Queued behind the stop, the seek finds the engine stopping.
        EXPECT_TRUE(engine->SetPosition(1500));
        Pump();
        EXPECT_FALSE(out.isOpen());
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
        const std::vector<std::uint32_t> ids = sink.ids();
        EXPECT_EQ(std::count(ids.begin(), ids.end(), kEvPosSet), 0);
        EXPECT_EQ(EngineProbe(*engine).pendingOut(), 0u);
        EXPECT_EQ(sink.ids().back(), kEvPlayEnd);
        // One piece was heard and reading had got two pieces further: an
        // edit after the stop starts where the listener stopped hearing.
        EXPECT_EQ(EngineProbe(*engine).position(), 1600u) << "the first piece not heard";
        EXPECT_EQ(EngineProbe(*engine).storage().CurrentReadSample(), 1600u);
        // A seek that arrives after the stop finds nothing to do.
        engine->Queue().post({kCmdSeek, 100, 0});
        Pump();
        EXPECT_EQ(EngineProbe(*engine).position(), 1600u);
        EXPECT_TRUE(engine->CloseFile().Ok());
    }
}

TEST_F(PlayerTest, StopAfterTheLastPieceDoesNotShortenTheNextPlayback) {
    const std::vector<std::uint8_t> audio = Pattern(1600 + 300);
    Open(wav::kCodePcm8k8, audio);
    ASSERT_TRUE(engine->PlayStart().Ok());
    Pump();  // both pieces queued: the last one is among them
    EXPECT_TRUE(EngineProbe(*engine).lastPieceQueued());
    engine->Stop();
    Pump();
    EXPECT_FALSE(EngineProbe(*engine).lastPieceQueued());
    const std::size_t before = out.played().size();
    ASSERT_TRUE(engine->PlayStart().Ok());
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(out.played().size() - before, audio.size()) << "the whole recording plays again";
}

// After the last piece was read a returned buffer is not filled again; a
// seek back must refill it, or playback goes on one buffer at a time with a
// gap after every block. Lengths ending on a block boundary (nothing left to
// read) and inside a block.
TEST_F(PlayerTest, SeekAfterTheLastPieceKeepsTwoBuffersInFlight) {
    for (const std::size_t bytes : {std::size_t{1600 * 2}, std::size_t{1600 + 300}}) {
        SCOPED_TRACE(bytes);
        const std::vector<std::uint8_t> audio = Pattern(bytes);
        Open(wav::kCodePcm8k8, audio);
        ASSERT_TRUE(engine->PlayStart().Ok());
        Pump();
        ASSERT_TRUE(out.complete());
        Pump();
        ASSERT_EQ(out.queuedCount(), 1u) << "the end of the recording was reached";
        const std::size_t before = out.played().size();
        EXPECT_TRUE(engine->SetPosition(0));
        Pump();
        EXPECT_EQ(out.queuedCount(), 2u);
        ASSERT_TRUE(PlayToEnd());
        const std::vector<std::uint8_t> replayed(out.played().begin() + static_cast<std::ptrdiff_t>(before),
                                                 out.played().end());
        EXPECT_EQ(replayed, audio);
        EXPECT_TRUE(engine->CloseFile().Ok());
    }
}

TEST_F(PlayerTest, PositionsFollowTheFormatsUnits) {
    Open(wav::kCodeGsm, Pattern(65 * 100));
    EXPECT_TRUE(engine->SetPosition(1000));
    EXPECT_EQ(EngineProbe(*engine).position(), 25u);
    EXPECT_EQ(engine->GetPositionMs(), 1000u);
    EXPECT_EQ(Ids(), std::vector<std::uint32_t>{kEvPosSet});
    // Beyond the end storage refuses, and the position stays where it stands.
    EXPECT_TRUE(engine->SetPosition(10'000));
    EXPECT_EQ(EngineProbe(*engine).position(), 25u);
    EXPECT_TRUE(engine->CloseFile().Ok());
    EXPECT_FALSE(engine->SetPosition(0)) << "nothing is selected";

    Open(wav::kCodePcm11k16, Pattern(22050 * 2));
    EXPECT_TRUE(engine->SetPosition(1500));
    EXPECT_EQ(EngineProbe(*engine).position(), 16537u);
    EXPECT_EQ(engine->GetPositionMs(), 1499u) << "truncated both ways";
}

TEST_F(PlayerTest, BusyDeviceIsRetriedThreeTimesAfterOneHundredMilliseconds) {
    clock.tickStep = 7;
    struct Case {
        int busyOpens;
        bool starts;
    };
    for (const Case c : {Case{1, true}, Case{3, true}, Case{4, false}}) {
        SCOPED_TRACE(c.busyOpens);
        Open(wav::kCodePcm8k8, Pattern(4000));
        const int opensBefore = out.count(DeviceCall::Open);
        for (int n = 1; n <= c.busyOpens; ++n) out.fail(DeviceCall::Open, opensBefore + n, Allocated);
        const std::uint32_t startTick = clock.tickCount();
        const ResultCode result = engine->PlayStart();
        EXPECT_GE(clock.tickCount() - startTick, 100u) << "waited by the tick count";
        if (c.starts) {
            EXPECT_TRUE(result.Ok());
            EXPECT_EQ(out.count(DeviceCall::Open) - opensBefore, c.busyOpens + 1);
            ASSERT_TRUE(PlayToEnd());
        } else {
            EXPECT_EQ(result, ResultCode(rc::StepFailed, 534));
            EXPECT_EQ(out.count(DeviceCall::Open) - opensBefore, 4);
            EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineClosed) << "the selection is dropped";
        }
        static_cast<void>(engine->CloseFile());
    }
}

TEST_F(PlayerTest, StartFailuresDropTheSelectionAndRaiseNothing) {
    struct Case {
        DeviceCall call;
        int nth;
        std::uint32_t detail;
    };
    for (const Case c : {Case{DeviceCall::Open, 1, 534}, Case{DeviceCall::Prepare, 1, 556},
                         Case{DeviceCall::Prepare, 2, 575}}) {
        SCOPED_TRACE(c.detail);
        sink.clear();
        Open(wav::kCodePcm8k8, Pattern(4000));
        out.fail(c.call, out.count(c.call) + c.nth, Error);
        EXPECT_EQ(engine->PlayStart(), ResultCode(rc::StepFailed, c.detail));
        Pump();
        EXPECT_FALSE(out.isOpen());
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineClosed);
        EXPECT_TRUE(EngineProbe(*engine).storage().IsIdle());
        EXPECT_TRUE(sink.ids().empty());
    }
}

TEST_F(PlayerTest, BlockLargerThanTheDeviceBuffersIsRefused) {
    test::WavBytes big = test::RecordingFile(test::PcmRecord(120000, 16), 4800);
    test::WriteBytes(dir.file("big.wav"), big.bytes);
    AudioFileInfo info;
    ASSERT_TRUE(engine->OpenFile(dir.file("big.wav"), platform::Media::Slow, info).Ok());
    EXPECT_EQ(engine->PlayStart(), ResultCode(0x22000002, 7));
    EXPECT_EQ(out.count(DeviceCall::Open), 0);
}

TEST_F(PlayerTest, DeviceFailuresWhileStoppingArePostedAndPlaybackStillEnds) {
    struct Case {
        DeviceCall call;
        std::uint32_t code;
    };
    for (const Case c : {Case{DeviceCall::Reset, 0x2100000F}, Case{DeviceCall::Unprepare, 0x21000010},
                         Case{DeviceCall::Close, 0x21000011}}) {
        SCOPED_TRACE(c.code);
        sink.clear();
        Open(wav::kCodePcm8k8, Pattern(8000));
        ASSERT_TRUE(engine->PlayStart().Ok());
        Pump();
        out.fail(c.call, out.count(c.call) + 1, platform::mmr::InvalidHandle);
        engine->Stop();
        Pump();
        // A failed reset leaves buffers queued; the device hands them back
        // when it finally lets go of them.
        while (out.complete()) Pump();
        if (out.isOpen()) {
            static_cast<void>(out.reset());
            static_cast<void>(out.close());
            Pump();
        }
        const std::vector<Event> events = sink.events();
        const Event error{kEvError, c.code, platform::mmr::InvalidHandle, false};
        EXPECT_NE(std::find(events.begin(), events.end(), error), events.end());
        EXPECT_EQ(events.back().message, kEvPlayEnd);
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
        EXPECT_TRUE(engine->CloseFile().Ok());
    }
}

TEST_F(PlayerTest, ReadFailureEndsPlaybackLikeAStop) {
    Open(wav::kCodePcm8k8, Pattern(4'000'000));
    ASSERT_TRUE(engine->PlayStart().Ok());
    Pump();
    fs.failNth(test::Fault::Read, 1, true);
    for (int i = 0; i < 2000 && out.isOpen(); ++i) {
        if (!out.complete()) break;
        Pump();
    }
    fs.resetFaults();
    EXPECT_FALSE(out.isOpen());
    EXPECT_EQ(Ids().back(), kEvPlayEnd);
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
}

TEST_F(PlayerTest, VolumeOutsideZeroToHundredChangesNothing) {
    struct Case {
        std::int32_t percent;
        int calls;
        std::uint32_t volume;
    };
    for (const Case c : {Case{101, 0, 0}, Case{-1, 0, 0}, Case{100, 1, 0xFFFFFFFF}, Case{50, 1, 0x7FFF7FFF},
                         Case{0, 1, 0}}) {
        SCOPED_TRACE(c.percent);
        const int before = out.count(DeviceCall::SetVolume);
        static_cast<void>(out.setVolume(0x12341234));
        EXPECT_TRUE(engine->SetVolume(c.percent).Ok());
        std::uint32_t volume = 0;
        ASSERT_EQ(out.getVolume(volume), NoError);
        EXPECT_EQ(out.count(DeviceCall::SetVolume) - before - 1, c.calls);
        EXPECT_EQ(volume, c.calls ? c.volume : 0x12341234u);
    }
    out.fail(DeviceCall::SetVolume, out.count(DeviceCall::SetVolume) + 1, Error);
    EXPECT_EQ(engine->SetVolume(30), ResultCode(rc::StepFailed, 1305));
    out.setPresent(false);
    EXPECT_TRUE(engine->SetVolume(30).Ok());
}

}  // namespace
}  // namespace tavrin::engine::testing
