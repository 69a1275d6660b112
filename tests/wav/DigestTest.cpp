// Journals, kept files and waveform caches written by an earlier run hold
// these digests: a slip in a constant or in the order of xor and multiply
// would orphan every one of them.
#include "wav/Digest.h"

#include <gtest/gtest.h>

#include <string_view>

namespace tavrin::wav {
namespace {

std::uint32_t Fnv32(std::string_view text, std::uint32_t h = kFnv32Basis) {
    return Fnv1a32(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), h);
}

// The published test vectors of both widths.
TEST(Digest, KnownVectors) {
    const struct {
        std::string_view text;
        std::uint32_t fnv32;
        std::uint64_t fnv64;
    } vectors[] = {
        {"", 0x811c9dc5u, 0xcbf29ce484222325ull},
        {"a", 0xe40c292cu, 0xaf63dc4c8601ec8cull},
        {"foobar", 0xbf9cf968u, 0x85944171f73967e8ull},
        {std::string_view("\0", 1), 0x050c5d1fu, 0xaf63bd4c8601b7dfull},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.text);
        EXPECT_EQ(Fnv32(v.text), v.fnv32);
        EXPECT_EQ(Fnv1a64(v.text), v.fnv64);
    }
}

// Readers digest a header and the chunks after the audio as one: carrying
// on over ranges must equal one pass, wherever the split falls.
TEST(Digest, CarriesOnOverRangesWhereverTheySplit) {
    using namespace std::string_view_literals;
    constexpr std::string_view text = "RIFF\x24\0\0\0WAVEfmt data"sv;
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        SCOPED_TRACE(cut);
        EXPECT_EQ(Fnv32(text.substr(cut), Fnv32(text.substr(0, cut))), Fnv32(text));
        EXPECT_EQ(Fnv1a64(text.substr(cut), Fnv1a64(text.substr(0, cut))), Fnv1a64(text));
    }
}

}  // namespace
}  // namespace tavrin::wav
