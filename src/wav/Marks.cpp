#include "wav/Marks.h"

#include <algorithm>
#include <map>
#include <set>

#include "wav/ChunkWalk.h"

namespace tavrin::wav {
namespace {

constexpr std::uint32_t kCuePointBytes = 24;

struct CuePoint {
    std::uint32_t id = 0;
    std::uint64_t sample = 0;
};

// What a walk over chunks finds for marks.
struct Found {
    std::vector<CuePoint> points;
    std::map<std::uint32_t, std::string> labels;
};

// Where a cue point lies, in samples of the audio. Writers disagree: the
// layout counts compressed audio from the start of the block that holds the
// point (`blockStart`, in bytes) plus the samples into it; most programs put
// the whole offset in `sampleOffset`, and a few only in `position`.
std::uint64_t SampleOf(const ByteView& view, std::uint64_t p, MarkScale scale) {
    std::uint32_t position = 0, blockStart = 0, sampleOffset = 0;
    (void)view.Le32(p + 4, position);
    (void)view.Le32(p + 16, blockStart);
    (void)view.Le32(p + 20, sampleOffset);
    if (blockStart == 0 && sampleOffset == 0) return position;
    return std::uint64_t{blockStart} / scale.blockBytes * scale.samplesPerBlock + sampleOffset;
}

void ReadCueChunk(const ByteView& view, std::uint64_t start, std::uint32_t size, MarkScale scale, Found& found) {
    std::uint32_t count = 0;
    if (size < 4 || !view.Le32(start + 8, count)) return;
    found.points.clear();
    const std::uint64_t fits = (std::uint64_t{size} - 4) / kCuePointBytes;
    const std::uint64_t n = std::min<std::uint64_t>({count, fits, kMostMarks});
    for (std::uint64_t i = 0; i < n; ++i) {
        const std::uint64_t p = start + 12 + i * kCuePointBytes;
        CuePoint point;
        if (!view.Le32(p, point.id) || !view.Contains(p, kCuePointBytes)) return;
        point.sample = SampleOf(view, p, scale);
        found.points.push_back(point);
    }
}

// The text of a labl chunk: up to its terminating zero, or its end.
std::string LabelText(const ByteView& view, std::uint64_t start, std::uint32_t size) {
    const std::uint64_t from = start + 12;
    const std::uint64_t end = std::min<std::uint64_t>(start + 8 + std::uint64_t{size}, view.size());
    if (from >= end) return {};
    const auto* text = reinterpret_cast<const char*>(view.At(from));
    const auto length = static_cast<std::size_t>(end - from);
    return std::string(text, std::find(text, text + length, '\0'));
}

// Sub-chunks of a LIST/adtl chunk: calls visit(start, size, cueId) for each.
template <class Visit>
void WalkAdtl(const ByteView& view, std::uint64_t start, std::uint32_t size, Visit&& visit) {
    if (size < 4 || !view.IdIs(start + 8, "adtl")) return;
    const std::uint64_t end = start + 8 + std::uint64_t{size};
    WalkChunks(view, start + 12, [&](std::uint64_t sub, std::uint32_t subSize) {
        std::uint32_t cueId = 0;
        if (sub + 8 + subSize > end || !view.IsChunkId(sub) || subSize < 4 || !view.Le32(sub + 8, cueId)) return false;
        visit(sub, subSize, cueId);
        return true;
    });
}

bool IsAdtlList(const ByteView& view, std::uint64_t start, std::uint32_t size) {
    return view.IdIs(start, "LIST") && size >= 4 && view.IdIs(start + 8, "adtl");
}

// Visits the chunks of a run, as a reader that wants the marks: cue and
// LIST/adtl chunks wherever they stand, every other chunk passed over.
void FindMarks(const ByteView& view, std::uint64_t from, MarkScale scale, Found& found) {
    WalkChunks(view, from, [&](std::uint64_t start, std::uint32_t size) {
        if (!view.IsChunkId(start)) return false;
        if (view.IdIs(start, "cue ")) ReadCueChunk(view, start, size, scale, found);
        if (IsAdtlList(view, start, size)) {
            WalkAdtl(view, start, size, [&](std::uint64_t sub, std::uint32_t subSize, std::uint32_t cueId) {
                if (view.IdIs(sub, "labl")) found.labels[cueId] = LabelText(view, sub, subSize);
            });
        }
        return true;
    });
}

MarkList ToMarks(const Found& found, MarkScale scale, std::uint32_t lengthInBlocks) {
    MarkList marks;
    for (const CuePoint& point : found.points) {
        const std::uint64_t block = point.sample / scale.samplesPerBlock;
        if (block > lengthInBlocks) continue;
        const auto label = found.labels.find(point.id);
        marks.push_back({point.id, static_cast<std::uint32_t>(block),
                         label == found.labels.end() ? std::string() : label->second});
    }
    std::stable_sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.block < b.block; });
    return marks;
}

