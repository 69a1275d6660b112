// Recording into a selected recording: overwrite, append and insert on slow
// and fast media, their events, the selected format, their start failures,
// and a refused insertion.
#include <cerrno>
#include <functional>

#include "engine/EngineHarness.h"
#include "wav/WavBytes.h"

namespace tavrin::engine::testing {
namespace {

constexpr std::size_t kOld = 4000;    // bytes of the recording before the edit
constexpr std::uint32_t kAtMs = 250;  // 2000 frames at 8 kHz 8-bit
constexpr std::size_t kAt = 2000;
constexpr std::size_t kNew = 3200;  // two 200 ms blocks

enum class Edit { Overwrite, Append, Insert };

struct EditCase {
    const char* name;
    Edit edit;
    std::uint32_t base;
    bool slow;
};

std::vector<std::uint8_t> OldAudio() {
    std::vector<std::uint8_t> audio(kOld);
    for (std::size_t i = 0; i < kOld; ++i) audio[i] = static_cast<std::uint8_t>(1 + i % 97);
    return audio;
}

// What the file must hold after the edit wrote `kNew` bytes of `value`.
std::vector<std::uint8_t> Model(Edit edit, std::uint8_t value) {
    const std::vector<std::uint8_t> old = OldAudio();
    const std::vector<std::uint8_t> added(kNew, value);
    std::vector<std::uint8_t> model;
    const auto at = old.begin() + static_cast<std::ptrdiff_t>(kAt);
    switch (edit) {
        case Edit::Overwrite:
            model.assign(old.begin(), at);
            model.insert(model.end(), added.begin(), added.end());
            break;
        case Edit::Append:
            model = old;
            model.insert(model.end(), added.begin(), added.end());
            break;
        case Edit::Insert:
            model.assign(old.begin(), at);
            model.insert(model.end(), added.begin(), added.end());
            model.insert(model.end(), at, old.end());
            break;
    }
    return model;
}

class EditRecordingTest : public EngineTest, public ::testing::WithParamInterface<EditCase> {
public:
    void OpenOld(bool slow, std::uint32_t code = wav::kCodePcm8k8) {
        const std::vector<std::uint8_t> audio = OldAudio();
        test::WavBytes file = test::RecordingFile(wav::FindByCode(code)->format, kOld);
        std::copy(audio.begin(), audio.end(), file.bytes.end() - static_cast<std::ptrdiff_t>(kOld));
        test::WriteBytes(dir.file("rec.wav"), file.bytes);
        AudioFileInfo info;
        ASSERT_TRUE(engine->OpenFile(dir.file("rec.wav"), slow ? platform::Media::Slow : platform::Media::Fast, info).Ok());
        ASSERT_TRUE(engine->SetPosition(kAtMs));
        sink.clear();
    }

