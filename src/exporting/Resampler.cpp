#include "exporting/Resampler.h"

#include <samplerate.h>

namespace tavrin::exporting {

Resampler::~Resampler() {
    if (state) src_delete(state);
}

bool Resampler::Start(std::uint32_t fromRate, std::uint32_t toRate, int channelCount) {
    int error = 0;
    // The fastest of the band-limited converters: speech loses nothing a
    // 24 kbit/s encoder would keep, and an hour converts in seconds.
    state = src_new(SRC_SINC_FASTEST, channelCount, &error);
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
