#pragma once

// What the tool tests share: one run of tavrin-cli, and the little-endian
// fields of the files they make and check.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::cli {

// The exit status and what the tool printed on each stream.
struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Appends the low `bytes` bytes of `x`, least significant first.
inline void Le(std::vector<std::uint8_t>& v, std::uint32_t x, int bytes) {
    for (int i = 0; i < bytes; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

inline std::uint32_t U32(const std::vector<std::uint8_t>& v, std::size_t at) {
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (static_cast<std::uint32_t>(v[at + 3]) << 24);
}

}  // namespace tavrin::cli