    ResultCode Run(Edit edit) {
        switch (edit) {
            case Edit::Overwrite:
                return engine->RecordOverwrite();
            case Edit::Append:
                return engine->RecordAppend();
            case Edit::Insert:
                return engine->RecordInsert();
        }
        return {};
    }
};

TEST_P(EditRecordingTest, RecordsIntoTheSelectedRecordingWithItsOwnEvents) {
    const EditCase c = GetParam();
    ASSERT_TRUE(engine->SetFormat(wav::kCodeGsm));  // the new-recording format plays no part
    OpenOld(c.slow);
    ASSERT_TRUE(Run(c.edit).Ok());
    Pump();
    EXPECT_EQ(in.openedFormat(), (platform::AudioFormat{1, 1, 8000, 8000, 1, 8, 0, 0}));
    EXPECT_EQ(EngineProbe(*engine).eventBase(), c.base);
    Fill(0xC0);
    Fill(0xC0);
    StopCapture();
    const std::vector<Event> expected{{kEvRecordStart + c.base, 0, 0, false},
                                      {kEvRecordEnd + c.base, 0, 0, true},
                                      {kEvFileReady + c.base, 0, 0, true}};
    EXPECT_EQ(sink.events(), expected);
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
    EXPECT_TRUE(engine->CloseFile().Ok());
    EXPECT_EQ(Audio(), Model(c.edit, 0xC0));
    EXPECT_EQ(cues.played, (std::vector<std::string>{"RecStart", "RecEnd"}));
}

TEST_P(EditRecordingTest, StartFailuresCloseTheDeviceAndTheStorage) {
    const EditCase c = GetParam();
    struct Step {
        DeviceCall call;
        int nth;
        std::uint32_t detail;
    };
    for (const Step s : {Step{DeviceCall::Open, 1, 2112}, Step{DeviceCall::Prepare, 1, 2140},
                         Step{DeviceCall::Add, 1, 2148}, Step{DeviceCall::Prepare, 2, 2167},
                         Step{DeviceCall::Add, 2, 2175}}) {
        SCOPED_TRACE(s.detail);
        OpenOld(c.slow);
        const std::vector<std::uint8_t> before = test::ReadBytes(dir.file("rec.wav"));
        in.fail(s.call, in.count(s.call) + s.nth, platform::mmr::NoMem);
        EXPECT_EQ(Run(c.edit), ResultCode(rc::StepFailed, s.detail));
        Pump();
        EXPECT_EQ(test::ReadBytes(dir.file("rec.wav")), before) << "an edit that never started changed the file";
        EXPECT_FALSE(in.isOpen());
        EXPECT_TRUE(EngineProbe(*engine).storage().IsIdle());
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineClosed);
        EXPECT_TRUE(sink.ids().empty());
    }
}

// A recording the user may only read (its permissions, a read-only mount)
// plays; an edit of it is refused with the message that says so, and leaves
// the file and its selection as they were.
TEST_P(EditRecordingTest, ReadOnlyRecordingPlaysAndEveryEditIsRefused) {
    const EditCase c = GetParam();
    fs.refuseWrites(true);
    OpenOld(c.slow);
    const std::vector<std::uint8_t> before = test::ReadBytes(dir.file("rec.wav"));
    EXPECT_EQ(Run(c.edit), ResultCode(rc::ReadOnly, detail::EditReadOnly));
    Pump();
    EXPECT_EQ(in.count(DeviceCall::Open), 0);
    EXPECT_TRUE(cues.played.empty()) << "nothing started";
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
    ASSERT_TRUE(engine->PlayStart().Ok());
    Pump();
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EnginePlaying);
    engine->Stop();
    Pump();
    EXPECT_TRUE(engine->CloseFile().Ok());
    EXPECT_EQ(test::ReadBytes(dir.file("rec.wav")), before);
}

TEST_P(EditRecordingTest, OnlyASelectedIdleRecordingCanBeEdited) {
    const EditCase c = GetParam();
    EXPECT_TRUE(Run(c.edit).Ok()) << "nothing selected: nothing done";
    EXPECT_EQ(in.count(DeviceCall::Open), 0);
    OpenOld(c.slow);
    ASSERT_TRUE(engine->PlayStart().Ok());
    Pump();
    EXPECT_TRUE(Run(c.edit).Ok());
    EXPECT_EQ(in.count(DeviceCall::Open), 0);
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EnginePlaying);
}

INSTANTIATE_TEST_SUITE_P(Edits, EditRecordingTest,
                         ::testing::Values(EditCase{"OverwriteSlow", Edit::Overwrite, 10, true},
                                           EditCase{"AppendSlow", Edit::Append, 20, true},
                                           EditCase{"InsertSlow", Edit::Insert, 30, true},
                                           EditCase{"OverwriteFast", Edit::Overwrite, 10, false},
                                           EditCase{"AppendFast", Edit::Append, 20, false},
                                           EditCase{"InsertFast", Edit::Insert, 30, false}),
                         CaseName<EditCase>);

TEST_F(EngineTest, EditUsesTheFormatAndLevelsOfTheSelectedRecording) {
    test::WavBytes file = test::RecordingFile(wav::FindByCode(wav::kCodePcm11k16)->format, 4410);
    test::WriteBytes(dir.file("rec.wav"), file.bytes);
    AudioFileInfo info;
    ASSERT_TRUE(engine->OpenFile(dir.file("rec.wav"), platform::Media::Slow, info).Ok());
    engine->SetRecordingOptions({false, 10, true, 20, 4000});
    ASSERT_TRUE(engine->RecordAppend().Ok());
    EXPECT_EQ(in.openedFormat(), (platform::AudioFormat{1, 1, 11025, 22050, 2, 16, 0, 0}));
    EXPECT_EQ(EngineProbe(*engine).blockSize(), 4410);
    EXPECT_EQ(EngineProbe(*engine).silenceLevel(), 6553);
    Pump();
    StopCapture();
}

