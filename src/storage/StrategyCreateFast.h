#pragma once

#include <cstdint>
#include <string>

#include "storage/Strategy.h"

namespace tavrin::storage {

// A new recording on fast media, written straight into the file through a
// sliding mapped window. The file is extended in advance to nearly all the
// free space of its volume, so recording never grows it; each write is flushed
// at once. End finishes the header in place and hands the still-open file to
// the fast select strategy; only Close cuts the file back to its real length.
class StrategyCreateFast : public Strategy {
public:
    explicit StrategyCreateFast(StorageContext& context);

    [[nodiscard]] Status Create(const std::string& fileName, std::uint16_t tag, std::uint32_t samplesPerSec,
                                std::uint16_t bitsPerSample, std::uint16_t channels) override;
    [[nodiscard]] bool SeekToSample(std::uint32_t block) override;
    std::uint32_t CurrentWriteSample() override;
    [[nodiscard]] Status BackTrack(std::uint32_t bytes) override;
    std::uint32_t SpaceLeft() override;
    [[nodiscard]] Status WriteData(const std::uint8_t* source, std::uint32_t bytes) override;
    [[nodiscard]] Status Close() override;
    [[nodiscard]] Status End() override;
    [[nodiscard]] Status Open(const std::string& fileName) override;
    [[nodiscard]] Status Write(const void* source, std::uint32_t bytes) override;
    [[nodiscard]] bool SeekTo(std::uint32_t offset) override;
    std::uint32_t ReadPosition() override;

    // Finishes the header of the file in place from the header image. False
    // when any of its writes failed; the header on the medium may then be stale.
    [[nodiscard]] bool FinishHeader();
};

// The window machinery that the fast strategies share. The file stays extended
// to `fileLimit` while it is held; `window` maps it from `viewBase` (a multiple
// of `viewStep`) for two steps or up to `fileLimit`, and the read/write point
// is `viewBase + viewOffset` with `viewOffset < viewStep` between operations.
namespace fastfile {

// Margin of free space never taken by the reservation.
inline constexpr std::uint32_t kSpareBytes = 10'000;

// Opens (or, with `create`, creates) the file, extends it by nearly all the
// free space of its volume and maps the first window. On failure nothing of
// the context's file fields refers to a handle any more.
[[nodiscard]] bool Prepare(StorageContext& ctx, const std::string& fileName, bool create);

// Maps the window that starts at `viewBase`; on failure no window is left.
[[nodiscard]] bool MapWindow(StorageContext& ctx);

// Moves the read/write point to byte `offset`; refused past `dataEnd` (or at
// it, unless `endAllowed`).
[[nodiscard]] bool SeekToByte(StorageContext& ctx, std::uint32_t offset, bool endAllowed);

// Slides the window forward by one step while `viewOffset` has reached it;
// on failure no window is left and the caller gives the file up.
[[nodiscard]] bool Slide(StorageContext& ctx, bool releaseFirstHalf);

// Drops the window and the file handle without touching the file.
void DropHandles(StorageContext& ctx);

// Drops the handles and cuts the file back to `dataEnd`. False when the cut
// could not be made (the file then keeps its reserved length).
[[nodiscard]] bool Release(StorageContext& ctx);

// Gives up a file whose window could not be flushed or moved while a
// recording was written: the header is finished for the audio that reached
// the medium, written through the file itself, before the file is released.
void Abandon(StorageContext& ctx);

}  // namespace fastfile

}  // namespace tavrin::storage
