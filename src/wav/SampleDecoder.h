#pragma once

#include <cstdint>

struct gsm_state;  // libgsm's decoder state

namespace tavrin::wav {

// Turns a recording's audio bytes into 16-bit samples, whatever its format:
// 8-bit PCM (unsigned, moved to the 16-bit scale), 16-bit PCM, or GSM 06.10
// in 65-byte blocks of 320 samples. The waveform, the speed stage and export
// all read recordings through it. Each decoder has a GSM state of its own, so
// that two threads never share one; its filter memory runs on from one call
// to the next, as the audio does.
class SampleDecoder {
public:
    SampleDecoder(std::uint16_t formatTag, std::uint16_t bitsPerSample);
    ~SampleDecoder();
    SampleDecoder(const SampleDecoder&) = delete;
    SampleDecoder& operator=(const SampleDecoder&) = delete;

    // False for a format it does not know, or when no GSM state could be made.
    bool Usable() const { return usable; }
    // Bytes of the smallest whole unit: a sample (PCM), a 65-byte block (GSM).
    std::uint32_t UnitBytes() const { return unitBytes; }
    std::uint32_t SamplesPerUnit() const { return samplesPerUnit; }

    // Decodes the whole units of data[0, bytes) into `out`, which has room
    // for bytes / UnitBytes() × SamplesPerUnit() samples; returns how many it wrote.
    // The bytes need no alignment.
    std::uint32_t Decode(const std::uint8_t* data, std::uint32_t bytes, std::int16_t* out);
    // Starts the GSM filter memory afresh, as after a seek.
    void Reset();

private:
    std::uint16_t tag;
    std::uint16_t bits;
    std::uint32_t unitBytes = 0;
    std::uint32_t samplesPerUnit = 0;
    gsm_state* gsm = nullptr;
    bool usable = false;
};

}  // namespace tavrin::wav