TEST_F(EngineTest, RefusedInsertAbortsAndLeavesTheRecordingSelectedAndUnchanged) {
    for (const bool slow : {true, false}) {
        SCOPED_TRACE(slow);
        std::vector<std::uint8_t> audio(9000, 0x42);
        test::WavBytes file = test::RecordingFile(wav::FindByCode(wav::kCodePcm8k8)->format, 9000);
        std::copy(audio.begin(), audio.end(), file.bytes.end() - 9000);
        test::WriteBytes(dir.file("rec.wav"), file.bytes);
        AudioFileInfo info;
        ASSERT_TRUE(engine->OpenFile(dir.file("rec.wav"), slow ? platform::Media::Slow : platform::Media::Fast, info).Ok());
        ASSERT_TRUE(engine->SetPosition(500));
        // The audio after the point, to be moved on, cannot be read.
        fs.failNth(test::Fault::Read, 1);
        EXPECT_EQ(engine->RecordInsert(), ResultCode(0x22000012, 5));
        fs.resetFaults();
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineFileOpen);
        EXPECT_EQ(in.count(DeviceCall::Open), 0);
        EXPECT_TRUE(cues.played.empty()) << "nothing started";
        // Still selected and playable.
        ASSERT_TRUE(engine->PlayStart().Ok());
        Pump();
        engine->Stop();
        Pump();
        EXPECT_TRUE(engine->CloseFile().Ok());
        EXPECT_EQ(test::ReadBytes(dir.file("rec.wav")), file.bytes);
    }
}

// A capture whose audio cannot be written even by the retry in Close is
// reported with its cause: the storage-space message only when the volume is
// full, the file error's code (with the system's error number) otherwise.
TEST_F(EngineTest, FailedFinishOfACaptureIsReportedWithItsCause) {
    struct Case {
        const char* name;
        std::function<void(EngineTest&)> fault;
        ResultCode reported;
    };
    const Case cases[] = {
        {"volume full", [](EngineTest& t) { t.fs.setShortWrite(0); }, ResultCode(rc::NoSpace, 3)},
        {"I/O error",
         [](EngineTest& t) {
             t.fs.failNth(test::Fault::Write, 1, true);
             t.fs.failNth(test::Fault::Map, 1, true);
         },
         ResultCode(rc::StepFailed, detail::FinishFileError + EIO)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.clear();
        ASSERT_TRUE(Start(wav::kCodePcm8k8, {}, c.reported.Code() == rc::NoSpace ? "full.wav" : "broken.wav").Ok());
        Fill(140);
        c.fault(*this);
        StopCapture();
        fs.resetFaults();
        fs.setShortWrite(std::nullopt);
        const std::vector<Event> events = sink.events();
        ASSERT_EQ(events.size(), 4u);
        EXPECT_EQ(events[1].message, kEvRecordEnd);
        EXPECT_EQ(events[2].message, kEvError);
        EXPECT_EQ(ResultCode(events[2].wParam, events[2].lParam), c.reported);
        EXPECT_EQ(events[3].message, kEvFileReady);
        EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineClosed);
    }
    EXPECT_EQ(MessageText(ResultCode(rc::NoSpace, 0).MessageIndex()),
              "Not enough storage space. Move large files elsewhere");
    EXPECT_TRUE(ResultCode(rc::NoSpace, 0).ShowsText());
    EXPECT_TRUE(ResultCode(rc::StepFailed, 0).ShowsCode());
}

