#include "engine/SpeedStage.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace tavrin::engine {
namespace {

constexpr std::size_t kStepCount = std::size(kSpeedSteps);
constexpr std::array<const char*, kStepCount> kLabels{"0.5×", "0.75×", "1×",   "1.25×", "1.5×",
                                                      "1.75×", "2×",    "2.5×", "3×"};

std::size_t IndexOf(std::uint32_t hundredths) {
    const auto* it = std::find(std::begin(kSpeedSteps), std::end(kSpeedSteps), hundredths);
    return static_cast<std::size_t>(it - std::begin(kSpeedSteps));
}

}  // namespace

bool IsSpeedStep(std::uint32_t hundredths) { return IndexOf(hundredths) < kStepCount; }

std::uint32_t NextSpeed(std::uint32_t hundredths, bool faster) {
    const std::size_t at = IndexOf(hundredths);
    if (at == kStepCount) return kNormalSpeed;
    if (faster) return kSpeedSteps[std::min(at + 1, kStepCount - 1)];
    return kSpeedSteps[at == 0 ? 0 : at - 1];
}

std::uint32_t CycledSpeed(std::uint32_t hundredths) {
    const std::size_t at = IndexOf(hundredths);
    if (at == kStepCount) return kNormalSpeed;
    return kSpeedSteps[(at + 1) % kStepCount];
}

const char* SpeedLabel(std::uint32_t hundredths) {
    const std::size_t at = IndexOf(hundredths);
    return at == kStepCount ? kLabels[IndexOf(kNormalSpeed)] : kLabels[at];
}

}  // namespace tavrin::engine
