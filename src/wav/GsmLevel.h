#pragma once

#include <cstdint>

struct gsm_state;  // libgsm's decoder state

namespace tavrin::wav {

// Bytes of one 200 ms GSM buffer: five 65-byte blocks, 1600 samples.
inline constexpr std::uint32_t kGsmBufferBytes = 325;
inline constexpr std::uint32_t kGsmBufferSamples = 1600;

// Measures how loud GSM audio is by decoding it. One decoder state serves
// every buffer; it is created on first use (with the 65-byte two-frame
// packing switched on) and never reset, so its filter memory runs on from one
// buffer to the next. A failed creation is tried again on the next call.
class GsmLevelDecoder {
public:
    using Creator = gsm_state* (*)();

    // `create` makes a fresh libgsm state (libgsm's own create by default);
    // tests pass one that fails.
    explicit GsmLevelDecoder(Creator create = nullptr);
    ~GsmLevelDecoder();
    GsmLevelDecoder(const GsmLevelDecoder&) = delete;
    GsmLevelDecoder& operator=(const GsmLevelDecoder&) = delete;

    // Decodes the five blocks of `input` (325 bytes) into `scratch` (room for
    // 1600 samples, block k at 320·k) and returns the largest magnitude,
    // 0..32767. Returns 0 when no decoder state could be created.
    int BufferPeak(const std::uint8_t* input, std::int16_t* scratch);

    bool HasState() const { return state != nullptr; }

private:
    bool EnsureState();

    Creator create;
    gsm_state* state = nullptr;
};

// The program's one level decoder, shared by recording and playback (both
// run on the engine thread). It lives until the process ends.
int GsmBufferPeak(const std::uint8_t* input, std::int16_t* scratch);

}  // namespace tavrin::wav
