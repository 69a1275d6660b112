#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavrin::wav {

// FNV-1a in its two common widths: cheap, stable across runs and machines,
// enough to tell a record torn by a crash or a header changed behind our
// back from a whole one, or to name a file by its path. Not proof against
// anyone who means harm. Journals, kept files and caches on disk hold these
// values, so neither basis nor prime ever changes.
//
// A digest carries on over several ranges: pass the last value as `h`.
inline constexpr std::uint32_t kFnv32Basis = 2166136261u;
inline constexpr std::uint64_t kFnv64Basis = 0xcbf29ce484222325ull;

constexpr std::uint32_t Fnv1a32Step(std::uint32_t h, std::uint8_t byte) { return (h ^ byte) * 16777619u; }
constexpr std::uint64_t Fnv1a64Step(std::uint64_t h, std::uint8_t byte) { return (h ^ byte) * 0x100000001b3ull; }

constexpr std::uint32_t Fnv1a32(const std::uint8_t* bytes, std::size_t n, std::uint32_t h = kFnv32Basis) {
    for (std::size_t i = 0; i < n; ++i) h = Fnv1a32Step(h, bytes[i]);
    return h;
}

constexpr std::uint64_t Fnv1a64(std::string_view bytes, std::uint64_t h = kFnv64Basis) {
    for (const char c : bytes) h = Fnv1a64Step(h, static_cast<std::uint8_t>(c));
    return h;
}

}  // namespace tavrin::wav
