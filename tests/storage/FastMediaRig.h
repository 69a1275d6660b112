#pragma once

// The rig of the fast-media strategy tests (see MediaRig.h), with reference
// recordings spelled out byte by byte.

#include "MediaRig.h"

namespace tavrin::storage::fasttest {

using model::Bytes;
using model::Pattern;
using mediatest::Cat;
using mediatest::kGranularity;
using mediatest::kTwice;
using mediatest::Slice;

using FastRig = mediatest::MediaRig<mediatest::Medium::Fast>;
using FastFaultRun = mediatest::FaultRunOf<FastRig>;
inline constexpr std::uint64_t kFastRoomyDisk = FastRig::kRoomyDisk;

template <class Scenario>
void SweepFastFaults(Scenario scenario) {
    mediatest::SweepFaultsOn<FastRig>(scenario);
}

// A mono PCM recording laid out the way this program writes one.
inline Bytes PcmFile(std::uint32_t rate, std::uint16_t bits, const Bytes& audio) {
    return model::WavFile(model::Format{wav::kTagPcm, rate, bits, "PCM"}, audio);
}
// A GSM recording with its fact chunk (audio from offset 60).
inline Bytes GsmFile(const Bytes& audio) { return model::WavFile(model::kGsm, audio); }

}  // namespace tavrin::storage::fasttest
