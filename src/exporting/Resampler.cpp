#include "exporting/Resampler.h"

#include <samplerate.h>

namespace tavrin::exporting {

Resampler::~Resampler() {
    if (state) src_delete(state);
}

bool Resampler::Start(std::uint32_t fromRate, std::uint32_t toRate, int channelCount) {
    int error = 0;
    // Opus only ever gets a rate a little above the recording's (11,025 to
    // 12,000, 22,050 to 24,000), and at 24 kbit/s it keeps less than the
    // recording's upper band: the images a linear converter leaves lie above
    // what it keeps. The band-limited converters cost as much again as the
    // encoding itself (2.2 s of CPU for ten minutes), this one next to nothing.
    state = src_new(SRC_LINEAR, channelCount, &error);
    ratio = static_cast<double>(toRate) / fromRate;
    channels = channelCount;
    return state != nullptr;
}

bool Resampler::Convert(const std::int16_t* in, long frames, bool last, std::vector<float>& out) {
    out.clear();
    input.resize(static_cast<std::size_t>(frames) * channels);
    src_short_to_float_array(in, input.data(), static_cast<int>(input.size()));
    SRC_DATA data{};
    data.data_in = input.data();
    data.input_frames = frames;
    data.src_ratio = ratio;
    data.end_of_input = last ? 1 : 0;
    std::vector<float> piece(static_cast<std::size_t>(frames * ratio + 256) * channels);
    for (;;) {
        data.data_out = piece.data();
        data.output_frames = static_cast<long>(piece.size()) / channels;
        if (src_process(state, &data) != 0) return false;
        out.insert(out.end(), piece.begin(), piece.begin() + data.output_frames_gen * channels);
        data.data_in += data.input_frames_used * channels;
        data.input_frames -= data.input_frames_used;
        // Done once the input is taken and, at the end, nothing more comes out.
        if (data.input_frames == 0 && (!last || data.output_frames_gen == 0)) return true;
    }
}

}  // namespace tavrin::exporting
