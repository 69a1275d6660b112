#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "settings/Store.h"

namespace tavrin::settings {

// The desktop program's settings file read as text, for the command-line
// tool: sections and value names are those of the Store, escaped the way
// the desktop's settings class writes them ("[Recording%20Options]",
// "Voice%20Activation=1", quoted and backslash-escaped strings). The tool
// only reads; every write is refused, so it never disturbs the program.
class IniStore : public Store {
public:
    explicit IniStore(std::string_view text);

    [[nodiscard]] bool readNumber(std::string_view subKey, std::string_view name, std::uint32_t& value) override;
    [[nodiscard]] bool readString(std::string_view subKey, std::string_view name, std::string& value) override;
    [[nodiscard]] bool writeNumber(std::string_view, std::string_view, std::uint32_t) override { return false; }
    [[nodiscard]] bool writeString(std::string_view, std::string_view, std::string_view) override { return false; }

private:
    std::map<std::pair<std::string, std::string>, std::string, std::less<>> values;
};

}  // namespace tavrin::settings
