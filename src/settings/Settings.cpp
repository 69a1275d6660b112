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
constexpr std::string_view kPlayback = "Playback";
constexpr std::string_view kVolume = "Volume";
constexpr std::string_view kSpeed = "Speed";

// The recording options: the bit that writes each number and its value name.
struct NumberValue {
    unsigned bit;
    std::string_view name;
    std::uint32_t RecordingOptions::*number;
    bool RecordingOptions::*flag;
};
constexpr NumberValue kNumbers[] = {
    {kWriteVoiceActivation, "Voice Activation", nullptr, &RecordingOptions::voiceActivated},
    {kWriteActivationLevel, "Activation Level", &RecordingOptions::voiceActivationLevel, nullptr},
    {kWriteSilenceCut, "Silence Cut", nullptr, &RecordingOptions::silenceCut},
    {kWriteSilenceLevel, "Silence Level", &RecordingOptions::silenceCutLevel, nullptr},
    {kWriteSilenceSeconds, "Silence Seconds", &RecordingOptions::silenceSeconds, nullptr},
    {kWriteTimeLimit, "Time Limit", nullptr, &RecordingOptions::timeLimitOn},
    {kWriteTimeLimitMinutes, "Time Limit Minutes", &RecordingOptions::timeLimitMinutes, nullptr},
};
constexpr std::string_view kSubFolder = "Sub-folder";

std::uint32_t NumberOf(const RecordingOptions& o, const NumberValue& v) {
    return v.number ? o.*v.number : (o.*v.flag ? 1u : 0u);
}

std::uint32_t Clamp(std::uint32_t value, std::uint32_t low, std::uint32_t high) {
    return value < low ? low : value > high ? high : value;
}

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

bool IsPlainName(std::string_view name) {
    return !name.empty() && name.find_first_of(kForbiddenNameCharacters) == std::string_view::npos;
}

RecordingOptions Corrected(RecordingOptions o) {
    o.voiceActivationLevel = Clamp(o.voiceActivationLevel, 0, kMaxLevelPercent);
    o.silenceCutLevel = Clamp(o.silenceCutLevel, 0, kMaxLevelPercent);
    o.silenceSeconds = Clamp(o.silenceSeconds, kMinSilenceSeconds, kMaxSilenceSeconds);
    o.timeLimitMinutes = Clamp(o.timeLimitMinutes, kMinTimeLimitMinutes, kMaxTimeLimitMinutes);
    if (!o.subFolder.empty() && !IsPlainName(o.subFolder)) o.subFolder.clear();
    return o;
}

void Settings::readSettings() {
    // Failed reads leave the defaults in place, which is all a missing value means.
    static_cast<void>(store.readNumber(kRecordingOptions, kFormat, formatCode));
    static_cast<void>(store.readString(kRecordingOptions, kSaveLocation, location));
    for (const NumberValue& v : kNumbers) {
        std::uint32_t value = NumberOf(options, v);
        if (!store.readNumber(kRecordingOptions, v.name, value)) continue;
        if (v.number) {
            options.*v.number = value;
        } else if (value <= 1) {
            options.*v.flag = value == 1;
        } else {
            options.*v.flag = false;  // neither on nor off: the recorder does not guess
        }
    }
    static_cast<void>(store.readString(kRecordingOptions, kSubFolder, options.subFolder));
    options = Corrected(std::move(options));
}

void Settings::writeSettings(unsigned which) {
    // The user cannot act on a settings file that refuses writes; what was
    // chosen stays in effect for this run.
    if (which & kWriteFormat) static_cast<void>(store.writeNumber(kRecordingOptions, kFormat, formatCode));
    if (which & kWriteSaveLocation)
        static_cast<void>(store.writeString(kRecordingOptions, kSaveLocation, location));
    for (const NumberValue& v : kNumbers) {
        if (which & v.bit) static_cast<void>(store.writeNumber(kRecordingOptions, v.name, NumberOf(options, v)));
    }
    if (which & kWriteSubFolder)
        static_cast<void>(store.writeString(kRecordingOptions, kSubFolder, options.subFolder));
}

void Settings::restore(const Snapshot& earlier) {
    formatCode = earlier.format;
    location = earlier.saveLocation;
    options = earlier.options;
}

unsigned Settings::Differences(const Snapshot& a, const Snapshot& b) {
    unsigned which = 0;
    if (a.format != b.format) which |= kWriteFormat;
    if (a.saveLocation != b.saveLocation) which |= kWriteSaveLocation;
    for (const NumberValue& v : kNumbers) {
        if (NumberOf(a.options, v) != NumberOf(b.options, v)) which |= v.bit;
    }
    if (a.options.subFolder != b.options.subFolder) which |= kWriteSubFolder;
    return which;
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

void Settings::readPlaybackSpeed() {
    static_cast<void>(store.readNumber(kPlayback, kSpeed, speedHundredths));
}

void Settings::writePlaybackSpeed(std::uint32_t hundredths) {
    speedHundredths = hundredths;
    static_cast<void>(store.writeNumber(kPlayback, kSpeed, hundredths));
}

void Settings::writeMicrophone(std::string sourceName) {
    microphoneName = std::move(sourceName);
    static_cast<void>(store.writeString(kRecordingOptions, kMicrophone, microphoneName));
}

void Settings::readVolume() {
    std::uint32_t stored = 0;
    if (store.readNumber(kPlayback, kVolume, stored)) playbackVolume = static_cast<std::int32_t>(std::min(stored, 100u));
}

void Settings::writeVolume(std::int32_t percent) {
    playbackVolume = std::clamp(percent, 0, 100);
    static_cast<void>(store.writeNumber(kPlayback, kVolume, static_cast<std::uint32_t>(playbackVolume)));
}

}  // namespace tavrin::settings
