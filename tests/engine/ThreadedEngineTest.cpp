// The engine on a real thread with file-backed devices, while the test thread
// does what the window does: polls "Left:", the position and the level every
// time round, winds during playback, and answers the sent events. Run under
// ThreadSanitizer (the tsan preset) this proves the hand-over between the two
// threads; elsewhere it checks that record, stop and play go round and round.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "engine/AudioEngine.h"
#include "platform/file/FileWaveIn.h"
#include "platform/file/FileWaveOut.h"
#include "platform/posix/PosixClock.h"
#include "support/EngineProbe.h"
#include "support/FakeMemory.h"
#include "support/FaultyFileSystem.h"
#include "support/RecordingShell.h"
#include "support/TempDir.h"
#include "wav/Formats.h"
#include "wav/WavBytes.h"

namespace tavrin::engine::testing {
namespace {

constexpr auto kGuard = std::chrono::seconds(60);  // against a hung engine, not a timing assumption

// The window's side of the event sink: events wait in a queue for the test
// thread, and a sender waits until the test thread has handled its event.
class UiThreadSink : public platform::EventSink {
public:
    struct Event {
        std::uint32_t message = 0;
        std::uint32_t wParam = 0;
        bool sent = false;
    };

    void post(std::uint32_t message, std::uint32_t wParam, std::uint32_t) override {
        std::lock_guard lock(mutex);
        events.push_back({message, wParam, false});
        changed.notify_all();
    }
    void send(std::uint32_t message, std::uint32_t wParam, std::uint32_t) override {
        std::unique_lock lock(mutex);
        events.push_back({message, wParam, true});
        const std::uint64_t ticket = ++sentCount;
        changed.notify_all();
        changed.wait(lock, [&] { return handledCount >= ticket; });
    }

    // The next event, if one came; never blocks.
    std::optional<Event> take() {
        std::lock_guard lock(mutex);
        if (events.empty()) return std::nullopt;
        Event e = events.front();
        events.pop_front();
        return e;
    }
    // Releases the sender of `event` once the test thread is done with it.
    void handled(const Event& event) {
        if (!event.sent) return;
        std::lock_guard lock(mutex);
        ++handledCount;
        changed.notify_all();
    }
    // Blocks until an event is waiting; false after the guard time.
    bool waitAny() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kGuard, [&] { return !events.empty(); });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Event> events;
    std::uint64_t sentCount = 0;
    std::uint64_t handledCount = 0;
};

class NoPriorities : public platform::Thread {
public:
    void setCurrentPriority(platform::ThreadPriority) override {}
};

// A 2-second microphone signal at 8 kHz 8-bit, a ramp the level meter sees.
platform::file::InputSignal Microphone() {
    test::WavBytes file = test::RecordingFile(test::PcmRecord(8000, 8), 16000);
    for (std::size_t i = 44; i < file.bytes.size(); ++i) file.bytes[i] = static_cast<std::uint8_t>(i * 5);
    std::string error;
    return std::move(*platform::file::InputSignal::Parse(std::move(file.bytes), error));
}

class ThreadedEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory.setAvailablePhysical(4u << 20);
        fs.setFreeSpace(64u << 20);
        ASSERT_TRUE(in.Use(Microphone()));
        engine = std::make_unique<AudioEngine>(EngineServices{in, out, fs, memory, system, shell, clock, thread, cues,
                                                              [this](std::function<void()> body) {
                                                                  worker = std::thread(std::move(body));
                                                                  return true;
                                                              },
                                                              dir.file("state")});
        ASSERT_TRUE(engine->Init(sink).Ok());
        engine->SetStorage(dir.path(), platform::Media::Slow);
        ASSERT_TRUE(engine->SetFormat(wav::kCodePcm8k8));
    }

    void TearDown() override {
        engine->Quit();
        if (worker.joinable()) worker.join();
    }

    // What the window's timers do while it waits for the engine.
    void Poll() {
        polled += engine->RemainingSeconds(wav::kCodePcm8k8, dir.path(), platform::Media::Slow) >= 0;
        polled += engine->GetPositionMs() < 1'000'000;
        polled += engine->GetLevelPercent() <= 100;
        // A user winding again and again: while a device runs the seek is
        // queued, once the engine is idle it moves the storage right here.
        if (winding) polled += engine->SetPosition(0);
        // A user pressing Mark while the engine thread records or plays.
        if (marking && engine->GetPositionMs() >= nextMarkMs) {
            std::string label;
            marksMade += engine->AddMark(label);
            nextMarkMs = engine->GetPositionMs() + 1;
            polled += engine->MarkCount() > 0;
        }
    }

    // Handles events, polling between them, until `last` was handled; each
    // handled event goes to `onEvent` first (the sender still waits).
    bool RunUntil(std::uint32_t last, const std::function<void(std::uint32_t)>& onEvent = {}) {
        for (;;) {
            Poll();
            std::optional<UiThreadSink::Event> e = sink.take();
            if (!e) {
                if (!sink.waitAny()) return false;
                continue;
            }
            EXPECT_NE(e->message, kEvError) << std::hex << e->wParam;
            if (onEvent) onEvent(e->message);
            sink.handled(*e);
            if (e->message == last) return true;
        }
    }

    // Records until the engine has stored `samples`, stopping from this
    // thread, and reopens the result as the window does at FileReady.
    void RecordAndReopen(const std::string& path, std::uint32_t samples) {
        ASSERT_TRUE(engine->RecordStart(path).Ok());
        ASSERT_TRUE(RunUntil(kEvRecordStart));
        EngineProbe probe(*engine);
        while (probe.position() < samples && probe.state() == EngineState::EngineRecording) Poll();
        ASSERT_TRUE(engine->Stop());
        ASSERT_TRUE(RunUntil(kEvFileReady, [&](std::uint32_t message) {
            if (message != kEvFileReady) return;
            AudioFileInfo info;
            ASSERT_TRUE(engine->CloseFile().Ok());
            ASSERT_TRUE(engine->OpenFile(path, platform::Media::Slow, info).Ok());
            EXPECT_GE(info.durationMs, samples / 8u);
            ASSERT_TRUE(engine->SetPosition(0));
        }));
    }

    test::TempDir dir;
    test::FaultyFileSystem fs;
    test::FakeMemory memory{fs.plan()};
    test::FakeSystemInfo system;
    test::RecordingShell shell;
    platform::SteadyClock clock;
    NoPriorities thread;
    platform::SilentCues cues;
    platform::file::FileWaveIn in{fs};
    platform::file::FileWaveOut out{fs, dir.file("speaker.wav")};
    UiThreadSink sink;
    std::thread worker;
    std::unique_ptr<AudioEngine> engine;
    int polled = 0;
    bool winding = false;
    bool marking = false;
    std::uint32_t marksMade = 0;
    std::uint32_t nextMarkMs = 0;  // one mark at each place
};

