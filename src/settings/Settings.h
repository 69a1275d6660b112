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

// How a recording starts, what it leaves out, how long it may last and
// where it goes. The defaults are what the recorder always did: none of it.
struct RecordingOptions {
    bool voiceActivated = false;
    std::uint32_t voiceActivationLevel = 0;  // percent of full scale
    bool silenceCut = false;
    std::uint32_t silenceCutLevel = 0;  // percent of full scale
    std::uint32_t silenceSeconds = 3;
    bool timeLimitOn = false;
    std::uint32_t timeLimitMinutes = 1;
    std::string subFolder;  // empty: new recordings go straight into the save location

    std::uint32_t silenceMilliseconds() const { return silenceSeconds * 1000; }
    std::uint32_t timeLimitMilliseconds() const { return timeLimitMinutes * 60000; }
    friend bool operator==(const RecordingOptions&, const RecordingOptions&) = default;
};

// The ranges the options are kept in.
inline constexpr std::uint32_t kMaxLevelPercent = 100;
inline constexpr std::uint32_t kMinSilenceSeconds = 1;
inline constexpr std::uint32_t kMaxSilenceSeconds = 60;
inline constexpr std::uint32_t kMinTimeLimitMinutes = 1;
inline constexpr std::uint32_t kMaxTimeLimitMinutes = 600;

// Characters no recording name and no sub-folder may contain: the slash and
// the backslash would leave the folder, the dot keeps the endings ours, the
// others are refused by the file systems of cards and other desktops. A NUL
// would cut the name short where the system reads it.
inline constexpr std::string_view kForbiddenNameCharacters{"\\/:*?\"<.>|\0", 11};
// Whether `name` is usable as one folder or file name: not empty and none of
// the forbidden characters.
bool IsPlainName(std::string_view name);

// The options brought into their ranges: a switch other than 0 and 1 is off,
// a number outside its range takes the nearest end of it, a sub-folder that
// is not a plain name is dropped.
RecordingOptions Corrected(RecordingOptions options);

// Which values writeSettings writes.
inline constexpr unsigned kWriteFormat = 0x80;
inline constexpr unsigned kWriteSaveLocation = 0x100;
inline constexpr unsigned kWriteVoiceActivation = 0x200;
inline constexpr unsigned kWriteActivationLevel = 0x400;
inline constexpr unsigned kWriteSilenceCut = 0x800;
inline constexpr unsigned kWriteSilenceLevel = 0x1000;
inline constexpr unsigned kWriteSilenceSeconds = 0x2000;
inline constexpr unsigned kWriteTimeLimit = 0x4000;
inline constexpr unsigned kWriteTimeLimitMinutes = 0x8000;
inline constexpr unsigned kWriteSubFolder = 0x10000;

inline constexpr std::string_view kFormatsUnavailableMessage = "Cannot retrieve supported audio formats";

// The format codes the input device accepts, in catalogue order, from the
// mask the device probe produced. No mask means the probe failed: the user is
// told and the list is empty.
std::vector<std::uint32_t> SupportedFormats(std::optional<std::uint32_t> acceptedMask, platform::Shell& shell);

// The recorder's settings in memory and their one way in and out of the
// store: the recording format, the save location, the recording options and the keys. Every
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
    const RecordingOptions& recordingOptions() const { return options; }
    // Takes the options as they are; Corrected() brings them into range.
    void setRecordingOptions(RecordingOptions chosen) { options = std::move(chosen); }

    // The microphone: the sound server's stable name of the source recorded
    // from, or empty for whatever the desktop uses by default. Read and
    // written on its own, as "Microphone" in "Recording Options".
    const std::string& microphone() const { return microphoneName; }
    void readMicrophone();
    // Changes and writes it at once; a store that cannot be written keeps the choice for this run.
    void writeMicrophone(std::string sourceName);

    // The playback volume in percent, 100 unless the volume keys changed it;
    // "Volume" in "Playback", read and written on its own. A stored value out
    // of range is brought into it.
    std::int32_t volume() const { return playbackVolume; }
    void readVolume();
    void writeVolume(std::int32_t percent);
    // How fast recordings play, in hundredths of their own speed, kept as
    // "Speed" in "Playback" (100 until one is read); the player decides which
    // values it plays.
    std::uint32_t playbackSpeed() const { return speedHundredths; }
    void readPlaybackSpeed();
    // Changes and writes it at once; a store that cannot be written keeps it for this run.
    void writePlaybackSpeed(std::uint32_t hundredths);


    // What the recording options page can change, to put back or to compare.
    struct Snapshot {
        std::uint32_t format = 0;
        std::string saveLocation;
        RecordingOptions options;
    };
    Snapshot snapshot() const { return {formatCode, location, options}; }
    void restore(const Snapshot& earlier);
    // The kWrite… bits of the values that differ between two snapshots.
    static unsigned Differences(const Snapshot& a, const Snapshot& b);

    // Reads "Format", "Save Location" and the recording options; a value the
    // store lacks leaves the one in memory. The options are brought into
    // their ranges in memory only; validate the format and location afterwards.
    void readSettings();
    // Writes the values named by the kWrite… bits. A store that cannot be
    // written changes nothing here: the values in memory stay.
    void writeSettings(unsigned which);
    // Reads the keys; an absent value leaves that function's key.
    void readKeys();
    // Writes the key of the function with this label, or all of them for an
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
    std::uint32_t speedHundredths = 100;
    RecordingOptions options;
    std::string microphoneName;
    std::int32_t playbackVolume = 100;
};

}  // namespace tavrin::settings
