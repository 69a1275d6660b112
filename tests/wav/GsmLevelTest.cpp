#include "wav/GsmLevel.h"

#include <gsm.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace tavrin::wav {
namespace {

// Five 65-byte blocks of a tone, from one encoder that runs on across calls.
class ToneEncoder {
public:
    ToneEncoder() {
        int on = 1;
        gsm_option(state, GSM_OPT_WAV49, &on);
    }
    ~ToneEncoder() { gsm_destroy(state); }
    std::vector<std::uint8_t> Next(double amplitude) {
        std::vector<std::uint8_t> out(kGsmBufferBytes);
        gsm_signal pcm[320];
        for (int block = 0; block < 5; ++block) {
            for (auto& s : pcm) s = static_cast<gsm_signal>(amplitude * std::sin(2 * M_PI * 300.0 * n++ / 8000.0));
            gsm_encode(state, pcm, out.data() + 65 * block);
            gsm_encode(state, pcm + 160, out.data() + 65 * block + 32);
        }
        return out;
    }

private:
    gsm state = gsm_create();
    long n = 0;
};

int creations = 0;
int failuresLeft = 0;

gsm_state* FlakyCreate() {
    ++creations;
    if (failuresLeft > 0) {
        --failuresLeft;
        return nullptr;
    }
    return gsm_create();
}

TEST(GsmLevelTest, CreatesTheStateOnFirstUseAndRetriesAFailedCreation) {
    creations = 0;
    failuresLeft = 2;
    GsmLevelDecoder decoder(&FlakyCreate);
    EXPECT_FALSE(decoder.HasState());
    EXPECT_EQ(creations, 0) << "nothing is created before the first buffer";
    ToneEncoder tone;
    const std::vector<std::uint8_t> loud = tone.Next(16000);
    std::vector<std::int16_t> scratch(kGsmBufferSamples, 1);
    EXPECT_EQ(decoder.BufferPeak(loud.data(), scratch.data()), 0);
    EXPECT_EQ(decoder.BufferPeak(loud.data(), scratch.data()), 0);
    EXPECT_FALSE(decoder.HasState());
    EXPECT_EQ(creations, 2);
    EXPECT_GT(decoder.BufferPeak(loud.data(), scratch.data()), 8000);
    EXPECT_TRUE(decoder.HasState());
    decoder.BufferPeak(loud.data(), scratch.data());
    EXPECT_EQ(creations, 3) << "one state for every later buffer";
}

TEST(GsmLevelTest, DecodesLikeTheLibraryWithTheTwoFramePackingAndReturnsTheLargestMagnitude) {
    ToneEncoder tone;
    GsmLevelDecoder decoder;
    gsm reference = gsm_create();
    int on = 1;
    gsm_option(reference, GSM_OPT_WAV49, &on);
    for (double amplitude : {12000.0, 3000.0, 0.0, 30000.0}) {
        std::vector<std::uint8_t> buffer = tone.Next(amplitude);
        std::vector<std::int16_t> scratch(kGsmBufferSamples);
        const int peak = decoder.BufferPeak(buffer.data(), scratch.data());

        std::vector<gsm_signal> expected(kGsmBufferSamples);
        for (int block = 0; block < 5; ++block) {
            gsm_decode(reference, buffer.data() + 65 * block, expected.data() + 320 * block);
            gsm_decode(reference, buffer.data() + 65 * block + 33, expected.data() + 320 * block + 160);
        }
        EXPECT_TRUE(std::equal(scratch.begin(), scratch.end(), expected.begin())) << "amplitude " << amplitude;
        int largest = 0;
        for (int s : expected) largest = std::max(largest, std::min(32767, std::abs(s)));
        EXPECT_EQ(peak, largest) << "amplitude " << amplitude;
    }
    gsm_destroy(reference);
}

TEST(GsmLevelTest, TheFilterMemoryRunsOnAcrossBuffers) {
    ToneEncoder tone;
    const std::vector<std::uint8_t> first = tone.Next(10000);
    const std::vector<std::uint8_t> second = tone.Next(10000);
    std::vector<std::int16_t> carried(kGsmBufferSamples), fresh(kGsmBufferSamples);
    GsmLevelDecoder running;
    running.BufferPeak(first.data(), carried.data());
    running.BufferPeak(second.data(), carried.data());
    GsmLevelDecoder restarted;
    restarted.BufferPeak(second.data(), fresh.data());
    EXPECT_NE(carried, fresh);
}

TEST(GsmLevelTest, AnyBytesGiveAPeakFromZeroToFullScale) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    GsmLevelDecoder decoder;
    std::vector<std::uint8_t> buffer(kGsmBufferBytes);
    std::vector<std::int16_t> scratch(kGsmBufferSamples);
    int loudest = 0;
    for (int i = 0; i < 2000; ++i) {
        for (auto& b : buffer) b = static_cast<std::uint8_t>(byte(random));
        const int peak = decoder.BufferPeak(buffer.data(), scratch.data());
        ASSERT_GE(peak, 0);
        ASSERT_LE(peak, 32767);
        loudest = std::max(loudest, peak);
    }
    EXPECT_EQ(loudest, 32767) << "noise saturates the decoder now and then";
}

TEST(GsmLevelTest, TheProgramDecoderMeasuresLikeAFreshOne) {
    ToneEncoder tone;
    const std::vector<std::uint8_t> buffer = tone.Next(9000);
    std::vector<std::int16_t> a(kGsmBufferSamples), b(kGsmBufferSamples);
    GsmLevelDecoder fresh;
    const int expected = fresh.BufferPeak(buffer.data(), a.data());
    // The shared decoder may have run before in this process; its level
    // differs only by the filter memory, not by orders of magnitude.
    const int shared = GsmBufferPeak(buffer.data(), b.data());
    EXPECT_NEAR(shared, expected, expected / 4);
}

}  // namespace
}  // namespace tavrin::wav
