#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Shell.h"
#include "settings/KeyAssignments.h"
#include "settings/Store.h"

namespace tavrin::settings {

// Recording options that no dialog and no stored value changes; the engine
// and the record states still take them as parameters, so that a later
// version can offer them.
struct RecordingOptions {
    bool voiceActivated = false;
    std::uint32_t voiceActivationLevel = 0;
    bool silenceCut = false;
    std::uint32_t silenceCutLevel = 0;
    std::uint32_t silenceSeconds = 3;
    bool timeLimitOn = false;
    std::uint32_t timeLimitMinutes = 1;
    std::string subFolder;  // empty: new recordings go straight into the save location

    std::uint32_t silenceMilliseconds() const { return silenceSeconds * 1000; }
    std::uint32_t timeLimitMilliseconds() const { return timeLimitMinutes * 60000; }
};

// Which values writeSettings writes.
inline constexpr unsigned kWriteFormat = 0x80;
inline constexpr unsigned kWriteSaveLocation = 0x100;

inline constexpr std::string_view kFormatsUnavailableMessage = "Cannot retrieve supported audio formats";

// The format codes the input device accepts, in catalogue order, from the
// mask the device probe produced. No mask means the probe failed: the user is
// told and the list is empty.
std::vector<std::uint32_t> SupportedFormats(std::optional<std::uint32_t> acceptedMask, platform::Shell& shell);

// The recorder's settings in memory and their one way in and out of the
// store: the recording format, the save location and the eleven keys. Every
// value name is spelled here or in the function table, nowhere else.
class Settings {
public:
    explicit Settings(Store& backing) : store(backing) {}

    std::uint32_t format() const { return formatCode; }
    void setFormat(std::uint32_t code) { formatCode = code; }
    const std::string& saveLocation() const { return location; }
    void setSaveLocation(std::string folder) { location = std::move(folder); }
    KeyAssignments& keys() { return keyAssignments; }
    const KeyAssignments& keys() const { return keyAssignments; }
    const RecordingOptions& recordingOptions() const { return fixedOptions; }

    // The microphone: the sound server's stable name of the source recorded
    // from, or empty for whatever the desktop uses by default. Read and
    // written on its own, as "Microphone" in "Recording Options".
    const std::string& microphone() const { return microphoneName; }
    void readMicrophone();
    // Changes and writes it at once; a store that cannot be written keeps the choice for this run.
    void writeMicrophone(std::string sourceName);

    // Reads "Format" and "Save Location"; a value the store lacks leaves the
    // one in memory. Validate afterwards.
    void readSettings();
    // Writes the values named by kWriteFormat and kWriteSaveLocation. A store
    // that cannot be written changes nothing here: the values in memory stay.
    void writeSettings(unsigned which);
    // Reads the eleven keys; an absent value leaves that function's key.
    void readKeys();
    // Writes the key of the function with this label, or all eleven for an
    // empty label; an unknown label writes nothing.
    void writeKeys(std::string_view label);

    // Corrections that are made in memory only; the store keeps what the
    // user chose until the user changes it.
    //
    // A format the device does not accept becomes the first one it does. With
    // nothing accepted (the probe failed) a known format is kept and an
    // unknown code becomes the catalogue's first, so that no meaningless code
    // reaches the engine.
    void validateFormat(const std::vector<std::uint32_t>& supported);
    // A save location that is not one of `locations` (documents folder first,
    // then the cards) becomes the documents folder.
    void validateSaveLocation(const std::vector<std::string>& locations);

private:
    Store& store;
    std::uint32_t formatCode = 0;
    std::string location;
    KeyAssignments keyAssignments;
    RecordingOptions fixedOptions;
    std::string microphoneName;
};

}  // namespace tavrin::settings
