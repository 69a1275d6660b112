// The playback speed the user steps through: its ends, the cycle, the keys,
// what reaches the engine and what the settings keep for the next start.
#include <gtest/gtest.h>

#include "controller/PlaybackSpeed.h"
#include "settings/MemoryStore.h"
#include "support/ScriptedEngine.h"

namespace tavrin::controller {
namespace {

struct StepCase {
    const char* name;
    std::optional<std::uint32_t> stored;  // in the settings before the start
    const char* steps;                    // '+' Faster, '-' Slower, 'c' the menu's Speed
    std::uint32_t speed;                  // after them
    const char* label;
};

class SpeedSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(SpeedSteps, StepAndKeepTheSpeed) {
    const StepCase c = GetParam();
    settings::MemoryStore store;
    if (c.stored) {
        ASSERT_TRUE(store.writeNumber("Playback", "Speed", *c.stored));
    }
    settings::Settings settings(store);
    test::ScriptedEngine engine;
    PlaybackSpeed speed(settings, engine);
    speed.Restore();
    for (const char* s = c.steps; *s; ++s) {
        if (*s == '+') speed.Faster();
        if (*s == '-') speed.Slower();
        if (*s == 'c') speed.Cycle();
    }
    EXPECT_EQ(speed.Hundredths(), c.speed);
    EXPECT_EQ(speed.Label(), c.label);
    ASSERT_FALSE(engine.calls().empty());
    EXPECT_EQ(engine.calls().back(), "SetPlaybackSpeed(" + std::to_string(c.speed) + ")");
    // The next start plays at the same speed.
    settings::Settings again(store);
    test::ScriptedEngine later;
    PlaybackSpeed restored(again, later);
    restored.Restore();
    EXPECT_EQ(restored.Hundredths(), c.speed);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SpeedSteps,
    ::testing::Values(StepCase{"FirstStartPlaysAsRecorded", std::nullopt, "", 100, "1×"},
                      StepCase{"TwoUp", std::nullopt, "++", 150, "1.5×"},
                      StepCase{"UpToTheTopAndNoFurther", std::nullopt, "++++++++++", 300, "3×"},
                      StepCase{"DownToTheBottomAndNoFurther", std::nullopt, "-----", 50, "0.5×"},
                      StepCase{"ThreeQuarters", std::nullopt, "-", 75, "0.75×"},
                      StepCase{"KeptFromTheLastStart", 250u, "", 250, "2.5×"},
                      StepCase{"AStoredValueThatIsNoStepIsTheRecordingsOwn", 120u, "+", 125, "1.25×"},
                      StepCase{"TheMenuCyclesFromTheFastestToTheSlowest", 250u, "cc", 50, "0.5×"},
                      StepCase{"AndOnUpwards", 175u, "c", 200, "2×"}),
    [](const ::testing::TestParamInfo<StepCase>& param) { return std::string(param.param.name); });

TEST(PlaybackSpeed, OnlyTheKeysOfFasterAndSlowerChangeIt) {
    settings::MemoryStore store;
    settings::Settings settings(store);
    test::ScriptedEngine engine;
    PlaybackSpeed speed(settings, engine);
    speed.Restore();
    settings::KeyAssignments keys;
    keys.set(settings::Function::Faster, settings::vk::Pound);
    keys.set(settings::Function::Slower, settings::vk::Star);
    keys.set(settings::Function::Play, 49);
    EXPECT_FALSE(speed.OnKey(keys, 49));
    EXPECT_FALSE(speed.OnKey(keys, settings::vk::None));
    EXPECT_EQ(speed.Hundredths(), 100u);
    EXPECT_TRUE(speed.OnKey(keys, settings::vk::Pound));
    EXPECT_TRUE(speed.OnKey(keys, settings::vk::Pound));
    EXPECT_TRUE(speed.OnKey(keys, settings::vk::Star));
    EXPECT_EQ(speed.Hundredths(), 125u);
}

}  // namespace
}  // namespace tavrin::controller
