#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavrin::platform {

// Where the recorder keeps its few settings (the desktop's settings file, or a
// map in tests): named values grouped under a sub-key ("Recording Options",
// "Keys"). Reads and writes fail silently as far
// as the user is concerned: a read that fails returns false and leaves the
// caller's value untouched, so the default the caller put there stays.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // False when the sub-key or the value is missing or is not a number.
    [[nodiscard]] virtual bool readNumber(std::string_view subKey, std::string_view name, std::uint32_t& value) = 0;
    // False when the sub-key or the value is missing or is not a string.
    [[nodiscard]] virtual bool readString(std::string_view subKey, std::string_view name, std::string& value) = 0;
    // False when the value could not be made durable.
    [[nodiscard]] virtual bool writeNumber(std::string_view subKey, std::string_view name, std::uint32_t value) = 0;
    [[nodiscard]] virtual bool writeString(std::string_view subKey, std::string_view name,
                                           std::string_view value) = 0;
};

}  // namespace tavrin::settings