void PutId(std::vector<std::uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

void PadToWord(std::vector<std::uint8_t>& out, std::size_t chunkStart) {
    if ((out.size() - chunkStart) % 2 != 0) out.push_back(0);
}

void SetChunkSize(std::vector<std::uint8_t>& out, std::size_t chunkStart) {
    StoreLe32(&out[chunkStart + 4], static_cast<std::uint32_t>(out.size() - chunkStart - 8));
}

void PutCueChunk(std::vector<std::uint8_t>& out, const MarkList& marks, MarkScale scale) {
    PutId(out, "cue ");
    AppendLe32(out, 4 + kCuePointBytes * static_cast<std::uint32_t>(marks.size()));
    AppendLe32(out, static_cast<std::uint32_t>(marks.size()));
    for (const Mark& mark : marks) {
        // The whole offset in both fields, with no block start: every reader
        // we know of takes one or the other.
        const auto sample = static_cast<std::uint32_t>(std::uint64_t{mark.block} * scale.samplesPerBlock);
        AppendLe32(out, mark.id);
        AppendLe32(out, sample);
        PutId(out, "data");
        AppendLe32(out, 0);
        AppendLe32(out, 0);
        AppendLe32(out, sample);
    }
}

// A LIST/adtl chunk with a labl for every labelled mark and `kept`, the
// other texts carried over; nothing when it would be empty.
void PutAdtlChunk(std::vector<std::uint8_t>& out, const MarkList& marks, const std::vector<std::uint8_t>& kept) {
    const std::size_t list = out.size();
    PutId(out, "LIST");
    AppendLe32(out, 0);
    PutId(out, "adtl");
    bool any = !kept.empty();
    for (const Mark& mark : marks) {
        if (mark.label.empty()) continue;
        any = true;
        const std::size_t labl = out.size();
        PutId(out, "labl");
        AppendLe32(out, 0);
        AppendLe32(out, mark.id);
        out.insert(out.end(), mark.label.begin(), mark.label.end());
        out.push_back(0);
        SetChunkSize(out, labl);
        PadToWord(out, labl);
    }
    out.insert(out.end(), kept.begin(), kept.end());
    if (!any) {
        out.resize(list);
        return;
    }
    SetChunkSize(out, list);
}

// Texts of adtl lists other than labels, for cue points that remain, with
// their pad bytes.
std::vector<std::uint8_t> KeptTexts(const ByteView& view, std::uint64_t start, std::uint32_t size,
                                    const std::set<std::uint32_t>& ids) {
    std::vector<std::uint8_t> kept;
    WalkAdtl(view, start, size, [&](std::uint64_t sub, std::uint32_t subSize, std::uint32_t cueId) {
        if (view.IdIs(sub, "labl") || ids.count(cueId) == 0) return;
        const std::uint64_t n = std::uint64_t{8} + subSize;
        if (!view.Contains(sub, n)) return;
        const std::size_t at = kept.size();
        kept.insert(kept.end(), view.At(sub), view.At(sub) + n);
        PadToWord(kept, at);
    });
    return kept;
}

}  // namespace

MarkScale ScaleOf(std::uint16_t formatTag, std::uint16_t blockAlign) {
    if (formatTag == kTagGsm) return {kGsmSamplesPerBlock, kGsmBlockBytes};
    return {1, blockAlign == 0 ? 1u : blockAlign};
}

MarkScale ScaleOf(const WavInfo& info) { return ScaleOf(info.formatTag, info.blockAlign); }

std::uint64_t BlockMs(const WavInfo& info, std::uint32_t block) {
    WavInfo upTo = info;
    upTo.lengthInBlocks = block;
    return DurationMs(upTo);
}

