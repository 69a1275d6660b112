#include "storage/BufferedChange.h"

#include <algorithm>
#include <limits>

namespace tavrin::storage {
namespace {

ChangeLayout LayoutFor(const BufferedChange& c, std::uint32_t kept) {
    ChangeLayout l;
    l.kept = kept;
    l.audioEnd = c.point + kept + c.tailBytes;
    // Chunks start word-aligned: after odd-sized audio comes a pad byte.
    l.pad = c.chunkBytes && (l.audioEnd - std::min(l.audioEnd, c.dataStart)) % 2 != 0 ? 1 : 0;
    l.fileEnd = l.audioEnd + l.pad + c.chunkBytes;
    return l;
}

// Writes at the file from the change's point on and counts, in `reached`, the
// bytes from the point that are known to have reached the file without a gap.
class Writer {
public:
    Writer(platform::File& target, std::uint32_t point) : file(target), at(point), start(point) {}

    bool Put(const std::uint8_t* bytes, std::uint32_t n) {
        std::uint32_t written = 0;
        const bool ok = n == 0 || (file.seek(at) && file.write(bytes, n, written) && written == n);
        if (reached == at - start) reached += written;
        at += written;
        return ok;
    }
    // What the buffer holds for behind the new audio.
    bool PutBehind(const BufferedChange& c, std::uint32_t pad) {
        static constexpr std::uint8_t kPad = 0;
        return Put(c.tail, c.tailBytes) && Put(&kPad, pad) && Put(c.chunks, c.chunkBytes);
    }
    void MoveTo(std::uint32_t offset) { at = offset; }
    std::uint32_t Reached() const { return reached; }

private:
    platform::File& file;
    std::uint32_t at;
    std::uint32_t start;
    std::uint32_t reached = 0;
};

// Cuts the file at the layout's end (unasked when it already ends there) and
// finishes its header.
bool Finish(platform::File& file, const ChangeLayout& l, const HeaderFinisher& finishHeader) {
    std::uint32_t size = 0;
    const bool sized = file.size(size) && size == l.fileEnd;
    return (sized || file.setLength(l.fileEnd)) && finishHeader(l.audioEnd, l.fileEnd);
}

// Bytes of the buffer that can stay when only `reached` bytes from the point
// on reached the file: whole blocks, with what follows them. A new
// recording's header always stays, so that the file is a recording.
std::uint32_t KeptWithin(const BufferedChange& c, std::uint32_t reached) {
    const std::uint32_t lead = c.point < c.dataStart ? c.dataStart - c.point : 0;
    const std::uint32_t align = std::max<std::uint32_t>(c.blockAlign, 1);
    const std::uint32_t behind = c.tailBytes + c.chunkBytes;
    std::uint32_t kept = std::min(reached > behind ? reached - behind : 0, c.bufferBytes);
    if (kept <= lead) return std::min(lead, c.bufferBytes);
    kept -= (kept - lead) % align;
    // A pad byte before the chunks may cost one more block.
    while (kept > lead && LayoutFor(c, kept).fileEnd - c.point > reached) kept -= align;
    return kept;
}

}  // namespace

ChangeWritten WriteBufferedChange(platform::File& file, const BufferedChange& c, const HeaderFinisher& finishHeader) {
    ChangeWritten out;
    out.layout = LayoutFor(c, c.bufferBytes);
    if (std::uint64_t{c.point} + c.bufferBytes + c.tailBytes + 1 + c.chunkBytes > std::numeric_limits<std::uint32_t>::max())
        return out;
    Writer first(file, c.point);
    if (first.Put(c.buffer, c.bufferBytes) && first.PutBehind(c, out.layout.pad) &&
        Finish(file, out.layout, finishHeader)) {
        out.whole = out.laidOut = true;
        return out;
    }
    out.layout = LayoutFor(c, KeptWithin(c, first.Reached()));
    Writer again(file, c.point);
    // A new recording's header may not have reached the file whole.
    const bool kept = out.layout.kept <= first.Reached() || again.Put(c.buffer, out.layout.kept);
    again.MoveTo(c.point + out.layout.kept);
    out.laidOut = kept && again.PutBehind(c, out.layout.pad) && Finish(file, out.layout, finishHeader);
    return out;
}

}  // namespace tavrin::storage
