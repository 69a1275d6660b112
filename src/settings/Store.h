#pragma once

#include "platform/SettingsStore.h"

namespace tavrin::settings {

// The settings are kept by the platform: the desktop's settings file, or a map in tests.
using Store = platform::SettingsStore;

}  // namespace tavrin::settings
