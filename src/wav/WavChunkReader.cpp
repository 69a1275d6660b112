#include "wav/WavChunkReader.h"

#include <algorithm>
#include <cstring>

#include "wav/ChunkWalk.h"

namespace tavrin::wav {
namespace {

// The smallest file worth opening: a PCM header without audio.
constexpr std::uint32_t kMinimumFileSize = 44;

enum class Step { Next, Stop, Refuse };

struct Walk {
    const ByteView& file;
    WavInfo& info;
    int provisional = kParseUnusable;
    WavFault refusal = WavFault::None;  // set with Step::Refuse
    bool fmtSeen = false;
    bool dataSeen = false;
};

std::uint32_t BlocksOfData(const WavInfo& info, std::uint32_t bytes) {
    if (info.formatTag == kTagGsm) return bytes / kGsmBlockBytes;
    if (info.formatTag != kTagPcm) return bytes;
    const std::uint32_t sampleBytes = info.bitsPerSample / 8u;
    if (info.channels == 0 || sampleBytes == 0) return 0;  // only before a fmt chunk refused the file
    return bytes / info.channels / sampleBytes;
}

// Reads the record of a fmt chunk; false when a field lies outside the file.
bool ReadRecord(const ByteView& file, std::uint64_t start, WavInfo& out) {
    const std::uint64_t r = start + 8;
    if (!file.Le16(r + 0, out.formatTag) || !file.Le16(r + 2, out.channels) || !file.Le32(r + 4, out.samplesPerSec) ||
        !file.Le32(r + 8, out.avgBytesPerSec) || !file.Le16(r + 12, out.blockAlign) ||
        !file.Le16(r + 14, out.bitsPerSample))
        return false;
    if (out.formatTag != kTagGsm) return true;
    return file.Le16(r + 16, out.cbSize) && file.Le16(r + 18, out.samplesPerBlock);
}

Step Refuse(Walk& walk, WavFault fault) {
    walk.refusal = fault;
    return Step::Refuse;
}

Step FmtChunk(Walk& walk, std::uint64_t start, std::uint32_t chunkSize) {
    if (chunkSize < 16) return Refuse(walk, WavFault::NoFormat);
    // A GSM record without its block fields is incomplete.
    std::uint16_t tag = 0;
    if (walk.file.Le16(start + 8, tag) && tag == kTagGsm && chunkSize < 20) return Refuse(walk, WavFault::NoFormat);
    if (!ChunkFits(walk.file, start, chunkSize)) return Step::Stop;
    WavInfo record = walk.info;
    if (!ReadRecord(walk.file, start, record)) return Step::Stop;
    walk.info = record;
    walk.provisional = Playability(walk.info);
    if (walk.provisional == kParseUnusable) return Refuse(walk, WavFault::FormatUnusable);
    walk.fmtSeen = true;
    return Step::Next;
}

// A data chunk that claims more than the file holds is a recording cut
// short (a copy that failed, a crash): it is the audio it really holds, as
// storage opens it for playing and editing.
Step DataChunk(Walk& walk, std::uint64_t start, std::uint32_t chunkSize) {
    if (start + 8 > walk.file.size()) return Step::Stop;
    walk.info.dataStart = static_cast<std::uint32_t>(start + 8);
    const std::uint64_t held = walk.file.size() - (start + 8);
    walk.info.dataLength = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunkSize, held));
    walk.info.lengthInBlocks = BlocksOfData(walk.info, walk.info.dataLength);
    walk.dataSeen = true;
    return Step::Next;
}

Step VisitChunk(Walk& walk, std::uint64_t start, std::uint32_t chunkSize) {
    if (walk.file.IdIs(start, "fmt ")) return FmtChunk(walk, start, chunkSize);
    if (walk.file.IdIs(start, "data")) return DataChunk(walk, start, chunkSize);
    // Every other chunk (LIST, bext, fact, JUNK ...) is skipped; bytes that
    // are no chunk id at all end the walk.
    if (!walk.file.IsChunkId(start)) return Step::Stop;
    return ChunkFits(walk.file, start, chunkSize) ? Step::Next : Step::Stop;
}

