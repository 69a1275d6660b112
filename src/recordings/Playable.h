#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace tavrin::recordings {

// Whether the recorder can play a file of the list, and if not, why: the
// chunk reader's one rule, put in the words the user is told.
enum class Playable {
    Yes,
    Missing,      // no such file (deleted, or its card was taken out)
    Empty,        // too short to hold a WAV header
    NotWav,       // not a WAV file the recorder can make sense of (an MP3 renamed, a torn header)
    Stereo,       // a WAV file with two channels
    Unsupported,  // another codec, or GSM at another rate
};

// Reads the file's header, read-only. A file that cannot be opened for
// reading counts as missing when it is not there and as not a WAV file otherwise.
[[nodiscard]] Playable JudgeRecording(platform::FileSystem& files, const std::string& path);

// The verdicts of the rows the list shows: each file is judged once, when
// it first appears, so that a refresh that finds the same files reads none of them.
class Verdicts {
public:
    explicit Verdicts(platform::FileSystem& fileSystem) : files(fileSystem) {}
    // The verdicts of `paths`, in their order; paths no longer among them are forgotten.
    std::vector<Playable> of(const std::vector<std::string>& paths);

private:
    platform::FileSystem& files;
    std::map<std::string, Playable> known;
};

// The short text that says why a recording does not play, in the panel's
// notice line and in the box of a refused Play or edit; empty for Yes.
std::string_view WhyNotPlayable(Playable verdict);

inline constexpr std::string_view kRecordingMissingText = "Recording not found";
inline constexpr std::string_view kEmptyFileText = "Can't play - the file is empty";
inline constexpr std::string_view kNotWavText = "Can't play - not a WAV file";
inline constexpr std::string_view kStereoText = "Can't play - stereo recording";
inline constexpr std::string_view kUnsupportedText = "Can't play - audio format not supported";

}  // namespace tavrin::recordings
