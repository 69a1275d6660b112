#include "storage/HeaderReading.h"

#include <cstring>
#include <limits>

#include "wav/WavChunkReader.h"

namespace tavrin::storage {
namespace {

// Reads exactly `n` bytes; anything less is a header that is not there.
Status ReadExactly(HeaderSource& source, void* destination, std::uint32_t n) {
    std::uint32_t count = 0;
    const Status status = source.Read(destination, n, count);
    if (status == Status::Ok && count == n) return Status::Ok;
    return Status::FileError;
}

// The rule every reader shares. Stereo PCM, which the player does not offer,
// can still be opened by storage, as it always could.
bool FormatAcceptable(const HeaderImage& image) {
    const int verdict = wav::Playability(image.Format());
    if (verdict == wav::kParsePlayable) return image.FmtSize() >= (image.IsGsm() ? 20u : 16u);
    return verdict == wav::kParseUnsupported && image.FormatTag() == wav::kTagPcm && image.Channels() == 2;
}

// Reads the record of the fmt chunk whose 8-byte header is `head`: 16 bytes,
// for GSM 20 when the chunk holds them. A longer record's rest is skipped.
Status ReadFmt(HeaderSource& source, HeaderImage& image, const std::uint8_t* head) {
    image.fmt.fill(0);
    std::memcpy(image.fmt.data(), head, 8);
    const std::uint32_t size = image.FmtSize();
    if (size < 16) return Status::FileError;
    if (ReadExactly(source, &image.fmt[8], 16) != Status::Ok) return Status::FileError;
    if (image.IsGsm() && size >= 20) return ReadExactly(source, &image.fmt[24], 4);
    return Status::Ok;
}

struct Walk {
    std::uint64_t at = 12;  // the chunk being looked at
    bool afterOddChunk = false;
    bool fmtSeen = false;
    bool dataSeen = false;
};

// Reads the 8-byte header of the next chunk. After an odd-sized chunk the pad
// byte is skipped, unless a chunk id stands right after it (a writer that
// left the pad byte out).
Status ReadChunkHeader(HeaderSource& source, Walk& walk, std::uint8_t* head) {
    // Every offset of a recording, the first audio byte included, is 32-bit.
    if (walk.at + 1 > std::numeric_limits<std::uint32_t>::max() - 8) return Status::FileError;
    if (!source.SeekTo(static_cast<std::uint32_t>(walk.at)) || ReadExactly(source, head, 8) != Status::Ok) {
        if (!walk.afterOddChunk) return Status::FileError;
        head[0] = 0;  // no chunk right there: try after the pad byte
    }
    if (walk.afterOddChunk && !wav::LooksLikeChunkId(head)) {
        walk.at += 1;
        if (!source.SeekTo(static_cast<std::uint32_t>(walk.at)) || ReadExactly(source, head, 8) != Status::Ok)
            return Status::FileError;
    }
    return wav::LooksLikeChunkId(head) ? Status::Ok : Status::FileError;
}

// Visits the chunk whose header is `head`, taking what the image needs.
Status VisitChunk(HeaderSource& source, HeaderImage& image, Walk& walk, const std::uint8_t* head) {
    const auto at = static_cast<std::uint32_t>(walk.at);
    if (std::memcmp(head, "fmt ", 4) == 0) {
        walk.fmtSeen = true;
        if (ReadFmt(source, image, head) != Status::Ok) return Status::FileError;
        // Each fmt chunk is judged as the chunk walk judges it: one that
        // cannot be used, or a GSM record without its block fields, refuses
        // the file, whatever a later one says.
        if (image.IsGsm() && image.FmtSize() < 20) return Status::FileError;
        // And it lies within the file, give or take the three bytes a writer
        // may have rounded its size by.
        const std::uint64_t last = walk.at + std::uint64_t{image.FmtSize()} + 4;
        std::uint8_t byte = 0;
        if (last > std::numeric_limits<std::uint32_t>::max() || !source.SeekTo(static_cast<std::uint32_t>(last)) ||
            ReadExactly(source, &byte, 1) != Status::Ok)
            return Status::FileError;
        return wav::Playability(image.Format()) == wav::kParseUnusable ? Status::FileError : Status::Ok;
    }
    if (std::memcmp(head, "fact", 4) == 0 && wav::LoadLe32(head + 4) >= 4) image.factValuePos = at + 8;
    if (std::memcmp(head, "data", 4) == 0) {
        walk.dataSeen = true;
        image.dataChunkPos = at;
        std::memcpy(image.data.data(), head, 8);
    }
    return Status::Ok;
}

// Walks the chunks from offset 12 until both the fmt and the data chunk were
// seen, skipping all others; a file that ends first is refused.
Status WalkToData(HeaderSource& source, HeaderImage& image) {
    Walk walk;
    std::uint8_t head[8];
    for (;;) {
        if (ReadChunkHeader(source, walk, head) != Status::Ok) return Status::FileError;
        if (VisitChunk(source, image, walk, head) != Status::Ok) return Status::FileError;
        if (walk.fmtSeen && walk.dataSeen) return Status::Ok;
        const std::uint32_t size = wav::LoadLe32(head + 4);
        walk.at += 8 + std::uint64_t{size};
        walk.afterOddChunk = size % 2 != 0;
    }
}

}  // namespace

Status ReadHeaderStrict(HeaderSource& source, const std::string& fileName, HeaderImage& image) {
    if (fileName.empty()) return Status::InternalError;
    if (source.Open(fileName) != Status::Ok) return Status::FileError;
    // As for the chunk walk: a file that is not RIFF is not opened, whatever follows.
    if (!source.SeekTo(0) || source.Expect("RIFF", 4) != Status::Ok || !source.SeekTo(8)) return Status::FileError;
    if (source.Expect("WAVE", 4) != Status::Ok) return Status::FileError;
    image.factValuePos = 0;
    image.fmt.fill(0);
    if (WalkToData(source, image) != Status::Ok) return Status::FileError;
    if (!FormatAcceptable(image)) return Status::FileError;
    // Only a GSM file keeps a block count up to date.
    if (!image.IsGsm()) image.factValuePos = 0;
    // The read point goes to the first audio byte, also when the fmt chunk
    // came after the data chunk.
    if (!source.SeekTo(image.dataChunkPos + 8)) return Status::FileError;
    return Status::Ok;
}

}  // namespace tavrin::storage