// The RIFF size is not looked at: the chunks say where the audio is, as for
// the strict reading. Files end early (cut short) or late (zero padding
// other programs add, or chunks left outside it) and still play.
bool RiffHeaderFits(const ByteView& file) {
    return file.IdIs(0, "RIFF") && file.Contains(4, 4) && file.IdIs(8, "WAVE");
}

}  // namespace

bool LooksLikeChunkId(const std::uint8_t* id) {
    for (int i = 0; i < 4; ++i)
        if (id[i] < 0x20 || id[i] > 0x7E) return false;
    return true;
}

int Playability(const WaveFormat& f) {
    if (f.channels == 0 || f.channels > 2 || f.samplesPerSec == 0) return kParseUnusable;
    if (f.formatTag == kTagPcm) {
        // Storage and player divide by bits / 8 and size their blocks from the
        // byte rate: a record that contradicts itself would be misplayed.
        if (f.bitsPerSample != 8 && f.bitsPerSample != 16) return kParseUnusable;
        const std::uint32_t frameBytes = f.bitsPerSample / 8u * f.channels;
        if (f.blockAlign != frameBytes || f.avgBytesPerSec != std::uint64_t{f.samplesPerSec} * frameBytes)
            return kParseUnusable;
        return f.channels == 1 ? kParsePlayable : kParseUnsupported;
    }
    // Our GSM blocks last 40 ms at 8000 Hz; the same codec at another rate
    // (some tools write it) would play at the wrong speed.
    if (f.formatTag == kTagGsm && f.channels == 1 && f.samplesPerSec == 8000 && f.avgBytesPerSec == 1625 &&
        f.blockAlign == kGsmBlockBytes)
        return kParsePlayable;
    return kParseUnsupported;
}

int ParseWavBytes(const std::uint8_t* bytes, std::uint32_t size, WavInfo& info) {
    return ReadWavBytes(bytes, size, info).result;
}

WavReading ReadWavBytes(const std::uint8_t* bytes, std::uint32_t size, WavInfo& info) {
    info = WavInfo{};
    const ByteView file(bytes, size);
    if (!RiffHeaderFits(file)) return {kParseUnusable, WavFault::NotRiff};
    Walk walk{file, info};
    bool refused = false;
    WalkChunks(file, 12, [&](std::uint64_t start, std::uint32_t chunkSize) {
        const Step step = VisitChunk(walk, start, chunkSize);
        refused = step == Step::Refuse;
        // The first data chunk with its format is the recording; what follows
        // is not looked at, as when a recording is opened.
        return step == Step::Next && !(walk.fmtSeen && walk.dataSeen);
    });
    if (refused) return {kParseUnusable, walk.refusal};
    if (!walk.fmtSeen) return {kParseUnusable, WavFault::NoFormat};
    if (!walk.dataSeen) return {kParseUnusable, WavFault::NoData};
    return {walk.provisional, WavFault::None};
}

std::uint64_t DurationMs(const WavInfo& info) {
    if (info.formatTag == kTagGsm) return std::uint64_t{info.lengthInBlocks} * kGsmMsPerBlock;
    if (info.samplesPerSec == 0) return 0;
    return static_cast<std::uint64_t>(static_cast<double>(info.lengthInBlocks) / info.samplesPerSec * 1000.0);
}

bool WavChunkReader::Open(const std::string& fileName) {
    Close();
    auto file = fileSystem.open(fileName, platform::OpenMode::ReadOnly, false);
    if (!file) return false;
    std::uint32_t bytes = 0;
    if (!file->size(bytes) || bytes < kMinimumFileSize) return false;
    auto mapping = file->map(0, bytes, false);
    if (!mapping || mapping->size() < bytes || mapping->data() == nullptr) return false;
    view = mapping->data();
    fileSize = bytes;
    fileHandle = std::move(file);
    mappingHandle = std::move(mapping);
    return true;
}

int WavChunkReader::Parse() {
    if (view == nullptr) return kParseUnusable;
    return ParseWavBytes(view, fileSize, info);
}

void WavChunkReader::Close() {
    view = nullptr;
    mappingHandle.reset();  // the mapping goes before the file it maps
    fileHandle.reset();
}

const std::uint8_t* WavChunkReader::DataStart() const {
    if (view == nullptr || info.dataStart == 0) return nullptr;
    return view + info.dataStart;
}

}  // namespace tavrin::wav
