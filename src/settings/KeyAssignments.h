#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tavrin::settings {

// Virtual-key codes of the keypad. The desktop keys that stand for them are
// mapped by the GUI (Return = Action, Escape = Back, F10 = the record key ...).
namespace vk {
inline constexpr std::uint32_t None = 0;
inline constexpr std::uint32_t Action = 13;
inline constexpr std::uint32_t Back = 27;
inline constexpr std::uint32_t Left = 37;
inline constexpr std::uint32_t Up = 38;
inline constexpr std::uint32_t Right = 39;
inline constexpr std::uint32_t Down = 40;
inline constexpr std::uint32_t Digit0 = 48;
inline constexpr std::uint32_t Digit9 = 57;
inline constexpr std::uint32_t Talk = 114;
inline constexpr std::uint32_t End = 115;
inline constexpr std::uint32_t VolumeUp = 117;
inline constexpr std::uint32_t VolumeDown = 118;
inline constexpr std::uint32_t Star = 119;
inline constexpr std::uint32_t Pound = 120;
inline constexpr std::uint32_t RecordKey = 121;
}  // namespace vk

// The recorder functions a key can be put on, in the order the Assign
// Buttons dialog lists them.
enum class Function {
    PlayPause,
    RecordPause,
    RecordStop,
    AppendStop,
    Play,
    Record,
    Append,
    Insert,
    Overwrite,
    Pause,
    Stop,
    Forward,
    Rewind,
    Faster,  // playback speed, a step up or down
    Slower,
};
inline constexpr std::size_t kFunctionCount = 15;

struct FunctionInfo {
    Function function;
    std::string_view label;      // shown in the dialogs, which also name a function by it
    std::string_view valueName;  // the value under "Keys" in the settings store
};

// The functions in dialog order.
const std::array<FunctionInfo, kFunctionCount>& Functions();
const FunctionInfo& InfoOf(Function function);
std::optional<Function> FunctionOfLabel(std::string_view label);

// "0" to "9", "*", "#", "<-", "->" for the assignable keys; empty for any other code and for 0.
std::string_view KeyName(std::uint32_t key);
bool IsAssignable(std::uint32_t key);

inline constexpr std::string_view kCantAssignCaption = "Tavrin  Can't Assign";
inline constexpr std::string_view kAssignKeyCaption = "Tavrin  Assign Key";
// The notice for a key that can never be assigned (Action, Up, Down and the
// phone's own keys); nothing for any other key.
std::optional<std::string_view> ReservedKeyMessage(std::uint32_t key);

// The key held by each function; 0 means none. Apart from what a settings
// file brings in, no two functions hold the same key.
class KeyAssignments {
public:
    std::uint32_t key(Function function) const { return keys[Index(function)]; }
    // Puts a code in place as it is, without the assignment rules: for reading the store.
    void set(Function function, std::uint32_t key) { keys[Index(function)] = key; }
    // Whether pressing `key` means `function`; a function without a key matches nothing.
    bool matches(Function function, std::uint32_t key) const;

    // Takes the key from the function that holds it, gives it to `function`
    // and clears the functions whose meaning overlaps with it. False, and
    // nothing changes, when the key cannot be assigned.
    [[nodiscard]] bool assign(Function function, std::uint32_t key);
    // The function that holds `key` now and would lose it to another; none
    // when no function has it.
    std::optional<Function> holderOf(std::uint32_t key) const;
    void unassign(Function function) { set(function, vk::None); }

private:
    static std::size_t Index(Function function) { return static_cast<std::size_t>(function); }
    std::array<std::uint32_t, kFunctionCount> keys{};
};

}  // namespace tavrin::settings
