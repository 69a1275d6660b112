#pragma once

// The rig of the slow-media strategy tests (see MediaRig.h): memory makes the
// recording buffer a known size.

#include "MediaRig.h"

namespace tavrin::storage::slowtest {

using model::Bytes;
using model::Pattern;
using mediatest::Cat;
using mediatest::kGranularity;
using mediatest::kTwice;
using mediatest::Slice;
using mediatest::UnsyncedFileSystem;

using SlowRig = mediatest::MediaRig<mediatest::Medium::Slow>;
using FaultRun = mediatest::FaultRunOf<SlowRig>;
// The recording buffer: what the memory allows, the disk being roomy.
inline constexpr std::uint32_t kCapacity = SlowRig::kCapacity;
inline constexpr std::uint64_t kMemory = SlowRig::kMemory;
inline constexpr std::uint64_t kRoomyDisk = SlowRig::kRoomyDisk;

template <class Scenario>
void SweepFaults(Scenario scenario) {
    mediatest::SweepFaultsOn<SlowRig>(scenario);
}

inline bool StartsWith(const Bytes& whole, const Bytes& prefix) {
    return whole.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), whole.begin());
}

}  // namespace tavrin::storage::slowtest
