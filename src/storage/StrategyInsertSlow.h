#pragma once

#include <cstdint>

#include "storage/StrategyCreateSlow.h"

namespace tavrin::storage {

// A recording being inserted into a file on slow media. The new audio is
// collected in the insert area; the file was lengthened by the whole area and
// mapped from the insertion point when the insertion began. Flush moves the
// tail up through that mapping, puts the audio into the gap and finishes the
// header, so the file ends either as the completed insertion or, after any
// failure, as the old recording byte for byte.
class StrategyInsertSlow : public StrategyCreateSlow {
public:
    explicit StrategyInsertSlow(StorageContext& context);

    [[nodiscard]] Status End() override;
    [[nodiscard]] bool Flush() override;

private:
    // Puts the audio into the file; false after undoing everything.
    [[nodiscard]] bool Insert(std::uint32_t oldSize);
    // Takes the moved tail back, drops the mapping and cuts the file to
    // `oldSize`; restores the old header when `headerTouched`.
    void Undo(std::uint32_t oldSize, bool headerTouched);
    // Ends the mapping and cuts off the area the file was lengthened by.
    [[nodiscard]] bool DropWindow(std::uint32_t length);
};

}  // namespace tavrin::storage
