#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "settings/Store.h"

namespace tavrin::settings {

// Settings held in memory only: what tavrin-cli uses (it must not disturb the
// desktop program's settings) and what tests inspect. Writes can be refused,
// to stand for a settings file that cannot be written.
class MemoryStore : public Store {
public:
    [[nodiscard]] bool readNumber(std::string_view subKey, std::string_view name, std::uint32_t& value) override;
    [[nodiscard]] bool readString(std::string_view subKey, std::string_view name, std::string& value) override;
    [[nodiscard]] bool writeNumber(std::string_view subKey, std::string_view name, std::uint32_t value) override;
    [[nodiscard]] bool writeString(std::string_view subKey, std::string_view name, std::string_view value) override;

    // While set, every write fails and changes nothing.
    void setWritesFail(bool fail) { writesFail = fail; }
    // Number of writes asked for, successful or not.
    int writeCount() const { return writes; }
    // The stored value, whatever its type, for inspection.
    std::optional<std::variant<std::uint32_t, std::string>> find(std::string_view subKey,
                                                                 std::string_view name) const;
    bool empty() const { return values.empty(); }

private:
    using Key = std::pair<std::string, std::string>;
    std::map<Key, std::variant<std::uint32_t, std::string>, std::less<>> values;
    bool writesFail = false;
    int writes = 0;
};

}  // namespace tavrin::settings
