#include <gtest/gtest.h>

#include <gsm.h>

#include <cmath>
#include <vector>

#include "SignalMath.h"
#include "platform/stream/GsmFraming.h"

namespace tavrin::test {
namespace {

using platform::stream::GsmFraming;
using platform::stream::kGsmBlockBytes;
using platform::stream::kGsmBlockSamples;

using Blocks = std::vector<std::uint8_t>;

// libgsm driven directly, the way any reader of WAV49 files decodes a block:
// 33 bytes for the first frame, the other 32 for the second.
std::vector<std::int16_t> ReferenceDecode(const Blocks& blocks) {
    gsm state = gsm_create();
    int on = 1;
    gsm_option(state, GSM_OPT_WAV49, &on);
    std::vector<std::int16_t> out(blocks.size() / kGsmBlockBytes * kGsmBlockSamples);
    for (std::size_t b = 0; b < blocks.size() / kGsmBlockBytes; ++b) {
        auto* in = const_cast<gsm_byte*>(blocks.data() + b * kGsmBlockBytes);
        gsm_decode(state, in, out.data() + b * kGsmBlockSamples);
        gsm_decode(state, in + 33, out.data() + b * kGsmBlockSamples + 160);
    }
    gsm_destroy(state);
    return out;
}

Blocks ReferenceEncode(const std::vector<std::int16_t>& samples) {
    gsm state = gsm_create();
    int on = 1;
    gsm_option(state, GSM_OPT_WAV49, &on);
    Blocks out(samples.size() / kGsmBlockSamples * kGsmBlockBytes);
    std::vector<std::int16_t> frame(samples);
    for (std::size_t b = 0; b < samples.size() / kGsmBlockSamples; ++b) {
        gsm_encode(state, frame.data() + b * kGsmBlockSamples, out.data() + b * kGsmBlockBytes);
        gsm_encode(state, frame.data() + b * kGsmBlockSamples + 160, out.data() + b * kGsmBlockBytes + 32);
    }
    gsm_destroy(state);
    return out;
}

Blocks EncodeInChunks(const std::vector<std::int16_t>& samples, std::uint32_t chunk) {
    GsmFraming framing(GsmFraming::Direction::Encode);
    Blocks out;
    for (std::size_t at = 0; at < samples.size(); at += chunk) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(chunk, samples.size() - at));
        framing.Encode(samples.data() + at, n, [&](const std::uint8_t* block, std::int32_t) {
            out.insert(out.end(), block, block + kGsmBlockBytes);
        });
    }
    return out;
}

std::vector<std::int16_t> DecodeInChunks(const Blocks& blocks, std::uint32_t chunk, std::size_t total) {
    GsmFraming framing(GsmFraming::Direction::Decode);
    std::size_t next = 0;
    std::vector<std::int16_t> out(total);
    for (std::size_t at = 0; at < total; at += chunk) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(chunk, total - at));
        framing.Decode(out.data() + at, n, [&](std::uint8_t* block, std::uint32_t) {
            if (next + kGsmBlockBytes > blocks.size()) return false;
            std::copy_n(blocks.begin() + static_cast<std::ptrdiff_t>(next), kGsmBlockBytes, block);
            next += kGsmBlockBytes;
            return true;
        });
    }
    return out;
}

TEST(GsmFraming, EncodesWav49BlocksWhateverTheCallbackSize) {
    const auto speech = SpeechLike(8000, 8 * kGsmBlockSamples);
    const Blocks reference = ReferenceEncode(speech);
    ASSERT_EQ(reference.size(), 8 * kGsmBlockBytes);
    for (const std::uint32_t chunk : {1u, 7u, 160u, 320u, 321u, 1000u, 2560u}) {
        EXPECT_EQ(EncodeInChunks(speech, chunk), reference) << "chunk " << chunk;
    }
    // What an independent WAV49 reader makes of our blocks is the speech again.
    EXPECT_GT(Correlation(ReferenceDecode(EncodeInChunks(speech, 441)), speech), 0.8);
}

