#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "FastMediaRig.h"
#include "RecordingModel.h"

namespace tavrin::storage {
namespace {

using namespace fasttest;

// Every write of a fast recording waits for the disk, so a test run takes a
// hundred and some sequences over the three formats; a soak many more.
std::uint32_t FastSequences() {
    const char* soak = std::getenv("TAVRIN_SOAK");
    return soak && std::strcmp(soak, "1") == 0 ? 3000 : 40;
}

class FastMediaModel : public testing::TestWithParam<model::Format> {};

// Recording, playback, seeking and the three edits on fast media, compared
// with the plain model after every End and Close. The volume is small, so
// that the reservation (which bounds direct recordings and an insertion's
// buffer alike, and which the model does not predict) runs out now and then;
// the model follows whatever the context accepted.
TEST_P(FastMediaModel, RandomSequencesLeaveExactlyTheModelledFile) {
    const model::Format format = GetParam();
    for (std::uint32_t seed = 1; seed <= FastSequences(); ++seed) {
        FastRig rig;
        rig.fs.setFreeSpace(6 * kTwice + 10'000);
        model::ModelOptions options;
        options.slow = false;
        options.bufferCapacity = 0;
        model::RunRandomSequence(rig.ctx, rig.path, format, seed, options);
        EXPECT_TRUE(rig.ctx.IsIdle());
        rig.ExpectNothingHeld();
        if (HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, FastMediaModel, testing::Values(model::kPcm8, model::kPcm16, model::kGsm),
                         [](const auto& param) {
                             return param.param.IsGsm() ? std::string("Gsm")
                                                        : "Pcm" + std::to_string(param.param.bitsPerSample);
                         });

}  // namespace
}  // namespace tavrin::storage
