#include "settings/MemoryStore.h"

namespace tavrin::settings {

bool MemoryStore::readNumber(std::string_view subKey, std::string_view name, std::uint32_t& value) {
    const auto found = find(subKey, name);
    if (!found || !std::holds_alternative<std::uint32_t>(*found)) return false;
    value = std::get<std::uint32_t>(*found);
    return true;
}

bool MemoryStore::readString(std::string_view subKey, std::string_view name, std::string& value) {
    const auto found = find(subKey, name);
    if (!found || !std::holds_alternative<std::string>(*found)) return false;
    value = std::get<std::string>(*found);
    return true;
}

bool MemoryStore::writeNumber(std::string_view subKey, std::string_view name, std::uint32_t value) {
    ++writes;
    if (writesFail) return false;
    values[Key(subKey, name)] = value;
    return true;
}

bool MemoryStore::writeString(std::string_view subKey, std::string_view name, std::string_view value) {
    ++writes;
    if (writesFail) return false;
    values[Key(subKey, name)] = std::string(value);
    return true;
}

std::optional<std::variant<std::uint32_t, std::string>> MemoryStore::find(std::string_view subKey,
                                                                          std::string_view name) const {
    const auto it = values.find(Key(subKey, name));
    if (it == values.end()) return std::nullopt;
    return it->second;
}

}  // namespace tavrin::settings