// End that fails once leaves the audio for Close to write again; when that
// saves everything, nothing is reported and the recording is intact.
TEST_F(EngineTest, AFinishSavedByTheRetryInCloseReportsNothing) {
    ASSERT_TRUE(Start(wav::kCodePcm8k8).Ok());
    Fill(140);
    Fill(150);
    fs.failNth(test::Fault::Write, 1);
    StopCapture();
    EXPECT_TRUE(fs.faultFired());
    EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{kEvRecordStart, kEvRecordEnd, kEvFileReady}));
    std::vector<std::uint8_t> expected = Bytes(1600, 140);
    const std::vector<std::uint8_t> second = Bytes(1600, 150);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(Audio(), expected);
    AudioFileInfo info;
    ASSERT_TRUE(engine->OpenFile(dir.file("rec.wav"), platform::Media::Slow, info).Ok()) << "FileReady reopens it";
    EXPECT_EQ(info.durationMs, 400u);
}

// Two engines of one process and one recording (a window's and a tool's, in
// effect): while one edits the recording, the other's edits are refused with
// the in-use message and start nothing, on both media; once the first has
// finished, the second may edit. A new recording under a name being recorded
// is refused the same way.
TEST_F(EngineTest, EditsOfARecordingAnotherEngineIsChangingAreRefusedInWords) {
    for (const bool slow : {true, false}) {
        SCOPED_TRACE(slow ? "slow" : "fast");
        EngineServices services{in, out, fs, memory, system, shell, clock, thread, cues,
                                [](std::function<void()>) { return true; }, dir.file("state")};
        AudioEngine first(services);
        AudioEngine second(services);
        ASSERT_TRUE(first.Init(sink).Ok() && second.Init(sink).Ok());
        test::WriteBytes(dir.file("rec.wav"), test::RecordingFile(wav::FindByCode(wav::kCodePcm8k8)->format, kOld).bytes);
        AudioFileInfo info;
        ASSERT_TRUE(first.OpenFile(dir.file("rec.wav"), slow ? platform::Media::Slow : platform::Media::Fast, info).Ok());
        ASSERT_TRUE(second.OpenFile(dir.file("rec.wav"), slow ? platform::Media::Slow : platform::Media::Fast, info).Ok()) << "reading is never refused";
        ASSERT_TRUE(first.RecordAppend().Ok());
        const int opened = in.count(DeviceCall::Open);
        for (auto edit : {&AudioEngine::RecordAppend, &AudioEngine::RecordOverwrite, &AudioEngine::RecordInsert}) {
            if (second.State() != EngineState::EngineFileOpen) {
                ASSERT_TRUE(second.OpenFile(dir.file("rec.wav"), slow ? platform::Media::Slow : platform::Media::Fast, info).Ok());
            }
            EXPECT_EQ((second.*edit)(), ResultCode(rc::InUse, detail::FolderMissing));
        }
        EXPECT_EQ(in.count(DeviceCall::Open), opened) << "a refused edit opened the microphone";
        EXPECT_EQ(MessageText(ResultCode(rc::InUse, 0).MessageIndex()),
                  "This recording is being changed by another program. Try again when it has finished");
        static_cast<void>(second.CloseFile());
        ASSERT_TRUE(second.SetFormat(wav::kCodePcm8k8));
        second.SetStorage(dir.path(), slow ? platform::Media::Slow : platform::Media::Fast);
        EXPECT_EQ(second.RecordStart(dir.file("rec.wav")), ResultCode(rc::InUse, detail::CreatePcm));
        EXPECT_TRUE(test::FileExists(dir.file("rec.wav"))) << "the refused recording removed the other's file";

        while (auto message = first.Queue().tryTake()) first.HandleMessage(*message);
        EXPECT_TRUE(first.Stop());
        while (auto message = first.Queue().tryTake()) first.HandleMessage(*message);
        ASSERT_TRUE(second.OpenFile(dir.file("rec.wav"), slow ? platform::Media::Slow : platform::Media::Fast, info).Ok());
        EXPECT_TRUE(second.RecordAppend().Ok()) << "once the first has finished";
        while (auto message = second.Queue().tryTake()) second.HandleMessage(*message);
        EXPECT_TRUE(second.Stop());
        while (auto message = second.Queue().tryTake()) second.HandleMessage(*message);
        static_cast<void>(first.CloseFile());
        static_cast<void>(second.CloseFile());
    }
}

}  // namespace
}  // namespace tavrin::engine::testing