MarkList ReadMarks(const std::uint8_t* bytes, std::uint32_t size, const WavInfo& info) {
    const ByteView view(bytes, size);
    if (!view.IdIs(0, "RIFF") || !view.IdIs(8, "WAVE")) return {};
    Found found;
    FindMarks(view, 12, ScaleOf(info), found);
    return ToMarks(found, ScaleOf(info), info.lengthInBlocks);
}

MarkList MarksInChunks(const std::uint8_t* chunks, std::uint32_t size, MarkScale scale,
                       std::uint32_t lengthInBlocks) {
    const ByteView view(chunks, size);
    Found found;
    FindMarks(view, 0, scale, found);
    return ToMarks(found, scale, lengthInBlocks);
}

std::vector<std::uint8_t> MarkChunks(const MarkList& marks, MarkScale scale) {
    std::vector<std::uint8_t> out;
    if (marks.empty()) return out;
    PutCueChunk(out, marks, scale);
    PutAdtlChunk(out, marks, {});
    return out;
}

std::vector<std::uint8_t> ReplaceMarkChunks(const std::uint8_t* chunks, std::uint32_t size, const MarkList& marks,
                                            MarkScale scale) {
    const ByteView view(chunks, size);
    std::set<std::uint32_t> ids;
    for (const Mark& mark : marks) ids.insert(mark.id);
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> kept;
    std::uint64_t walked = 0;
    WalkChunks(view, 0, [&](std::uint64_t start, std::uint32_t chunkSize) {
        if (!view.IsChunkId(start)) return false;
        const bool adtl = IsAdtlList(view, start, chunkSize);
        const bool oldMarks = adtl || view.IdIs(start, "cue ");
        // Old marks cut short go as well: the new ones take their place.
        if (start + 8 + std::uint64_t{chunkSize} > view.size() && !oldMarks) return false;
        walked = std::min(NextChunk(view, start, chunkSize), view.size());
        if (adtl) {
            const std::vector<std::uint8_t> texts = KeptTexts(view, start, chunkSize, ids);
            kept.insert(kept.end(), texts.begin(), texts.end());
        } else if (!oldMarks) {
            // With a zero pad byte of its own: one that was missing, or not
            // zero, could run into the chunks that follow it now.
            const std::size_t at = out.size();
            out.insert(out.end(), view.At(start), view.At(start + 8 + chunkSize));
            PadToWord(out, at);
        }
        return true;
    });
    if (!marks.empty()) {
        PutCueChunk(out, marks, scale);
        PutAdtlChunk(out, marks, kept);
    }
    out.insert(out.end(), chunks + walked, chunks + size);
    return out;
}

MarkList MarksAfter(const MarkList& marks, const AudioEdit& edit) {
    MarkList moved;
    for (Mark mark : marks) {
        switch (edit.kind) {
            case AudioEdit::Kind::Append: break;
            case AudioEdit::Kind::Insert:
                if (mark.block < edit.at) break;
                if (mark.block > 0xFFFFFFFFu - edit.count) continue;  // beyond any audio a file holds
                mark.block += edit.count;
                break;
            case AudioEdit::Kind::Overwrite:
                if (mark.block > edit.at) continue;
                break;
            case AudioEdit::Kind::Cut:
                if (mark.block >= edit.at && mark.block - edit.at < edit.count) continue;
                if (mark.block >= edit.at) mark.block -= edit.count;
                break;
        }
        moved.push_back(std::move(mark));
    }
    return moved;
}

MarkList MarksWithin(const MarkList& marks, std::uint32_t lengthInBlocks) {
    MarkList within;
    for (const Mark& mark : marks)
        if (mark.block <= lengthInBlocks) within.push_back(mark);
    return within;
}

bool AddMark(MarkList& marks, std::uint32_t block, Mark* added) {
    if (marks.size() >= kMostMarks) return false;
    std::uint32_t id = 0;
    for (const Mark& mark : marks) id = std::max(id, mark.id);
    if (id == 0xFFFFFFFFu) return false;
    Mark mark{id + 1, block, "Mark " + std::to_string(id + 1)};
    InsertInOrder(marks, mark);
    if (added) *added = mark;
    return true;
}

void InsertInOrder(MarkList& marks, const Mark& mark) {
    marks.insert(std::upper_bound(marks.begin(), marks.end(), mark.block,
                                  [](std::uint32_t b, const Mark& m) { return b < m.block; }),
                 mark);
}

}  // namespace tavrin::wav
