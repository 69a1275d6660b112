#include <algorithm>

#include "engine/EngineHarness.h"

namespace tavrin::engine::testing {
namespace {

TEST_F(EngineTest, InitStartsOneThreadAndWaitsInTheClosedState) {
    EXPECT_EQ(launches, 1);
    EXPECT_EQ(EngineProbe(*engine).owner(), &sink);
    EXPECT_EQ(EngineProbe(*engine).state(), EngineState::EngineClosed);
    EXPECT_EQ(EngineProbe(*engine).media(), platform::Media::Slow);  // set by the fixture
    EXPECT_EQ(EngineProbe(*engine).formatMask(), 0u);
    EXPECT_EQ(EngineProbe(*engine).eventBase(), 0u);
    EXPECT_EQ(EngineProbe(*engine).silenceMs(), 4000u);
    EXPECT_EQ(EngineProbe(*engine).activationPercent(), 10u);
    EXPECT_EQ(EngineProbe(*engine).silencePercent(), 10u);
}

TEST_F(EngineTest, InitClearsTheThreeBlocks) {
    AudioEngine fresh(EngineServices{in, out, fs, memory, system, shell, clock, thread, cues,
                                     [](std::function<void()>) { return true; }});
    for (std::uint8_t* block : EngineProbe(fresh).blocks()) std::fill(block, block + kBlockBytes, 0xA5);
    ASSERT_TRUE(fresh.Init(sink).Ok());
    for (std::uint8_t* block : EngineProbe(fresh).blocks()) {
        EXPECT_TRUE(std::all_of(block, block + kBlockBytes, [](std::uint8_t b) { return b == 0; }));
    }
    const auto& blocks = EngineProbe(fresh).blocks();
    EXPECT_EQ(blocks[1] - blocks[0], static_cast<std::ptrdiff_t>(kBlockBytes));
}

TEST_F(EngineTest, AThreadThatCannotStartIsAFatalResult) {
    AudioEngine fresh(EngineServices{in, out, fs, memory, system, shell, clock, thread, cues,
                                     [](std::function<void()>) { return false; }});
    const ResultCode result = fresh.Init(sink);
    EXPECT_EQ(result.Code(), 0x12000005u);
    EXPECT_EQ(result.Detail(), 5u);
    EXPECT_TRUE(result.IsFatal());
}

TEST_F(EngineTest, TheThreadBodyRunsTimeCriticalUntilQuit) {
    engine->Queue().post({kCmdPause, 0, 0});
    engine->Queue().post({kWmQuit, 0, 0});
    engine->ThreadBody();  // returns at the quit message
    EXPECT_EQ(thread.priorities, std::vector<platform::ThreadPriority>{platform::ThreadPriority::TimeCritical});
    EXPECT_EQ(engine->Queue().size(), 0u);
    EXPECT_TRUE(sink.events().empty());
}

}  // namespace
}  // namespace tavrin::engine::testing
