#include "platform/stream/GsmFraming.h"

#include <gsm.h>

namespace tavrin::platform::stream {
namespace {

// In a WAV49 block the first frame takes 32 bytes and half of the 33rd; the
// codec carries that half byte between the two calls.
constexpr std::uint32_t kFirstFrameEncodeBytes = 32;
constexpr std::uint32_t kFirstFrameDecodeBytes = 33;
constexpr std::uint32_t kFrameSamples = kGsmBlockSamples / 2;

}  // namespace

GsmFraming::GsmFraming(Direction codingDirection) : direction(codingDirection) {
    state = gsm_create();
    int on = 1;
    if (state && gsm_option(state, GSM_OPT_WAV49, &on) < 0) {
        gsm_destroy(state);
        state = nullptr;
    }
    DropPartial();
}

GsmFraming::~GsmFraming() {
    if (state) gsm_destroy(state);
}

std::int32_t GsmFraming::EncodeBlock() noexcept {
    const std::int32_t peak = PeakOf(pcm.data(), kGsmBlockSamples);
    if (!state) {
        block.fill(0);
        return 0;
    }
    gsm_encode(state, pcm.data(), block.data());
    gsm_encode(state, pcm.data() + kFrameSamples, block.data() + kFirstFrameEncodeBytes);
    return peak;
}

void GsmFraming::DecodeBlock() noexcept {
    // A frame the codec rejects plays as silence rather than as whatever the
    // previous block left behind.
    if (!state || gsm_decode(state, block.data(), pcm.data()) < 0) {
        std::fill(pcm.begin(), pcm.begin() + kFrameSamples, std::int16_t{0});
    }
    if (!state || gsm_decode(state, block.data() + kFirstFrameDecodeBytes, pcm.data() + kFrameSamples) < 0) {
        std::fill(pcm.begin() + kFrameSamples, pcm.end(), std::int16_t{0});
    }
}

}  // namespace tavrin::platform::stream