// Stop and the saving that follows run on the engine thread while this
// thread keeps reading "Left:" and the position, as the window's timers do.
TEST_F(ThreadedEngineTest, RecordStopAndPlayGoRoundWhileTheUiThreadPolls) {
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const std::string path = dir.file("Recording" + std::to_string(round + 1) + ".wav");
        ASSERT_NO_FATAL_FAILURE(RecordAndReopen(path, 4000 + 1600 * static_cast<std::uint32_t>(round)));
        ASSERT_TRUE(engine->PlayStart().Ok());
        int winds = 0;
        ASSERT_TRUE(RunUntil(kEvPlayEnd, [&](std::uint32_t message) {
            // Wind back twice from the position events of the playback itself.
            if (message == kEvPlayStart || (message == kEvPosSet && winds < 2)) {
                ++winds;
                EXPECT_TRUE(engine->SetPosition(static_cast<std::int32_t>(engine->GetPositionMs() / 2)));
            }
        }));
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
        ASSERT_TRUE(engine->CloseFile().Ok());
    }
    EXPECT_EQ(shell.boxes().size(), 0u);
    EXPECT_GT(polled, 0);
    // Each recording's buffer went to a spool beside its journal; both go once it is saved.
    EXPECT_EQ(fs.list(dir.file("state")).value_or(std::vector<platform::DirectoryEntry>{{}}).size(), 0u);
}

// As the program ends: the engine's thread finishes what it was asked before
// the quit, the saving of a recording included, and ends only once this
// thread has answered all it sent; a recording whole on disk is what is left.
TEST_F(ThreadedEngineTest, QuitEndsTheThreadOnlyOnceWhatWasAskedBeforeIsDone) {
    const std::string path = dir.file("Recording1.wav");
    ASSERT_TRUE(engine->RecordStart(path).Ok());
    ASSERT_TRUE(RunUntil(kEvRecordStart));
    EngineProbe probe(*engine);
    while (probe.position() < 4000 && probe.state() == EngineState::EngineRecording) Poll();
    ASSERT_TRUE(engine->Stop());
    engine->Quit();
    // The end of the recording is sent, and waits for this thread.
    EXPECT_FALSE(engine->WaitThreadEnded(std::chrono::milliseconds(0)));
    ASSERT_TRUE(RunUntil(kEvFileReady));
    EXPECT_TRUE(engine->WaitThreadEnded(kGuard));
    AudioFileInfo info;
    ASSERT_TRUE(engine->GetFileInfo(path, info).Ok());
    EXPECT_GE(info.durationMs, 500u);
    EXPECT_EQ(fs.list(dir.file("state")).value_or(std::vector<platform::DirectoryEntry>{{}}).size(), 0u);
}

// Stopping a playback while the user keeps winding: the engine closes the
// device and hands the recording back, and the first seek that finds it idle
// works on the storage from this thread.
TEST_F(ThreadedEngineTest, WindingWhilePlaybackStopsHandsTheStorageOverCleanly) {
    ASSERT_NO_FATAL_FAILURE(RecordAndReopen(dir.file("Recording1.wav"), 8000));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(engine->PlayStart().Ok());
        ASSERT_TRUE(RunUntil(kEvPlayStart));
        winding = true;
        ASSERT_TRUE(engine->Stop());
        ASSERT_TRUE(RunUntil(kEvPlayEnd));
        winding = false;
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
    }
    ASSERT_TRUE(engine->CloseFile().Ok());
}

