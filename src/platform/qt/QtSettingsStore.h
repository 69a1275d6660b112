#pragma once

#include <QString>

#include "platform/SettingsStore.h"

namespace tavrin::platform {

// The settings store on QSettings: the organisation "Korvel Software" and the
// application "Tavrin", one group per sub-key. Each call opens the settings
// afresh and a write is synced at once, so that every change is on disk before
// the dialog that made it closes and a failed write is told apart from an
// earlier one.
class QtSettingsStore : public SettingsStore {
public:
    QtSettingsStore() = default;

    [[nodiscard]] bool readNumber(std::string_view subKey, std::string_view name, std::uint32_t& value) override;
    [[nodiscard]] bool readString(std::string_view subKey, std::string_view name, std::string& value) override;
    [[nodiscard]] bool writeNumber(std::string_view subKey, std::string_view name, std::uint32_t value) override;
    [[nodiscard]] bool writeString(std::string_view subKey, std::string_view name, std::string_view value) override;

    static const QString& organization();
    static const QString& application();
};

}  // namespace tavrin::platform
