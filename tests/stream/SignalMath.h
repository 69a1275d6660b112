#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tavrin::test {

// A voiced, speech-like test signal: a 140 Hz buzz with a few formant-ish
// harmonics whose loudness rises and falls three times a second. GSM codes
// it as it codes a voice, which a pure tone would not show.
inline std::vector<std::int16_t> SpeechLike(std::uint32_t rate, std::size_t count) {
    constexpr double kPi = 3.14159265358979323846;
    std::vector<std::int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double envelope = 0.55 + 0.45 * std::sin(2 * kPi * 3 * t);
        double v = 0;
        for (int h = 1; h <= 12; ++h) {
            const double formant = std::exp(-std::pow((140.0 * h - 700.0) / 500.0, 2)) + 0.3 / h;
            v += formant * std::sin(2 * kPi * 140.0 * h * t + h);
        }
        out[i] = static_cast<std::int16_t>(std::lround(std::clamp(6000.0 * envelope * v, -32767.0, 32767.0)));
    }
    return out;
}

// Normalised correlation of two signals at zero lag, over the shorter length.
template <typename A, typename B>
double Correlation(const std::vector<A>& a, const std::vector<B>& b, std::size_t aFrom = 0, std::size_t bFrom = 0) {
    const std::size_t n = std::min(a.size() - std::min(aFrom, a.size()), b.size() - std::min(bFrom, b.size()));
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = a[aFrom + i];
        const double y = b[bFrom + i];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

inline double Rms(const std::vector<std::int16_t>& v, std::size_t from = 0, std::size_t count = SIZE_MAX) {
    const std::size_t end = std::min(v.size(), from + std::min(count, v.size()));
    double sum = 0;
    for (std::size_t i = from; i < end; ++i) sum += double(v[i]) * v[i];
    return end > from ? std::sqrt(sum / double(end - from)) : 0.0;
}

}  // namespace tavrin::test
