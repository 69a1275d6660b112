#include "wav/SampleDecoder.h"

#include <gsm.h>

#include "wav/Formats.h"

namespace tavrin::wav {
namespace {

// The first frame of a 65-byte block ends half-way through byte 32; the
// decoder keeps that half byte for the second call.
constexpr std::uint32_t kFirstFrameBytes = 33;
constexpr std::uint32_t kFrameSamples = kGsmSamplesPerBlock / 2;

gsm_state* NewGsmState() {
    gsm_state* fresh = gsm_create();
    if (!fresh) return nullptr;
    int on = 1;
    if (gsm_option(fresh, GSM_OPT_WAV49, &on) < 0) {
        gsm_destroy(fresh);
        return nullptr;
    }
    return fresh;
}

}  // namespace

SampleDecoder::SampleDecoder(std::uint16_t formatTag, std::uint16_t bitsPerSample)
    : tag(formatTag), bits(bitsPerSample) {
    if (tag == kTagPcm && (bits == 8 || bits == 16)) {
        unitBytes = bits / 8;
        samplesPerUnit = 1;
        usable = true;
    } else if (tag == kTagGsm) {
        unitBytes = kGsmBlockBytes;
        samplesPerUnit = kGsmSamplesPerBlock;
        gsm = NewGsmState();
        usable = gsm != nullptr;
    }
}

SampleDecoder::~SampleDecoder() {
    if (gsm) gsm_destroy(gsm);
}

void SampleDecoder::Reset() {
    if (!gsm) return;
    if (gsm_state* fresh = NewGsmState()) {
        gsm_destroy(gsm);
        gsm = fresh;
    }
}

std::uint32_t SampleDecoder::Decode(const std::uint8_t* data, std::uint32_t bytes, std::int16_t* out) {
    if (!usable) return 0;
    const std::uint32_t units = bytes / unitBytes;
    if (tag == kTagGsm) {
        for (std::uint32_t k = 0; k < units; ++k) {
            // libgsm takes non-const pointers but only reads the frame bytes.
            auto* block = const_cast<gsm_byte*>(data + k * kGsmBlockBytes);
            gsm_signal* into = out + k * kGsmSamplesPerBlock;
            gsm_decode(gsm, block, into);
            gsm_decode(gsm, block + kFirstFrameBytes, into + kFrameSamples);
        }
        return units * kGsmSamplesPerBlock;
    }
    if (bits == 8) {
        for (std::uint32_t i = 0; i < units; ++i) out[i] = static_cast<std::int16_t>((data[i] - 128) * 256);
    } else {
        for (std::uint32_t i = 0; i < units; ++i) out[i] = static_cast<std::int16_t>(LoadLe16(data + 2 * i));
    }
    return units;
}

}  // namespace tavrin::wav
