#include "platform/file/InputSignal.h"

#include <cstring>

#include "wav/Formats.h"

namespace tavrin::platform::file {
namespace {

bool IdIs(const std::uint8_t* b, std::size_t at, const char* id) {
    return std::memcmp(b + at, id, 4) == 0;
}

struct Fmt {
    std::uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
    std::uint32_t rate = 0;
};

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
    if (size < 12 || !IdIs(image, 0, "RIFF") || !IdIs(image, 8, "WAVE")) {
        error = "not a RIFF WAVE file";
        return false;
    }
    std::optional<Fmt> fmt;
    std::optional<std::pair<std::size_t, std::size_t>> data;  // offset, length
    for (std::size_t pos = 12; pos + 8 <= size;) {
        const std::size_t body = pos + 8;
        std::size_t length = wav::LoadLe32(image + pos + 4);
        if (length > size - body) {
            // A recorder that was cut off leaves a data chunk longer than the
            // file; what is there is still audio. Any other chunk is damage.
            if (!IdIs(image, pos, "data")) break;
            length = size - body;
        }
        if (IdIs(image, pos, "fmt ") && length >= 16) {
            const std::uint8_t* record = image + body;
            fmt = Fmt{wav::LoadLe16(record), wav::LoadLe16(record + 2), wav::LoadLe16(record + 12),
                      wav::LoadLe16(record + 14), wav::LoadLe32(record + 4)};
        } else if (IdIs(image, pos, "data") && !data) {
            data = std::pair{body, length};
        }
        pos = body + length + (length & 1);  // chunks are padded to even length
    }
    if (!fmt || !data) {
        error = fmt ? "no data chunk" : "no fmt chunk";
        return false;
    }
    const bool supported = fmt->tag == 1 && (fmt->channels == 1 || fmt->channels == 2) &&
                           (fmt->bits == 8 || fmt->bits == 16) && fmt->rate > 0 &&
                           fmt->blockAlign == fmt->channels * fmt->bits / 8;
    if (!supported) {
        error = "unsupported audio: only PCM, mono or stereo, 8 or 16 bits";
        return false;
    }
    dataOffset = static_cast<std::uint32_t>(data->first);
    dataLength = static_cast<std::uint32_t>(data->second);
    channelCount = fmt->channels;
    rate = fmt->rate;
    bits = fmt->bits;
    frameCount = data->second / fmt->blockAlign;
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
