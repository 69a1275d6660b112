#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileSystem.h"
#include "wav/ChunkWalk.h"
#include "wav/Formats.h"

namespace tavrin::wav {

// What a parse makes of a file.
inline constexpr int kParseUnusable = 0;     // not a WAVE file we can make sense of
inline constexpr int kParsePlayable = 1;     // PCM or GSM, mono
inline constexpr int kParseUnsupported = 2;  // a WAVE file we do not play (stereo, other codec)

// What the chunk walk found: the record of the fmt chunk and where the audio
// is. The record's initial values are those a data chunk met before any fmt
// chunk is measured with (PCM, mono, 8-bit).
struct WavInfo : WaveFormat {
    std::uint32_t dataLength = 0;
    std::uint32_t dataStart = 0;  // offset of the first audio byte; 0 while no data chunk was taken
    std::uint32_t lengthInBlocks = 0;

    friend bool operator==(const WavInfo&, const WavInfo&) = default;
};

// Whether a format record is one we play. The one rule for every reader: the
// chunk walk, the strict reading that opens a recording, and so the list, the
// file facts and playback agree. Mono PCM of 8 or 16 bits whose byte rate and
// block size match, and GSM 06.10 at 8000 Hz, are playable; stereo, other
// codecs (WAVE_FORMAT_EXTENSIBLE included) and GSM at other rates are not
// supported; a record without channels or rate, with more than two channels,
// or PCM of other sizes or with contradicting fields is unusable.
[[nodiscard]] int Playability(const WaveFormat& record);

// Walks the chunks of the RIFF WAVE file held in bytes[0, size) and answers
// kParseUnusable, kParsePlayable or kParseUnsupported. `info` is reset first.
// Chunks other than fmt and data are skipped, word-aligned (a pad byte follows
// an odd-sized chunk unless a chunk id stands right after it).
// The RIFF size is not looked at, and a data chunk that claims more than the
// file holds counts for what it holds: the list, the file facts and storage
// take a file cut short, or one padded after its RIFF end, alike.
// Only the header fields are read, never the audio, and never a byte outside
// [0, size): a field that is not wholly inside stops the walk.
[[nodiscard]] int ParseWavBytes(const std::uint8_t* bytes, std::uint32_t size, WavInfo& info);

// Why a walk took a file for unusable, for the readers that tell their user.
enum class WavFault {
    None,            // usable: playable or a WAVE file we do not play
    NotRiff,         // no RIFF WAVE header
    NoFormat,        // no fmt chunk, or one too short for its record
    FormatUnusable,  // a fmt record no reader can make sense of (see Playability)
    NoData,          // a format but no data chunk
};
struct WavReading {
    int result = kParseUnusable;
    WavFault fault = WavFault::NotRiff;
};
// ParseWavBytes, saying why when the file is unusable.
[[nodiscard]] WavReading ReadWavBytes(const std::uint8_t* bytes, std::uint32_t size, WavInfo& info);

// Duration of `lengthInBlocks` in milliseconds: 40 ms per GSM block; for PCM
// blocks / samplesPerSec seconds, truncated. 0 for a rate of 0.
std::uint64_t DurationMs(const WavInfo& info);

// Read-only look at an existing file: format, length and whether we can play
// it. The file is mapped whole and never written.
class WavChunkReader {
public:
    explicit WavChunkReader(platform::FileSystem& files) : fileSystem(files) {}
    ~WavChunkReader() { Close(); }
    WavChunkReader(const WavChunkReader&) = delete;
    WavChunkReader& operator=(const WavChunkReader&) = delete;

    // Opens the existing file read-only and maps all of it. True only when
    // that worked and the file holds at least a PCM header (44 bytes); on
    // failure nothing stays open.
    [[nodiscard]] bool Open(const std::string& fileName);
    // Reads the chunks of the open file into the fields; kParseUnusable when
    // nothing is open.
    [[nodiscard]] int Parse();
    // Unmaps and closes; harmless when nothing is open.
    void Close();

    std::uint32_t FileSize() const { return fileSize; }
    const WavInfo& Info() const { return info; }
    std::uint16_t FormatTag() const { return info.formatTag; }
    std::uint16_t Channels() const { return info.channels; }
    std::uint32_t SamplesPerSec() const { return info.samplesPerSec; }
    std::uint32_t AvgBytesPerSec() const { return info.avgBytesPerSec; }
    std::uint16_t BlockAlign() const { return info.blockAlign; }
    std::uint16_t BitsPerSample() const { return info.bitsPerSample; }
    std::uint16_t CbSize() const { return info.cbSize; }
    std::uint16_t SamplesPerBlock() const { return info.samplesPerBlock; }
    std::uint32_t LengthInBlocks() const { return info.lengthInBlocks; }
    std::uint32_t DataLength() const { return info.dataLength; }
    // The whole file as mapped; null when nothing is open.
    const std::uint8_t* Bytes() const { return view; }
    // First audio byte in the mapped view; null before a data chunk was found.
    const std::uint8_t* DataStart() const;

private:
    platform::FileSystem& fileSystem;
    std::unique_ptr<platform::File> fileHandle;
    std::unique_ptr<platform::Mapping> mappingHandle;
    const std::uint8_t* view = nullptr;
    std::uint32_t fileSize = 0;
    WavInfo info;
};

}  // namespace tavrin::wav
