#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/AudioEngine.h"
#include "support/FakeClock.h"
#include "support/EngineProbe.h"
#include "support/FakeMemory.h"
#include "support/FaultyFileSystem.h"
#include "support/RecordingEventSink.h"
#include "support/RecordingShell.h"
#include "support/ScriptedWaveDevice.h"
#include "support/TempDir.h"

namespace tavrin::engine::testing {

using test::DeviceCall;
using Event = test::RecordingEventSink::Event;

// A fake clock whose tick count also moves by `tickStep` on every reading,
// as a real one does while the engine polls it.
class SteppingClock : public test::FakeClock {
public:
    std::uint32_t tickStep = 0;
    std::uint32_t tickCount() override {
        advanceMs(tickStep);
        return FakeClock::tickCount();
    }
};

// An engine over test doubles whose thread is never started: the test pumps
// the engine's queue itself, so every step happens when the test says.
class EngineTest : public ::testing::Test {
public:  // parameter tables reach the doubles too
    void SetUp() override {
        memory.setAvailablePhysical(2u << 20);
        fs.setFreeSpace(64u << 20);
        engine = std::make_unique<AudioEngine>(EngineServices{in, out, fs, memory, system, shell, clock, thread, cues,
                                                              [this](std::function<void()>) {
                                                                  ++launches;
                                                                  return launchSucceeds;
                                                              }});
        ASSERT_TRUE(engine->Init(sink).Ok());
        engine->SetStorage(dir.path(), platform::Media::Slow);
    }

    // Starts a recording of `format` into `name` and lets the engine thread
    // start the capture.
    ResultCode Start(std::uint32_t format, const RecordingOptions& options = {}, const std::string& name = "rec.wav") {
        EXPECT_TRUE(engine->SetFormat(format));
        engine->SetRecordingOptions(options);
        const ResultCode result = engine->RecordStart(dir.file(name));
        Pump();
        return result;
    }

    // Handles every message waiting in the engine's queue, as the engine
    // thread would.
    void Pump() {
        while (auto message = engine->Queue().tryTake()) engine->HandleMessage(*message);
    }

    void Fill(std::uint8_t value) {
        ASSERT_TRUE(in.deliverFill(value));
        Pump();
    }
    void Fill16(std::int16_t value) {
        ASSERT_TRUE(in.deliverSample16(value));
        Pump();
    }
    void Deliver(const std::vector<std::uint8_t>& bytes, std::int32_t peak = -1) {
        ASSERT_TRUE(in.deliver(bytes, peak));
        Pump();
    }
    void StopCapture() {
        EXPECT_TRUE(engine->Stop());
        Pump();
    }

    // The audio bytes of a finished recording (after its 44- or 60-byte header).
    std::vector<std::uint8_t> Audio(const std::string& name = "rec.wav", std::size_t header = 44) const {
        std::vector<std::uint8_t> bytes = test::ReadBytes(dir.file(name));
        if (bytes.size() < header) return {};
        return {bytes.begin() + static_cast<std::ptrdiff_t>(header), bytes.end()};
    }

    std::vector<std::uint32_t> Ids() const { return sink.ids(); }

    test::TempDir dir;
    test::FaultyFileSystem fs;
    test::FakeMemory memory{fs.plan()};
    test::FakeSystemInfo system;
    test::RecordingShell shell;
    SteppingClock clock;
    test::FakeThread thread;
    test::RecordingCueSounds cues;
    test::ScriptedWaveIn in;
    test::ScriptedWaveOut out;
    test::RecordingEventSink sink;
    bool launchSucceeds = true;
    int launches = 0;
    std::unique_ptr<AudioEngine> engine;
};

// Names parameterised cases after their `name` field.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

// A buffer of `bytes` bytes all equal to `value`.
inline std::vector<std::uint8_t> Bytes(std::size_t bytes, std::uint8_t value) {
    return std::vector<std::uint8_t>(bytes, value);
}

}  // namespace tavrin::engine::testing
