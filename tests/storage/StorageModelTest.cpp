#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <algorithm>

#include "RecordingModel.h"
#include "SlowMediaRig.h"

namespace tavrin::storage {
namespace {

using namespace slowtest;

// A few hundred sequences in every test run; many more for a soak.
std::uint32_t Sequences() {
    const char* soak = std::getenv("TAVRIN_SOAK");
    return soak && std::strcmp(soak, "1") == 0 ? 3000 : 100;
}

class SlowMediaModel : public testing::TestWithParam<model::Format> {};

TEST_P(SlowMediaModel, RandomSequencesLeaveExactlyTheModelledFile) {
    const model::Format format = GetParam();
    // A buffer of a dozen 200 ms pieces, so that recordings run full now and then.
    const std::uint32_t capacity = std::max(12 * format.PieceBytes() + format.HeaderBytes(), 2 * kTwice);
    for (std::uint32_t seed = 1; seed <= Sequences(); ++seed) {
        SlowRig rig;
        rig.memory.setAvailablePhysical(capacity + 2 * kTwice);
        model::ModelOptions options;
        options.slow = true;
        options.bufferCapacity = capacity;
        model::RunRandomSequence(rig.ctx, rig.path, format, seed, options);
        EXPECT_TRUE(rig.ctx.IsIdle());
        rig.ExpectNothingHeld();
        if (HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, SlowMediaModel, testing::Values(model::kPcm8, model::kPcm16, model::kGsm),
                         [](const auto& param) {
                             return param.param.IsGsm() ? std::string("Gsm")
                                                        : "Pcm" + std::to_string(param.param.bitsPerSample);
                         });

}  // namespace
}  // namespace tavrin::storage
