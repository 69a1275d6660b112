#include "storage/HeaderImage.h"

#include <algorithm>

#include "storage/StorageContext.h"

namespace tavrin::storage {

std::uint32_t HeaderImage::CacheCapacity() const {
    // 64-bit: a foreign file may claim a rate whose eight seconds overflow.
    const std::uint64_t eightSeconds = 8ull * AvgBytesPerSec();
    return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(eightSeconds, 1, kReadCacheBytes));
}

}  // namespace tavrin::storage