TEST(GsmFraming, DecodesWav49BlocksWhateverTheCallbackSize) {
    const auto speech = SpeechLike(8000, 6 * kGsmBlockSamples);
    const Blocks blocks = ReferenceEncode(speech);
    const auto reference = ReferenceDecode(blocks);
    for (const std::uint32_t chunk : {1u, 13u, 160u, 320u, 500u, 1920u}) {
        EXPECT_EQ(DecodeInChunks(blocks, chunk, reference.size()), reference) << "chunk " << chunk;
    }
}

TEST(GsmFraming, DecodePlaysSilenceWhileStarvedAndResumesMidBlock) {
    const auto speech = SpeechLike(8000, 2 * kGsmBlockSamples);
    const Blocks blocks = ReferenceEncode(speech);
    const auto reference = ReferenceDecode(blocks);
    GsmFraming framing(GsmFraming::Direction::Decode);
    std::size_t next = 0;
    bool starved = false;
    auto provide = [&](std::uint8_t* block, std::uint32_t) {
        if (starved || next >= blocks.size()) return false;
        std::copy_n(blocks.begin() + static_cast<std::ptrdiff_t>(next), kGsmBlockBytes, block);
        next += kGsmBlockBytes;
        return true;
    };
    std::vector<std::int16_t> out(100, 7);
    EXPECT_EQ(framing.Decode(out.data(), 100, provide), 100u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), reference.begin()));

    // The rest of the first block still plays; then, with nothing queued, silence.
    starved = true;
    std::vector<std::int16_t> more(300, 7);
    EXPECT_EQ(framing.Decode(more.data(), 300, provide), 220u);
    EXPECT_TRUE(std::equal(more.begin(), more.begin() + 220, reference.begin() + 100));
    EXPECT_TRUE(std::all_of(more.begin() + 220, more.end(), [](auto s) { return s == 0; }));

    // The next block starts where the callback asks for it, and says where.
    starved = false;
    std::vector<std::uint32_t> offsets;
    std::vector<std::int16_t> last(50);
    framing.Decode(last.data(), 50, [&](std::uint8_t* block, std::uint32_t offset) {
        offsets.push_back(offset);
        return provide(block, offset);
    });
    EXPECT_EQ(offsets, std::vector<std::uint32_t>{0});
    EXPECT_TRUE(std::equal(last.begin(), last.end(), reference.begin() + 320));
}

TEST(GsmFraming, DroppingPartialWorkForgetsHalfBlocksInBothDirections) {
    const auto speech = SpeechLike(8000, 3 * kGsmBlockSamples);
    GsmFraming encoder(GsmFraming::Direction::Encode);
    int emitted = 0;
    encoder.Encode(speech.data(), 200, [&](const std::uint8_t*, std::int32_t) { ++emitted; });
    encoder.DropPartial();
    encoder.Encode(speech.data(), 319, [&](const std::uint8_t*, std::int32_t) { ++emitted; });
    EXPECT_EQ(emitted, 0);  // the 200 collected before were forgotten
    encoder.Encode(speech.data(), 1, [&](const std::uint8_t*, std::int32_t) { ++emitted; });
    EXPECT_EQ(emitted, 1);

    const Blocks blocks = ReferenceEncode(speech);
    GsmFraming decoder(GsmFraming::Direction::Decode);
    int asked = 0;
    auto provide = [&](std::uint8_t* block, std::uint32_t) {
        std::copy_n(blocks.begin(), kGsmBlockBytes, block);
        ++asked;
        return true;
    };
    std::vector<std::int16_t> out(10);
    decoder.Decode(out.data(), 10, provide);
    decoder.DropPartial();
    decoder.Decode(out.data(), 10, provide);
    EXPECT_EQ(asked, 2);  // the rest of the first block was not played
}

}  // namespace
}  // namespace tavrin::test
