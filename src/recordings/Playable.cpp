#include "recordings/Playable.h"

#include "wav/WavChunkReader.h"

namespace tavrin::recordings {
namespace {

// The smallest file that can hold a WAV header (RIFF, fmt and data of PCM).
constexpr std::uint64_t kSmallestWav = 44;

}  // namespace

Playable JudgeRecording(platform::FileSystem& files, const std::string& path) {
    if (!files.exists(path)) return Playable::Missing;
    wav::WavChunkReader reader(files);
    if (!reader.Open(path)) {
        const auto entry = files.entry(path);
        return entry && entry->size < kSmallestWav ? Playable::Empty : Playable::NotWav;
    }
    switch (reader.Parse()) {
        case wav::kParsePlayable: return Playable::Yes;
        case wav::kParseUnsupported: return reader.Channels() == 2 ? Playable::Stereo : Playable::Unsupported;
        default: return Playable::NotWav;
    }
}

std::vector<Playable> Verdicts::of(const std::vector<std::string>& paths) {
    std::map<std::string, Playable> now;
    std::vector<Playable> verdicts;
    verdicts.reserve(paths.size());
    for (const std::string& path : paths) {
        const auto it = known.find(path);
        const Playable verdict = it != known.end() ? it->second : JudgeRecording(files, path);
        now.emplace(path, verdict);
        verdicts.push_back(verdict);
    }
    known = std::move(now);
    return verdicts;
}

std::string_view WhyNotPlayable(Playable verdict) {
    switch (verdict) {
        case Playable::Yes: return {};
        case Playable::Missing: return kRecordingMissingText;
        case Playable::Empty: return kEmptyFileText;
        case Playable::NotWav: return kNotWavText;
        case Playable::Stereo: return kStereoText;
        case Playable::Unsupported: return kUnsupportedText;
    }
    return {};
}

}  // namespace tavrin::recordings
