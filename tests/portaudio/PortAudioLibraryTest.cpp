#include <gtest/gtest.h>

#include <cerrno>

#include "platform/portaudio/PortAudioLibrary.h"

namespace tavrin::test {
namespace {

using platform::portaudio::PortAudioLibrary;
namespace mmr = platform::mmr;

TEST(PortAudioLibrary, FailuresReadAsWaveDeviceResults) {
    const PaHostErrorInfo busy{paALSA, -EBUSY, "busy"};
    const PaHostErrorInfo otherAlsa{paALSA, -EIO, "i/o"};
    const PaHostErrorInfo busyElsewhere{paOSS, -EBUSY, "busy"};
    struct Case {
        PaError error;
        const PaHostErrorInfo* host;
        platform::DeviceResult expect;
    };
    const Case cases[] = {
        {paNoError, nullptr, mmr::NoError},
        {paDeviceUnavailable, nullptr, mmr::Allocated},
        {paUnanticipatedHostError, &busy, mmr::Allocated},
        {paUnanticipatedHostError, &otherAlsa, mmr::Error},
        {paUnanticipatedHostError, &busyElsewhere, mmr::Error},
        {paUnanticipatedHostError, nullptr, mmr::Error},
        {paInvalidSampleRate, nullptr, mmr::BadFormat},
        {paSampleFormatNotSupported, nullptr, mmr::BadFormat},
        {paInvalidChannelCount, nullptr, mmr::BadFormat},
        {paInvalidDevice, nullptr, mmr::BadDeviceId},
        {paInsufficientMemory, nullptr, mmr::NoMem},
        {paNotInitialized, nullptr, mmr::NoDriver},
        {paInternalError, nullptr, mmr::Error},
    };
    for (const auto& c : cases) EXPECT_EQ(PortAudioLibrary::ResultOf(c.error, c.host), c.expect) << c.error;
}

}  // namespace
}  // namespace tavrin::test
