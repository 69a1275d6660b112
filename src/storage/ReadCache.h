#pragma once

#include <cstdint>

#include "storage/Status.h"

namespace tavrin::storage {

class StorageContext;
class Strategy;

// The read cache of playback. `readCache` is filled with up to
// `cacheCapacity` bytes (8 seconds of the format) from the strategy's read
// point, and the engine's pieces are handed out from there, so the medium is
// touched once per fill. All state lives in the context: `cacheFill` bytes
// came with the last fill, `cacheConsumed` of them have been handed out, and
// `cacheRemainder` is non-zero while the last fill was short (the end of the
// audio is in the cache).

// Hands out the next `bytes` bytes of audio, filling the cache through
// `strategy.Read` when it runs dry; a piece may span two fills. EndOfData
// comes with the last piece (only its first bytes are new in `destination`),
// after which the read point is back at the first audio byte. FileError when
// a fill fails; nothing of that fill is handed out.
[[nodiscard]] Status ReadThroughCache(StorageContext& ctx, Strategy& strategy, std::uint8_t* destination,
                                      std::uint32_t bytes);

// Forgets what the cache holds (every seek does this).
void EmptyReadCache(StorageContext& ctx);

// The playback position in bytes for a strategy whose read point is
// `readPoint`: what the cache still holds has not been played yet.
std::uint32_t PlaybackOffset(const StorageContext& ctx, std::uint32_t readPoint);

}  // namespace tavrin::storage
