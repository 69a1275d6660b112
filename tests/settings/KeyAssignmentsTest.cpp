#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "settings/KeyAssignments.h"

namespace tavrin::settings {
namespace {

using F = Function;

constexpr std::uint32_t kDigit(int n) { return vk::Digit0 + static_cast<std::uint32_t>(n); }

std::map<F, std::uint32_t> Held(const KeyAssignments& keys) {
    std::map<F, std::uint32_t> held;
    for (const auto& f : Functions())
        if (keys.key(f.function) != 0) held[f.function] = keys.key(f.function);
    return held;
}

struct AssignmentCase {
    const char* name;
    std::vector<std::pair<F, std::uint32_t>> steps;  // assignments made in order
    std::map<F, std::uint32_t> expected;             // every function that holds a key afterwards
};

// What the user sees when putting keys on functions one after another.
const AssignmentCase kAssignmentCases[] = {
    {"the stop function takes the key from record", {{F::Record, kDigit(1)}, {F::Stop, kDigit(1)}},
     {{F::Stop, kDigit(1)}}},
    {"record or stop clears record and stop",
     {{F::Record, kDigit(1)}, {F::Stop, kDigit(2)}, {F::RecordStop, kDigit(3)}},
     {{F::RecordStop, kDigit(3)}}},
    {"stop after record or stop keeps record or stop",
     {{F::RecordStop, kDigit(3)}, {F::Stop, kDigit(4)}},
     {{F::RecordStop, kDigit(3)}, {F::Stop, kDigit(4)}}},
    {"play after play or pause clears play or pause", {{F::PlayPause, kDigit(5)}, {F::Play, kDigit(6)}},
     {{F::Play, kDigit(6)}}},
    {"play or pause clears play and pause",
     {{F::Play, kDigit(1)}, {F::Pause, kDigit(2)}, {F::Stop, kDigit(3)}, {F::PlayPause, vk::Star}},
     {{F::Stop, kDigit(3)}, {F::PlayPause, vk::Star}}},
    {"pause clears both combined pause functions",
     {{F::PlayPause, kDigit(1)}, {F::RecordPause, kDigit(2)}, {F::Pause, vk::Pound}},
     {{F::Pause, vk::Pound}}},
    {"record clears record or pause and record or stop",
     {{F::RecordPause, kDigit(1)}, {F::RecordStop, kDigit(2)}, {F::Record, vk::Left}},
     {{F::Record, vk::Left}}},
    {"append and append or stop exclude each other",
     {{F::Append, kDigit(1)}, {F::Stop, kDigit(2)}, {F::AppendStop, kDigit(3)}, {F::Append, kDigit(4)}},
     {{F::Append, kDigit(4)}}},
    {"the same key again changes nothing", {{F::Rewind, vk::Right}, {F::Rewind, vk::Right}},
     {{F::Rewind, vk::Right}}},
    {"a moved key leaves the combined function's parts alone",
     {{F::Play, kDigit(1)}, {F::Pause, kDigit(2)}, {F::Forward, kDigit(1)}},
     {{F::Pause, kDigit(2)}, {F::Forward, kDigit(1)}}},
};

TEST(KeyAssignment, FollowsTheRulesForEachSequence) {
    for (const auto& c : kAssignmentCases) {
        SCOPED_TRACE(c.name);
        KeyAssignments keys;
        for (const auto& [function, key] : c.steps) ASSERT_TRUE(keys.assign(function, key));
        EXPECT_EQ(Held(keys), c.expected);
    }
}

// Every function gets a key of its own, then one function gets a fresh key:
// exactly the functions that overlap with it lose theirs.
TEST(KeyAssignment, ClearsExactlyTheOverlappingFunctions) {
    const std::map<F, std::vector<F>> overlapping{
        {F::PlayPause, {F::Play, F::Pause}},     {F::RecordPause, {F::Record, F::Pause}},
        {F::Play, {F::PlayPause}},               {F::Record, {F::RecordPause, F::RecordStop}},
        {F::Pause, {F::RecordPause, F::PlayPause}}, {F::Stop, {}},
        {F::Forward, {}},                        {F::Rewind, {}},
        {F::RecordStop, {F::Record, F::Stop}},   {F::AppendStop, {F::Append, F::Stop}},
        {F::Append, {F::AppendStop}},            {F::Insert, {}},
        {F::Overwrite, {}},                      {F::Faster, {}},
        {F::Slower, {}},
    };
    for (const auto& [assigned, cleared] : overlapping) {
        SCOPED_TRACE(std::string(InfoOf(assigned).label));
        KeyAssignments keys;
        int digit = 0;
        for (const auto& f : Functions()) keys.set(f.function, kDigit(digit++));
        ASSERT_TRUE(keys.assign(assigned, vk::Star));
        for (const auto& f : Functions()) {
            const bool shouldClear = std::find(cleared.begin(), cleared.end(), f.function) != cleared.end();
            const std::uint32_t before = kDigit(static_cast<int>(f.function));
            const std::uint32_t expected = f.function == assigned ? vk::Star : shouldClear ? 0 : before;
            EXPECT_EQ(keys.key(f.function), expected) << f.label;
        }
    }
}

// A settings file edited by hand can give one key to two functions; only the
// first holder in the fixed search order gives it up, which differs from the
// dialog order for append and append or stop.
TEST(KeyAssignment, TakesTheKeyFromTheFirstHolderInSearchOrder) {
    struct Case {
        F first, second;  // first is found before second
    };
    const Case cases[] = {{F::PlayPause, F::Play}, {F::Record, F::RecordStop}, {F::Append, F::AppendStop},
                          {F::Rewind, F::Append}, {F::Play, F::RecordStop}, {F::RecordStop, F::Insert},
                          {F::Insert, F::Overwrite}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(InfoOf(c.first).label) + " before " + std::string(InfoOf(c.second).label));
        KeyAssignments keys;
        keys.set(c.first, kDigit(7));
        keys.set(c.second, kDigit(7));
        ASSERT_TRUE(keys.assign(F::Forward, kDigit(7)));
        EXPECT_EQ(keys.key(c.first), 0u);
        EXPECT_EQ(keys.key(c.second), kDigit(7));
    }
}

TEST(KeyAssignment, RefusesKeysThatCannotBeAssigned) {
    for (std::uint32_t key : {vk::None, vk::Action, vk::Back, vk::Up, vk::Down, vk::Talk, vk::End, vk::VolumeUp,
                              vk::VolumeDown, vk::RecordKey, 65u, 47u, 58u}) {
        KeyAssignments keys;
        ASSERT_TRUE(keys.assign(F::Stop, kDigit(1)));
        EXPECT_FALSE(keys.assign(F::RecordStop, key)) << key;
        EXPECT_EQ(keys.key(F::Stop), kDigit(1)) << key;
        EXPECT_EQ(keys.key(F::RecordStop), 0u) << key;
    }
}

TEST(KeyAssignment, UnassignClearsOnlyThatFunctionAndUnsetKeysNeverMatch) {
    KeyAssignments keys;
    ASSERT_TRUE(keys.assign(F::Play, kDigit(2)));
    ASSERT_TRUE(keys.assign(F::Stop, kDigit(3)));
    keys.unassign(F::Play);
    EXPECT_EQ(Held(keys), (std::map<F, std::uint32_t>{{F::Stop, kDigit(3)}}));
    EXPECT_FALSE(keys.matches(F::Play, kDigit(2)));
    EXPECT_FALSE(keys.matches(F::Play, 0));
    EXPECT_TRUE(keys.matches(F::Stop, kDigit(3)));
}

TEST(KeyNames, NameTheAssignableKeysAndNothingElse) {
    const std::map<std::uint32_t, std::string> named{
        {48, "0"}, {49, "1"}, {50, "2"}, {51, "3"}, {52, "4"}, {53, "5"},  {54, "6"},  {55, "7"},
        {56, "8"}, {57, "9"}, {119, "*"}, {120, "#"}, {37, "<-"}, {39, "->"},
    };
    for (std::uint32_t key = 0; key < 300; ++key) {
        const auto it = named.find(key);
        const std::string expected = it == named.end() ? "" : it->second;
        EXPECT_EQ(KeyName(key), expected) << key;
        EXPECT_EQ(IsAssignable(key), it != named.end()) << key;
    }
    EXPECT_EQ(KeyName(0xFFFFFFFFu), "");
}

TEST(KeyNames, ReservedKeysCarryTheirMessage) {
    const std::map<std::uint32_t, std::string> reserved{
        {13, "(Action) plays recording selected in the list\n(Action) can't be assigned."},
        {38, "(Up) moves up in the recording list\n(Up) can't be assigned."},
        {40, "(Down) moves down in the recording list\n(Down) can't be assigned."},
        {114, "This key can't be assigned."},
        {115, "This key can't be assigned."},
        {117, "This key can't be assigned."},
        {118, "This key can't be assigned."},
        {121, "This key can't be assigned."},
    };
    for (std::uint32_t key = 0; key < 300; ++key) {
        const auto it = reserved.find(key);
        const auto message = ReservedKeyMessage(key);
        ASSERT_EQ(message.has_value(), it != reserved.end()) << key;
        if (message) {
            EXPECT_EQ(*message, it->second) << key;
        }
    }
    EXPECT_EQ(kCantAssignCaption, "Tavrin  Can't Assign");
}

TEST(KeyFunctions, AreListedInDialogOrderAndFoundByLabel) {
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Play/Pause", "Play Pause"}, {"Record/Pause", "Record Pause"}, {"Record/Stop", "Record Stop"},
        {"Append/Stop", "Append Stop"}, {"Play", "Play"}, {"Record", "Record"}, {"Append", "Append"},
        {"Insert", "Insert"}, {"Overwrite", "Overwrite"}, {"Pause", "Pause"}, {"Stop", "Stop"}, {"FF", "Forward"}, {"REW", "Rewind"},
        {"Faster", "Faster"}, {"Slower", "Slower"},
    };
    ASSERT_EQ(Functions().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& f = Functions()[i];
        EXPECT_EQ(f.label, expected[i].first);
        EXPECT_EQ(f.valueName, expected[i].second);
        EXPECT_EQ(&InfoOf(f.function), &f);
        EXPECT_EQ(FunctionOfLabel(f.label), f.function);
    }
    EXPECT_FALSE(FunctionOfLabel("").has_value());
    EXPECT_FALSE(FunctionOfLabel("play").has_value());  // the dialogs compare labels exactly
}

}  // namespace
}  // namespace tavrin::settings
