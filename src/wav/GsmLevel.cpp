#include "wav/GsmLevel.h"

#include <gsm.h>

#include <algorithm>

#include "wav/Formats.h"

namespace tavrin::wav {
namespace {

constexpr std::uint32_t kBlocksPerBuffer = kGsmBufferBytes / kGsmBlockBytes;
constexpr std::uint32_t kFrameSamples = kGsmSamplesPerBlock / 2;
// The first frame of a block ends half-way through byte 32; the decoder keeps
// that half byte for the second call.
constexpr std::uint32_t kFirstFrameBytes = 33;

gsm_state* LibraryCreate() { return gsm_create(); }

}  // namespace

GsmLevelDecoder::GsmLevelDecoder(Creator creator) : create(creator ? creator : &LibraryCreate) {}

GsmLevelDecoder::~GsmLevelDecoder() {
    if (state) gsm_destroy(state);
}

bool GsmLevelDecoder::EnsureState() {
    if (state) return true;
    gsm_state* fresh = create();
    if (!fresh) return false;
    int on = 1;
    if (gsm_option(fresh, GSM_OPT_WAV49, &on) < 0) {  // a library built without the packing is no use
        gsm_destroy(fresh);
        return false;
    }
    state = fresh;
    return true;
}

int GsmLevelDecoder::BufferPeak(const std::uint8_t* input, std::int16_t* scratch) {
    if (!EnsureState()) return 0;
    int peak = 0;
    for (std::uint32_t k = 0; k < kBlocksPerBuffer; ++k) {
        // libgsm takes non-const pointers but only reads the frame bytes.
        auto* block = const_cast<gsm_byte*>(input + k * kGsmBlockBytes);
        gsm_signal* out = scratch + k * kGsmSamplesPerBlock;
        gsm_decode(state, block, out);
        gsm_decode(state, block + kFirstFrameBytes, out + kFrameSamples);
        for (std::uint32_t i = 0; i < kGsmSamplesPerBlock; ++i) {
            // Decoded samples are clipped to the 16-bit range; -32768 would
            // measure 32768, one above full scale.
            const int magnitude = out[i] < 0 ? -out[i] : out[i];
            peak = std::max(peak, std::min(magnitude, 32767));
        }
    }
    return peak;
}

int GsmBufferPeak(const std::uint8_t* input, std::int16_t* scratch) {
    // Never destroyed: the engine thread may still be measuring while the
    // process ends.
    static GsmLevelDecoder* const decoder = new GsmLevelDecoder();
    return decoder->BufferPeak(input, scratch);
}

}  // namespace tavrin::wav
