// Feeds arbitrary bytes to the reading and rewriting of marks: as a whole
// file, and as the run of chunks after a recording's audio that an edit
// rewrites. Built with AddressSanitizer, so any read outside the input is a
// crash; a rewrite must read back as the marks it was given, and rewriting
// twice must change nothing more.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "wav/Marks.h"

namespace {

using tavrin::wav::MarkList;
using tavrin::wav::MarkScale;

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

std::uint32_t Size(const std::vector<std::uint8_t>& bytes) { return static_cast<std::uint32_t>(bytes.size()); }

void FuzzFile(const std::uint8_t* data, std::uint32_t size) {
    tavrin::wav::WavInfo info;
    if (tavrin::wav::ParseWavBytes(data, size, info) == tavrin::wav::kParseUnusable) return;
    const MarkList marks = tavrin::wav::ReadMarks(data, size, info);
    Require(marks.size() <= tavrin::wav::kMostMarks);
    for (const auto& mark : marks) Require(mark.block <= info.lengthInBlocks);
}

void FuzzTrailer(const std::uint8_t* data, std::uint32_t size) {
    // The first byte picks the format family: GSM blocks or PCM frames.
    const MarkScale scale = (data[0] & 1) ? MarkScale{320, 65} : MarkScale{1, 2};
    const std::uint32_t length = std::numeric_limits<std::uint32_t>::max() / scale.samplesPerBlock;
    const MarkList marks = tavrin::wav::MarksInChunks(data + 1, size - 1, scale, length);
    MarkList moved = tavrin::wav::MarksAfter(marks, {tavrin::wav::AudioEdit::Kind::Insert, 3, 7});
    moved = tavrin::wav::MarksWithin(moved, length);
    const auto once = tavrin::wav::ReplaceMarkChunks(data + 1, size - 1, moved, scale);
    Require(tavrin::wav::MarksInChunks(once.data(), Size(once), scale, length) == moved);
    const auto twice = tavrin::wav::ReplaceMarkChunks(once.data(), Size(once), moved, scale);
    Require(twice == once);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > std::numeric_limits<std::uint32_t>::max()) return 0;
    const auto length = static_cast<std::uint32_t>(size);
    FuzzFile(data, length);
    FuzzTrailer(data, length);
    return 0;
}
