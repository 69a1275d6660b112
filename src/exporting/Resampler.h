#pragma once

#include <cstdint>
#include <vector>

struct SRC_STATE_tag;  // libsamplerate's converter

namespace tavrin::exporting {

// Changes the sample rate of 16-bit audio on its way into an encoder that
// takes only some rates (Opus), with libsamplerate.
class Resampler {
public:
    Resampler() = default;
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // False when no converter could be made.
    [[nodiscard]] bool Start(std::uint32_t fromRate, std::uint32_t toRate, int channels);
    // Converts `frames` frames and appends the result to `out` (cleared
    // first); `last` flushes what the converter still holds.
    [[nodiscard]] bool Convert(const std::int16_t* in, long frames, bool last, std::vector<float>& out);

private:
    SRC_STATE_tag* state = nullptr;
    double ratio = 1.0;
    int channels = 1;
    std::vector<float> input;
};

}  // namespace tavrin::exporting
