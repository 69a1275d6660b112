#include "storage/HeaderWriting.h"

#include <array>
#include <cstring>

#include "storage/Strategy.h"

namespace tavrin::storage {
namespace {

// Offset of the first byte after "RIFF" and its size, where Open leaves a new file.
constexpr std::uint32_t kAfterRiffHeader = 8;

void SetId(std::uint8_t* at, const char (&id)[5]) { std::memcpy(at, id, 4); }

void BuildFormat(HeaderImage& image, std::uint16_t tag, std::uint32_t samplesPerSec, std::uint16_t bitsPerSample,
                 std::uint16_t channels) {
    const wav::WaveFormat format = wav::BuildWaveFormat(tag, samplesPerSec, bitsPerSample, channels);
    image.fmt.fill(0);
    SetId(&image.fmt[0], "fmt ");
    wav::StoreLe32(&image.fmt[4], format.recordSize());
    wav::SerializeWaveFormat(format, &image.fmt[8]);
    SetId(&image.data[0], "data");
    image.SetDataSize(0);
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
    BuildFormat(image, tag, samplesPerSec, bitsPerSample, channels);
    // The layout is fixed, so positions are counted rather than asked of the strategy.
    std::uint32_t position = kAfterRiffHeader;
    auto write = [&](const void* bytes, std::uint32_t count) {
        const Status status = strategy.Write(bytes, count);
        if (status == Status::Ok) position += count;
        return status;
    };
    Status status = strategy.Open(fileName);
    if (status != Status::Ok) return status;
    if ((status = write("WAVE", 4)) != Status::Ok) return status;
    if ((status = write(image.fmt.data(), 24)) != Status::Ok) return status;
    if (image.IsGsm()) {
        static constexpr std::array<std::uint8_t, 8> kFactHeader{'f', 'a', 'c', 't', 4, 0, 0, 0};
        static constexpr std::uint32_t kZero = 0;
        if ((status = write(&image.fmt[24], 4)) != Status::Ok) return status;
        if ((status = write(kFactHeader.data(), 8)) != Status::Ok) return status;
        image.factValuePos = position;
        if ((status = write(&kZero, 4)) != Status::Ok) return status;
    }
    image.dataChunkPos = position;
    return write(image.data.data(), 8);
}

bool FinishHeader(HeaderSink& sink, HeaderImage& image, std::uint32_t fileLength) {
    SetId(&image.data[0], "data");
    // Each step is tried even when an earlier one failed: a header that is
    // partly right is closer to the truth than one left wholly stale.
    bool ok = sink.SeekTo(image.dataChunkPos) && sink.Write(image.data.data(), 8);
    if (image.IsGsm() && image.factValuePos != 0) {
        std::array<std::uint8_t, 4> count{};
        wav::StoreLe32(count.data(), image.DataSize() / wav::kGsmBlockBytes);
        ok = sink.SeekTo(image.factValuePos) && sink.Write(count.data(), 4) && ok;
    }
    std::array<std::uint8_t, 8> riff{'R', 'I', 'F', 'F'};
    wav::StoreLe32(&riff[4], fileLength >= 8 ? fileLength - 8 : 0);
    return sink.SeekTo(0) && sink.Write(riff.data(), 8) && ok;
}

}  // namespace tavrin::storage
