#include "platform/file/InputSignal.h"

#include <algorithm>

#include "wav/Formats.h"
#include "wav/WavChunkReader.h"

namespace tavrin::platform::file {
namespace {

// What the user of a file device is told when its input file is refused.
const char* RefusalText(wav::WavFault fault) {
    switch (fault) {
        case wav::WavFault::NotRiff: return "not a RIFF WAVE file";
        case wav::WavFault::NoFormat: return "no fmt chunk";
        case wav::WavFault::NoData: return "no data chunk";
        case wav::WavFault::None:
        case wav::WavFault::FormatUnusable: break;
    }
    return "unsupported audio: only PCM, mono or stereo, 8 or 16 bits";
}

}  // namespace

std::optional<InputSignal> InputSignal::Load(FileSystem& files, const std::string& path, std::string& error) {
    InputSignal signal;
    signal.file = files.open(path, OpenMode::ReadOnly, false);
    std::uint32_t size = 0;
    if (!signal.file || !signal.file->size(size)) {
        error = "cannot open " + path;
        return std::nullopt;
    }
    // Mapped rather than read: a long input is only touched as it is played.
    if (size > 0) signal.mapping = signal.file->map(0, size, false);
    if (size > 0 && !signal.mapping) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    signal.base = signal.mapping ? signal.mapping->data() : nullptr;
    if (!signal.ParseImage(signal.base, size, error)) return std::nullopt;
    return signal;
}

std::optional<InputSignal> InputSignal::Parse(std::vector<std::uint8_t> image, std::string& error) {
    InputSignal signal;
    signal.owned = std::move(image);
    signal.base = signal.owned.data();
    if (!signal.ParseImage(signal.base, signal.owned.size(), error)) return std::nullopt;
    return signal;
}

bool InputSignal::ParseImage(const std::uint8_t* image, std::size_t size, std::string& error) {
    // The walk every reader of recordings uses: a data chunk cut off by a
    // recorder that stopped still counts for the audio it holds.
    wav::WavInfo info;
    const auto held = static_cast<std::uint32_t>(std::min<std::size_t>(size, 0xFFFFFFFFu));
    const wav::WavReading reading = wav::ReadWavBytes(image, held, info);
    // Stereo is no recording the walk plays, yet a record it did not refuse:
    // any such PCM record is 8 or 16 bits, one or two channels, its block
    // size and byte rate matching. Mixed down to mono as it is read.
    if (reading.fault != wav::WavFault::None || info.formatTag != wav::kTagPcm) {
        error = RefusalText(reading.fault);
        return false;
    }
    dataOffset = info.dataStart;
    dataLength = info.dataLength;
    channelCount = info.channels;
    rate = info.samplesPerSec;
    bits = info.bitsPerSample;
    frameCount = dataLength / info.blockAlign;
    return true;
}

std::int32_t InputSignal::MonoAt(std::uint64_t frame) const {
    if (frame >= frameCount) return 0;
    const std::uint8_t* p = data() + frame * channelCount * (bits / 8);
    if (channelCount == 1 && bits == 16) return static_cast<std::int16_t>(wav::LoadLe16(p));
    std::int32_t sum = 0;
    for (std::uint16_t c = 0; c < channelCount; ++c) {
        if (bits == 8) {
            sum += (static_cast<std::int32_t>(p[c]) - 128) * 256;
        } else {
            sum += static_cast<std::int16_t>(wav::LoadLe16(p + 2 * c));
        }
    }
    return channelCount == 2 ? sum / 2 : sum;
}

}  // namespace tavrin::platform::file
