#pragma once

#include <cstdint>
#include <functional>

#include "platform/FileSystem.h"

namespace tavrin::storage {

// A change collected in a buffer (slow media) reaches its file in one go: at
// the end of the change, or from its spool when recovery finishes a change a
// crash cut short. Both lay the file out the same way from `point` on: the
// buffer (a new recording's starts with its header), the old audio an
// insertion moves on, a pad byte when chunks follow odd-sized audio, the
// chunks after the audio; the file ends there and its header counts the audio.
struct BufferedChange {
    std::uint32_t point = 0;      // file offset of the buffer's first byte
    std::uint32_t dataStart = 0;  // file offset of the first byte of audio
    std::uint32_t blockAlign = 1;
    const std::uint8_t* buffer = nullptr;
    std::uint32_t bufferBytes = 0;
    const std::uint8_t* tail = nullptr;  // old audio after the buffer
    std::uint32_t tailBytes = 0;
    const std::uint8_t* chunks = nullptr;  // chunks after the audio, without a pad byte
    std::uint32_t chunkBytes = 0;
};

// Where the bytes went: `kept` bytes of the buffer, the audio's end and the file's.
struct ChangeLayout {
    std::uint32_t kept = 0;
    std::uint32_t audioEnd = 0;
    std::uint32_t pad = 0;
    std::uint32_t fileEnd = 0;
};

struct ChangeWritten {
    bool whole = false;       // all of the change reached the file
    bool laidOut = false;     // the file is as `layout` says, its header included
    ChangeLayout layout;
};

// Writes the header of a file laid out as given (its audio ends at
// `audioEnd`, the file at `fileEnd`); false when a write failed.
using HeaderFinisher = std::function<bool(std::uint32_t audioEnd, std::uint32_t fileEnd)>;

// Writes the change, cuts the file after it and finishes its header. When the
// medium refuses part of it (a full volume, most often), the file is laid out
// again within what it took: as many whole blocks of the buffer's audio as
// fit, then the old audio and the chunks (which fit, since the file held them
// before), under a header that counts exactly that. Nothing of the change is
// dropped here: the caller keeps the buffer or its spool for another attempt.
[[nodiscard]] ChangeWritten WriteBufferedChange(platform::File& file, const BufferedChange& change,
                                                const HeaderFinisher& finishHeader);

}  // namespace tavrin::storage
