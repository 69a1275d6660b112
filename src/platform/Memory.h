#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrin::platform {

// Physical memory and committed allocations.
class Memory {
public:
    virtual ~Memory() = default;
    // Physical memory the system could give without swapping.
    virtual std::uint64_t availablePhysical() = 0;
    // Committed, zero-filled, read-write memory; null when refused.
    [[nodiscard]] virtual void* commit(std::size_t bytes) = 0;
    virtual void release(void* block, std::size_t bytes) = 0;
};

class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    // The unit in which the system places mappings; file windows slide by twice this.
    virtual std::uint32_t allocationGranularity() const = 0;
};

}  // namespace tavrin::platform
