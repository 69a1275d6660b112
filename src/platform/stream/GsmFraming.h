#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "platform/stream/DeviceFormat.h"

struct gsm_state;

namespace tavrin::platform::stream {

// GSM 06.10 on the device side of a stream: 8 kHz 16-bit samples in, 65-byte
// blocks of two frames out (the WAV49 packing), or the reverse. Each stream
// has its own codec state, so a recording and a playback never disturb each
// other's filter memory. The state is made when the stream is opened; coding
// allocates nothing and may run in the audio callback.
class GsmFraming {
public:
    enum class Direction { Encode, Decode };

    explicit GsmFraming(Direction direction);
    ~GsmFraming();
    GsmFraming(const GsmFraming&) = delete;
    GsmFraming& operator=(const GsmFraming&) = delete;

    // False when the codec state could not be made.
    bool ready() const { return state != nullptr; }

    // Collects samples; each time a block's 320 are together they are encoded
    // and `deliver(const std::uint8_t* block, std::int32_t peak)` gets the 65
    // bytes and the largest magnitude of the samples they encode.
    // (Not named `emit`: Qt defines that word away in every file that includes it.)
    template <typename Deliver>
    void Encode(const std::int16_t* samples, std::uint32_t count, Deliver&& deliver) noexcept {
        while (count > 0) {
            const std::uint32_t n = std::min(count, kGsmBlockSamples - used);
            std::copy(samples, samples + n, pcm.begin() + used);
            samples += n;
            count -= n;
            used += n;
            if (used == kGsmBlockSamples) {
                const std::int32_t peak = EncodeBlock();
                used = 0;
                deliver(static_cast<const std::uint8_t*>(block.data()), peak);
            }
        }
    }

    // Writes `count` samples from the blocks that `next(std::uint8_t* block,
    // std::uint32_t sampleOffset)` provides, asking for the next block when the
    // last is used up; `sampleOffset` tells where in `samples` the new block
    // starts. When `next` answers false the rest is silence and the next call
    // asks again. Returns the samples that came from blocks.
    template <typename Next>
    std::uint32_t Decode(std::int16_t* samples, std::uint32_t count, Next&& next) noexcept {
        std::uint32_t written = 0;
        while (written < count) {
            if (used == kGsmBlockSamples) {
                if (!next(block.data(), written)) break;
                DecodeBlock();
                used = 0;
            }
            const std::uint32_t n = std::min(count - written, kGsmBlockSamples - used);
            std::copy(pcm.begin() + used, pcm.begin() + used + n, samples + written);
            used += n;
            written += n;
        }
        std::fill(samples + written, samples + count, std::int16_t{0});
        return written;
    }

    // Forgets a half-collected or half-played block, as after a reset; the
    // codec's filter memory runs on.
    void DropPartial() noexcept { used = direction == Direction::Encode ? 0 : kGsmBlockSamples; }

private:
    // Returns the largest magnitude of the block's samples.
    std::int32_t EncodeBlock() noexcept;
    void DecodeBlock() noexcept;

    const Direction direction;
    gsm_state* state = nullptr;
    std::array<std::int16_t, kGsmBlockSamples> pcm{};
    std::array<std::uint8_t, kGsmBlockBytes> block{};
    // Encode: samples collected. Decode: samples of the block already played.
    std::uint32_t used = 0;
};

}  // namespace tavrin::platform::stream
