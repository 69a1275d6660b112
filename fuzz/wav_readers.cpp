// Feeds arbitrary bytes to both readers of existing WAV files: the chunk walk
// that tells whether a file can be played, and the strict header reading that
// opens a recording. Built with AddressSanitizer, so any read outside the
// input is a crash; a few invariants of a successful read are checked too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "storage/HeaderReading.h"
#include "wav/WavChunkReader.h"

namespace {

using tavrin::storage::HeaderImage;
using tavrin::storage::HeaderSource;
using tavrin::storage::Status;

// A file held in the fuzzer's buffer, read the way a select strategy reads:
// one read per call, fewer bytes at the end.
class BufferSource : public HeaderSource {
public:
    BufferSource(const std::uint8_t* data, std::uint32_t size) : bytes(data), length(size) {}

    Status Open(const std::string&) override {
        position = 0;
        std::uint8_t riff[8];
        std::uint32_t got = 0;
        return Read(riff, sizeof riff, got) == Status::Ok ? Status::Ok : Status::FileError;
    }
    Status Read(void* destination, std::uint32_t n, std::uint32_t& count) override {
        count = n < length - position ? n : length - position;
        if (count > 0) std::memcpy(destination, bytes + position, count);
        position += count;
        return count < n ? Status::EndOfData : Status::Ok;
    }
    Status Expect(const void* expected, std::uint32_t count) override {
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint8_t byte = 0;
            std::uint32_t got = 0;
            if (Read(&byte, 1, got) != Status::Ok || byte != static_cast<const std::uint8_t*>(expected)[i])
                return Status::FileError;
        }
        return Status::Ok;
    }
    bool SeekTo(std::uint32_t offset) override {
        if (offset > length) return false;
        position = offset;
        return true;
    }
    std::uint32_t ReadPosition() override { return position; }

private:
    const std::uint8_t* bytes;
    std::uint32_t length;
    std::uint32_t position = 0;
};

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

void FuzzChunkWalk(const std::uint8_t* data, std::uint32_t size, tavrin::wav::WavInfo& info, int& result) {
    result = tavrin::wav::ParseWavBytes(data, size, info);
    Require(result >= 0 && result <= 2);
    if (result == tavrin::wav::kParseUnusable) return;
    // A data chunk was taken: it starts inside the file and is no longer than what the file holds.
    Require(info.dataStart >= 20 && info.dataStart <= size);
    Require(std::uint64_t{info.dataStart} + info.dataLength <= size);
    Require(info.samplesPerSec > 0);
    (void)tavrin::wav::DurationMs(info);
}

void FuzzStrictReading(const std::uint8_t* data, std::uint32_t size, const tavrin::wav::WavInfo& walked,
                       int walkResult) {
    BufferSource source(data, size);
    HeaderImage image;
    const bool selected = tavrin::storage::ReadHeaderStrict(source, "fuzz.wav", image) == Status::Ok;
    // One rule for both readers: what the walk calls playable opens for
    // playback, with its audio in the same place and of the same length once
    // cut to the file (as storage does), and what opens is playable, or
    // stereo PCM, which storage opens and the list does not play.
    const auto held = [&] { return std::min<std::uint64_t>(image.DataSize(), size - (image.dataChunkPos + 8)); };
    if (walkResult == tavrin::wav::kParsePlayable) {
        Require(selected);
        Require(image.dataChunkPos + 8 == walked.dataStart && held() == walked.dataLength);
    }
    if (!selected) return;
    Require(walkResult == tavrin::wav::kParsePlayable ||
            (walkResult == tavrin::wav::kParseUnsupported && image.Channels() == 2));
    // What storage and engine later divide by must not be zero.
    Require(image.SamplesPerSec() > 0 && image.AvgBytesPerSec() > 0);
    Require(image.IsGsm() || image.BitsPerSample() == 8 || image.BitsPerSample() == 16);
    Require(image.CacheCapacity() > 0);
    Require(source.ReadPosition() == image.dataChunkPos + 8 && image.dataChunkPos + 8 <= size);
    (void)image.LengthInBlocks();
    (void)image.BlockAt(source.ReadPosition());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > std::numeric_limits<std::uint32_t>::max()) return 0;
    const auto length = static_cast<std::uint32_t>(size);
    tavrin::wav::WavInfo info;
    int result = tavrin::wav::kParseUnusable;
    FuzzChunkWalk(data, length, info, result);
    FuzzStrictReading(data, length, info, result);
    return 0;
}
