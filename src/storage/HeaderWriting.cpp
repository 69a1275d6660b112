#include "storage/HeaderWriting.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "storage/Strategy.h"
#include "wav/HeaderLayout.h"

namespace tavrin::storage {
namespace {

void SetId(std::uint8_t* at, const char (&id)[5]) { std::memcpy(at, id, 4); }

// The pieces a new header has always gone out in after Open's "RIFF" and
// size: "WAVE", the fmt chunk, for GSM the record's block fields, the fact
// chunk's header and its value, then the data chunk's header.
constexpr std::array<std::uint32_t, 3> kPcmPieceEnds{12, 36, 44};
constexpr std::array<std::uint32_t, 6> kGsmPieceEnds{12, 36, 40, 48, 52, 60};

std::span<const std::uint32_t> PieceEnds(const wav::NewHeader& header) {
    if (header.places.factValuePos != 0) return kGsmPieceEnds;
    return kPcmPieceEnds;
}

// The image takes the new header's fmt chunk and empty data chunk header.
void TakeFormat(HeaderImage& image, const wav::NewHeader& header) {
    image.fmt.fill(0);
    const std::uint8_t* fmt = &header.bytes[wav::kFmtChunkPos];
    std::copy(fmt, fmt + 8 + wav::LoadLe32(fmt + 4), image.fmt.begin());
    std::copy_n(&header.bytes[header.places.dataChunkPos], 8, image.data.begin());
    image.factValuePos = 0;
}

}  // namespace

bool StrategySink::SeekTo(std::uint32_t offset) { return strategy.SeekTo(offset); }

bool StrategySink::Write(const void* source, std::uint32_t bytes) {
    return strategy.Write(source, bytes) == Status::Ok;
}

bool FileSink::SeekTo(std::uint32_t offset) { return file.seek(offset); }

bool FileSink::Write(const void* source, std::uint32_t bytes) {
    std::uint32_t written = 0;
    return file.write(source, bytes, written) && written == bytes;
}

bool MemorySink::SeekTo(std::uint32_t offset) {
    if (offset > size) return false;
    at = offset;
    return true;
}

bool MemorySink::Write(const void* source, std::uint32_t bytes) {
    if (bytes > size - at) return false;
    std::memcpy(memory + at, source, bytes);
    at += bytes;
    return true;
}

Status WriteNewHeader(Strategy& strategy, HeaderImage& image, const std::string& fileName, std::uint16_t tag,
                      std::uint32_t samplesPerSec, std::uint16_t bitsPerSample, std::uint16_t channels) {
    const wav::NewHeader header = wav::BuildNewHeader(wav::BuildWaveFormat(tag, samplesPerSec, bitsPerSample, channels), 0);
    TakeFormat(image, header);
    Status status = strategy.Open(fileName);
    std::uint32_t from = wav::kAfterRiffSize;
    for (const std::uint32_t end : PieceEnds(header)) {
        if (status != Status::Ok) break;
        // A place is noted once the write point reaches it.
        if (from == header.places.factValuePos) image.factValuePos = from;
        if (from == header.places.dataChunkPos) image.dataChunkPos = from;
        status = strategy.Write(&header.bytes[from], end - from);
        from = end;
    }
    return status;
}

bool FinishHeader(HeaderSink& sink, HeaderImage& image, std::uint32_t fileLength) {
    SetId(&image.data[0], "data");
    // Only the counts are written: "RIFF" and "data" are in the file already,
    // and a power cut while a write reaches the medium may tear every byte it
    // covers, so an identifier written again could be lost with its count.
    // Each step is tried even when an earlier one failed: a header that is
    // partly right is closer to the truth than one left wholly stale.
    bool ok = sink.SeekTo(image.dataChunkPos + 4) && sink.Write(&image.data[4], 4);
    if (image.IsGsm() && image.factValuePos != 0) {
        std::array<std::uint8_t, 4> count{};
        wav::StoreLe32(count.data(), image.DataSize() / wav::kGsmBlockBytes);
        ok = sink.SeekTo(image.factValuePos) && sink.Write(count.data(), 4) && ok;
    }
    std::array<std::uint8_t, 4> riffSize{};
    wav::StoreLe32(riffSize.data(), fileLength >= 8 ? fileLength - 8 : 0);
    return sink.SeekTo(4) && sink.Write(riffSize.data(), 4) && ok;
}

bool WriteRiffSize(platform::File& file, std::uint32_t fileEnd) {
    std::vector<std::uint8_t> size(4);
    wav::StoreLe32(size.data(), fileEnd - 8);
    std::vector<std::uint8_t> held(4);
    if (!platform::ReadAt(file, 4, held.data(), 4)) held.clear();
    return platform::WriteChangedAt(file, 4, held, size);
}

}  // namespace tavrin::storage
