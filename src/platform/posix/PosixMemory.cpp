#include "platform/posix/PosixMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>

namespace tavrin::platform {

std::optional<std::uint64_t> MemAvailableOf(std::string_view meminfo) {
    constexpr std::string_view key = "MemAvailable:";
    std::size_t at = meminfo.find(key);
    while (at != std::string_view::npos && at != 0 && meminfo[at - 1] != '\n') at = meminfo.find(key, at + 1);
    if (at == std::string_view::npos) return std::nullopt;
    std::size_t digits = meminfo.find_first_not_of(' ', at + key.size());
    if (digits == std::string_view::npos) return std::nullopt;
    std::uint64_t kib = 0;
    const char* first = meminfo.data() + digits;
    const auto [end, error] = std::from_chars(first, meminfo.data() + meminfo.size(), kib);
    if (error != std::errc{} || end == first) return std::nullopt;
    return kib * 1024;  // the kernel writes "kB" but means KiB
}

std::uint64_t PosixMemory::availablePhysical() {
    std::ifstream in("/proc/meminfo");
    std::ostringstream text;
    text << in.rdbuf();
    if (const auto bytes = MemAvailableOf(text.str())) return *bytes;
    const long pages = sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize) : 0;
}

void* PosixMemory::commit(std::size_t bytes) {
    if (bytes == 0) return nullptr;
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

void PosixMemory::release(void* block, std::size_t bytes) {
    if (block) munmap(block, bytes);
}

}  // namespace tavrin::platform
