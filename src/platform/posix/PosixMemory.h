#pragma once

#include <optional>
#include <string_view>

#include "platform/Memory.h"

namespace tavrin::platform {

// Memory of a Linux system. Commits are anonymous private mappings, so a large
// recording buffer goes back to the system whole when it is released.
class PosixMemory : public Memory {
public:
    // MemAvailable of /proc/meminfo; on kernels without it, the free pages.
    std::uint64_t availablePhysical() override;
    [[nodiscard]] void* commit(std::size_t bytes) override;
    void release(void* block, std::size_t bytes) override;
};

class PosixSystemInfo : public SystemInfo {
public:
    // A multiple of every page size Linux uses, so file windows that slide by
    // twice this always start on a page boundary.
    std::uint32_t allocationGranularity() const override { return 65536; }
};

// The MemAvailable figure of a /proc/meminfo text, in bytes.
std::optional<std::uint64_t> MemAvailableOf(std::string_view meminfo);

}  // namespace tavrin::platform
