#include "settings/KeyAssignments.h"

#include <algorithm>

namespace tavrin::settings {
namespace {

using F = Function;

constexpr std::array<FunctionInfo, kFunctionCount> kFunctions{{
    {F::PlayPause, "Play/Pause", "Play Pause"},
    {F::RecordPause, "Record/Pause", "Record Pause"},
    {F::RecordStop, "Record/Stop", "Record Stop"},
    {F::AppendStop, "Append/Stop", "Append Stop"},
    {F::Play, "Play", "Play"},
    {F::Record, "Record", "Record"},
    {F::Append, "Append", "Append"},
    {F::Insert, "Insert", "Insert"},
    {F::Overwrite, "Overwrite", "Overwrite"},
    {F::Pause, "Pause", "Pause"},
    {F::Stop, "Stop", "Stop"},
    {F::Forward, "FF", "Forward"},
    {F::Rewind, "REW", "Rewind"},
    {F::Faster, "Faster", "Faster"},
    {F::Slower, "Slower", "Slower"},
}};

// The order in which a key is looked for when it moves to another function;
// it differs from the dialog order, and only the first holder found loses it.
constexpr std::array<F, kFunctionCount> kTakeOrder{
    F::PlayPause, F::RecordPause, F::Play,   F::Record,     F::Pause,      F::Stop,
    F::Forward,   F::Rewind,      F::Append, F::AppendStop, F::RecordStop, F::Insert, F::Overwrite,
    F::Faster,    F::Slower,
};

// Functions that would make a key ambiguous next to the one just assigned:
// a combined function and its parts cannot both have keys.
struct Overlap {
    F function;
    std::array<F, 2> cleared;
    std::size_t count;
};
constexpr std::array<Overlap, kFunctionCount> kOverlaps{{
    {F::PlayPause, {F::Play, F::Pause}, 2},
    {F::RecordPause, {F::Record, F::Pause}, 2},
    {F::Play, {F::PlayPause}, 1},
    {F::Record, {F::RecordPause, F::RecordStop}, 2},
    {F::Pause, {F::RecordPause, F::PlayPause}, 2},
    {F::Stop, {}, 0},
    {F::Forward, {}, 0},
    {F::Rewind, {}, 0},
    {F::RecordStop, {F::Record, F::Stop}, 2},
    {F::AppendStop, {F::Append, F::Stop}, 2},
    {F::Append, {F::AppendStop}, 1},
    {F::Insert, {}, 0},
    {F::Overwrite, {}, 0},
    {F::Faster, {}, 0},
    {F::Slower, {}, 0},
}};

}  // namespace

const std::array<FunctionInfo, kFunctionCount>& Functions() { return kFunctions; }

const FunctionInfo& InfoOf(Function function) { return kFunctions[static_cast<std::size_t>(function)]; }

std::optional<Function> FunctionOfLabel(std::string_view label) {
    const auto it = std::find_if(kFunctions.begin(), kFunctions.end(), [&](const auto& f) { return f.label == label; });
    if (it == kFunctions.end()) return std::nullopt;
    return it->function;
}

std::string_view KeyName(std::uint32_t key) {
    static constexpr std::string_view kDigits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    if (key >= vk::Digit0 && key <= vk::Digit9) return kDigits[key - vk::Digit0];
    switch (key) {
    case vk::Star: return "*";
    case vk::Pound: return "#";
    case vk::Left: return "<-";
    case vk::Right: return "->";
    default: return {};
    }
}

bool IsAssignable(std::uint32_t key) { return !KeyName(key).empty(); }

std::optional<std::string_view> ReservedKeyMessage(std::uint32_t key) {
    switch (key) {
    case vk::Action: return "(Action) plays recording selected in the list\n(Action) can't be assigned.";
    case vk::Up: return "(Up) moves up in the recording list\n(Up) can't be assigned.";
    case vk::Down: return "(Down) moves down in the recording list\n(Down) can't be assigned.";
    case vk::Talk:
    case vk::End:
    case vk::VolumeUp:
    case vk::VolumeDown:
    case vk::RecordKey: return "This key can't be assigned.";
    default: return std::nullopt;
    }
}

bool KeyAssignments::matches(Function function, std::uint32_t pressed) const {
    return pressed != vk::None && key(function) == pressed;
}

std::optional<Function> KeyAssignments::holderOf(std::uint32_t pressed) const {
    if (pressed == vk::None) return std::nullopt;
    const auto holder = std::find_if(kTakeOrder.begin(), kTakeOrder.end(), [&](F f) { return key(f) == pressed; });
    if (holder == kTakeOrder.end()) return std::nullopt;
    return *holder;
}

bool KeyAssignments::assign(Function function, std::uint32_t newKey) {
    if (!IsAssignable(newKey)) return false;
    if (const auto holder = holderOf(newKey)) unassign(*holder);
    set(function, newKey);
    const auto overlap =
        std::find_if(kOverlaps.begin(), kOverlaps.end(), [&](const Overlap& o) { return o.function == function; });
    if (overlap == kOverlaps.end()) return true;
    for (std::size_t i = 0; i < overlap->count; ++i) unassign(overlap->cleared[i]);
    return true;
}

}  // namespace tavrin::settings
