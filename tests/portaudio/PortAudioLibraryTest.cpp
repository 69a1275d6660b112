#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>

#include "platform/portaudio/PortAudioDevices.h"
#include "platform/portaudio/PortAudioLibrary.h"
#include "platform/posix/PosixFileSystem.h"

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

// The library, and ALSA and JACK with it, load at the first use of a device,
// not when the devices are made: a program that records through the sound
// server and has played no cue holds none of them. In a process of its own,
// where nothing has loaded them before.
TEST(PortAudioLibrary, LoadsAtTheFirstUseOfADeviceNotBefore) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const auto loaded = [](const char* name) { return dlopen(name, RTLD_LAZY | RTLD_NOLOAD) != nullptr; };
            platform::PosixFileSystem files;
            const auto in = platform::portaudio::MakeDefaultWaveIn();
            const auto out = platform::portaudio::MakeDefaultWaveOut();
            const auto cues = platform::portaudio::MakeCueSounds(files);
            if (loaded("libportaudio.so.2") || loaded("libasound.so.2") || loaded("libjack.so.0")) std::_Exit(1);
            static_cast<void>(in->present());
            std::_Exit(loaded("libportaudio.so.2") ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tavrin::test
