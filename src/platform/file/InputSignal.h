#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace tavrin::platform::file {

// A PCM WAV file held in memory as the source of the file-backed microphone:
// mono or stereo, 8 or 16 bits, any rate.
class InputSignal {
public:
    // Maps the whole file and checks it; on failure `error` says why.
    [[nodiscard]] static std::optional<InputSignal> Load(FileSystem& files, const std::string& path,
                                                         std::string& error);
    // Parses a file image already in memory (bounds-checked throughout).
    [[nodiscard]] static std::optional<InputSignal> Parse(std::vector<std::uint8_t> image, std::string& error);

    InputSignal(InputSignal&&) = default;
    InputSignal& operator=(InputSignal&&) = default;

    std::uint16_t channels() const { return channelCount; }
    std::uint32_t samplesPerSec() const { return rate; }
    std::uint16_t bitsPerSample() const { return bits; }
    std::uint64_t frames() const { return frameCount; }
    // The audio bytes as they stand in the file.
    const std::uint8_t* data() const { return base + dataOffset; }
    std::uint32_t dataBytes() const { return dataLength; }
    // Frame i mixed to mono on the 16-bit scale; 0 at and after the end.
    std::int32_t MonoAt(std::uint64_t frame) const;

private:
    InputSignal() = default;
    // Checks the image at `image` (of `size` bytes) and fills the fields.
    [[nodiscard]] bool ParseImage(const std::uint8_t* image, std::size_t size, std::string& error);

    // The file image: either owned here or a read-only mapping of the file.
    std::vector<std::uint8_t> owned;
    std::unique_ptr<File> file;
    std::unique_ptr<Mapping> mapping;
    const std::uint8_t* base = nullptr;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataLength = 0;
    std::uint16_t channelCount = 1;
    std::uint32_t rate = 0;
    std::uint16_t bits = 16;
    std::uint64_t frameCount = 0;
};

}  // namespace tavrin::platform::file
