#include "settings/Settings.h"

#include <algorithm>

#include "wav/Formats.h"

namespace tavrin::settings {
namespace {

constexpr std::string_view kRecordingOptions = "Recording Options";
constexpr std::string_view kFormat = "Format";
constexpr std::string_view kSaveLocation = "Save Location";
constexpr std::string_view kMicrophone = "Microphone";
constexpr std::string_view kKeys = "Keys";

constexpr std::string_view kProductCaption = "Tavrin";

}  // namespace

std::vector<std::uint32_t> SupportedFormats(std::optional<std::uint32_t> acceptedMask, platform::Shell& shell) {
    std::vector<std::uint32_t> codes;
    if (!acceptedMask) {
        // Yes and No buttons, as the recorder has always shown it; the answer changes nothing.
        shell.messageBox(std::string(kFormatsUnavailableMessage), std::string(kProductCaption),
                         platform::mb::IconHand | platform::mb::YesNo);
        return codes;
    }
    for (const auto& entry : wav::OfferedFormats(*acceptedMask)) codes.push_back(entry.code);
    return codes;
}

void Settings::readSettings() {
    // Failed reads leave the defaults in place, which is all a missing value means.
    static_cast<void>(store.readNumber(kRecordingOptions, kFormat, formatCode));
    static_cast<void>(store.readString(kRecordingOptions, kSaveLocation, location));
}

void Settings::writeSettings(unsigned which) {
    // The user cannot act on a settings file that refuses writes; what was
    // chosen stays in effect for this run.
    if (which & kWriteFormat) static_cast<void>(store.writeNumber(kRecordingOptions, kFormat, formatCode));
    if (which & kWriteSaveLocation)
        static_cast<void>(store.writeString(kRecordingOptions, kSaveLocation, location));
}

void Settings::readKeys() {
    for (const auto& f : Functions()) {
        std::uint32_t code = keyAssignments.key(f.function);
        if (store.readNumber(kKeys, f.valueName, code)) keyAssignments.set(f.function, code);
    }
}

void Settings::writeKeys(std::string_view label) {
    for (const auto& f : Functions()) {
        if (label.empty() || f.label == label)
            static_cast<void>(store.writeNumber(kKeys, f.valueName, keyAssignments.key(f.function)));
    }
}

void Settings::validateFormat(const std::vector<std::uint32_t>& supported) {
    if (std::find(supported.begin(), supported.end(), formatCode) != supported.end()) return;
    if (!supported.empty()) {
        formatCode = supported.front();
    } else if (!wav::FindByCode(formatCode)) {
        formatCode = wav::Catalogue().front().code;
    }
}

void Settings::validateSaveLocation(const std::vector<std::string>& locations) {
    if (std::find(locations.begin(), locations.end(), location) != locations.end()) return;
    location = locations.empty() ? std::string() : locations.front();
}

void Settings::readMicrophone() { static_cast<void>(store.readString(kRecordingOptions, kMicrophone, microphoneName)); }

void Settings::writeMicrophone(std::string sourceName) {
    microphoneName = std::move(sourceName);
    static_cast<void>(store.writeString(kRecordingOptions, kMicrophone, microphoneName));
}

}  // namespace tavrin::settings
