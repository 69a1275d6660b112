#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wav/WavChunkReader.h"

namespace tavrin::wav {

// A place in a recording the user marked. In the file it is a cue point of
// the "cue " chunk, named by its id, with its text in a "labl" chunk of a
// LIST/adtl chunk: the layout other audio editors read and write.
struct Mark {
    std::uint32_t id = 0;     // the cue point's name, by which its texts refer to it
    std::uint32_t block = 0;  // whole blocks from the first audio byte
    std::string label;        // empty when the cue point has no labl text
    friend bool operator==(const Mark&, const Mark&) = default;
};

// Marks in position order (equal positions in file order).
using MarkList = std::vector<Mark>;

// More cue points than this are not read, and no more marks are made: a
// list that long is no help to anyone, and it bounds what an edit holds.
inline constexpr std::uint32_t kMostMarks = 10'000;

// How cue positions, counted in samples, map to blocks of a format: a GSM
// block is 320 samples in 65 bytes, a PCM block one sample frame.
struct MarkScale {
    std::uint32_t samplesPerBlock = 1;
    std::uint32_t blockBytes = 1;
};
MarkScale ScaleOf(const WavInfo& info);
MarkScale ScaleOf(std::uint16_t formatTag, std::uint16_t blockAlign);

// Where block `block` of a file's audio starts, in milliseconds, truncated.
std::uint64_t BlockMs(const WavInfo& info, std::uint32_t block);

// The marks of a whole file: the cue points of its last "cue " chunk (a
// program that moved the chunk behind the audio left the old one before it),
// labelled from its LIST/adtl chunks. Points beyond the audio are left out.
[[nodiscard]] MarkList ReadMarks(const std::uint8_t* bytes, std::uint32_t size, const WavInfo& info);

// The same for a run of chunks, such as those after the audio. The run
// starts at a chunk: the pad byte after odd-sized audio is the caller's.
[[nodiscard]] MarkList MarksInChunks(const std::uint8_t* chunks, std::uint32_t size, MarkScale scale,
                                     std::uint32_t lengthInBlocks);

// The "cue " chunk and the LIST/adtl chunk of labels for `marks`, each with
// its pad byte; nothing for no marks.
[[nodiscard]] std::vector<std::uint8_t> MarkChunks(const MarkList& marks, MarkScale scale);

// The run of chunks with its marks replaced by `marks`: every other chunk is
// kept byte for byte and in order, as are the texts other than labels
// (notes, ...) of cue points that remain; the new chunks follow the last
// chunk of the run, before any bytes that are no chunk at all.
[[nodiscard]] std::vector<std::uint8_t> ReplaceMarkChunks(const std::uint8_t* chunks, std::uint32_t size,
                                                          const MarkList& marks, MarkScale scale);

// An edit of the audio, in blocks, as it moves the marks.
struct AudioEdit {
    enum class Kind {
        Append,     // audio added at the end: nothing moves
        Insert,     // `count` blocks put in at `at`: marks at or after it follow their audio
        Overwrite,  // the audio from `at` on replaced: marks after it go
        Cut,        // blocks [at, at + count) removed: marks inside go, those after move back
    };
    Kind kind = Kind::Append;
    std::uint32_t at = 0;
    std::uint32_t count = 0;
};

// Where the marks are once `edit` has been made.
[[nodiscard]] MarkList MarksAfter(const MarkList& marks, const AudioEdit& edit);

// Marks at or before `lengthInBlocks`, the end of the audio.
[[nodiscard]] MarkList MarksWithin(const MarkList& marks, std::uint32_t lengthInBlocks);

// Puts `mark` in position order, after any already at its block.
void InsertInOrder(MarkList& marks, const Mark& mark);

// A new mark at `block`: the next free id, labelled "Mark <id>", put in
// position order after any already there. False when the list is full.
[[nodiscard]] bool AddMark(MarkList& marks, std::uint32_t block, Mark* added = nullptr);

}  // namespace tavrin::wav