// Marks made from this thread while the engine thread records (the change
// logs them and lays them out at its end) and while it plays (it writes them
// into the file itself), then reached again with Next and Previous.
TEST_F(ThreadedEngineTest, MarksWhileRecordingAndPlayingReachTheFile) {
    marking = true;
    ASSERT_NO_FATAL_FAILURE(RecordAndReopen(dir.file("Recording1.wav"), 8000));
    EXPECT_EQ(engine->MarkCount(), marksMade) << "every mark made while recording is in the file";
    ASSERT_TRUE(engine->PlayStart().Ok());
    nextMarkMs = 0;
    ASSERT_TRUE(RunUntil(kEvPlayEnd));
    marking = false;
    EXPECT_GE(marksMade, 2u);
    EXPECT_EQ(engine->MarkCount(), marksMade);
    ASSERT_TRUE(engine->CloseFile().Ok());
    AudioFileInfo info;
    ASSERT_TRUE(engine->OpenFile(dir.file("Recording1.wav"), platform::Media::Slow, info).Ok());
    EXPECT_EQ(engine->MarkCount(), marksMade) << "every mark made while playing is in the file";

    // At rest, at known places: Next and Previous go from one to the next.
    std::string label;
    for (const std::int32_t ms : {300, 600}) {
        ASSERT_TRUE(engine->SetPosition(ms));
        ASSERT_TRUE(RunUntil(kEvPosSet));
        ASSERT_TRUE(engine->AddMark(label));
    }
    EXPECT_EQ(label, "Mark " + std::to_string(marksMade + 2));
    ASSERT_TRUE(engine->SetPosition(450));
    ASSERT_TRUE(RunUntil(kEvPosSet));
    ASSERT_TRUE(engine->SeekToMark(false));
    ASSERT_TRUE(RunUntil(kEvPosSet));
    // The closest mark before: 300 ms, or one made while recording or playing.
    EXPECT_GE(engine->GetPositionMs(), 300u);
    EXPECT_LT(engine->GetPositionMs(), 450u);
    ASSERT_TRUE(engine->SetPosition(450));
    ASSERT_TRUE(RunUntil(kEvPosSet));
    ASSERT_TRUE(engine->SeekToMark(true));
    ASSERT_TRUE(RunUntil(kEvPosSet));
    EXPECT_GT(engine->GetPositionMs(), 450u);
    EXPECT_LE(engine->GetPositionMs(), 600u);
    ASSERT_TRUE(engine->CloseFile().Ok());
    EXPECT_EQ(shell.boxes().size(), 0u);
}

// A cut may be undone after playing it through; a mark made while playing,
// written by the engine thread, ends that chance, and the undo after a later
// cut gives back the length.
TEST_F(ThreadedEngineTest, PlayingKeepsTheUndoOfACutAndAMarkWhilePlayingEndsIt) {
    ASSERT_NO_FATAL_FAILURE(RecordAndReopen(dir.file("Recording1.wav"), 8000));
    const std::string path = dir.file("Recording1.wav");
    AudioFileInfo info;
    ASSERT_TRUE(engine->GetFileInfo(path, info).Ok());
    const std::uint32_t lengthMs = info.durationMs;
    ASSERT_EQ(engine->CutBlocks(0, 2000, AudioEngine::Undo::Keep), AudioEngine::CutResult::Cut);
    ASSERT_TRUE(engine->CanUndoCut());
    ASSERT_TRUE(engine->PlayStart().Ok());
    EXPECT_FALSE(engine->CanUndoCut()) << "offered while playing";
    ASSERT_TRUE(RunUntil(kEvPlayEnd));
    EXPECT_TRUE(engine->CanUndoCut()) << "playing is no change";

    ASSERT_TRUE(engine->SetPosition(0));
    ASSERT_TRUE(RunUntil(kEvPosSet));
    marking = true;
    nextMarkMs = 0;
    ASSERT_TRUE(engine->PlayStart().Ok());
    ASSERT_TRUE(RunUntil(kEvPlayEnd));
    marking = false;
    ASSERT_GE(marksMade, 1u);
    EXPECT_FALSE(engine->CanUndoCut()) << "a mark made while playing left the cut undoable";
    EXPECT_EQ(engine->UndoCut(), AudioEngine::CutResult::Failed);

    ASSERT_EQ(engine->CutBlocks(1000, 3000, AudioEngine::Undo::Keep), AudioEngine::CutResult::Cut);
    ASSERT_EQ(engine->UndoCut(), AudioEngine::CutResult::Cut);
    ASSERT_TRUE(engine->GetFileInfo(path, info).Ok());
    EXPECT_EQ(info.durationMs, lengthMs - 250) << "the first cut stays, the second is undone";
    EXPECT_EQ(engine->MarkCount(), marksMade);
    ASSERT_TRUE(engine->CloseFile().Ok());
    EXPECT_EQ(shell.boxes().size(), 0u);
}

}  // namespace
}  // namespace tavrin::engine::testing
