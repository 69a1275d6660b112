#include <gtest/gtest.h>

#include <cerrno>

#include "platform/portaudio/DeviceFormat.h"
#include "platform/portaudio/PortAudioLibrary.h"

namespace tavrin::test {
namespace {

using platform::AudioFormat;
using platform::portaudio::DeviceFormat;
using platform::portaudio::DeviceFormatFor;
using platform::portaudio::PortAudioLibrary;
namespace mmr = platform::mmr;

constexpr AudioFormat Pcm(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels = 1) {
    return AudioFormat{1, channels, rate, rate * bits / 8 * channels, static_cast<std::uint16_t>(bits / 8 * channels),
                       bits, 0, 0};
}
constexpr AudioFormat kGsm{0x31, 1, 8000, 1625, 65, 0, 2, 320};

TEST(DeviceFormat, TheRecordingFormatsAndNothingElseGoOverADeviceStream) {
    struct Case {
        const char* name;
        AudioFormat format;
        std::optional<DeviceFormat> expect;
    };
    AudioFormat gsmAt11k = kGsm;
    gsmAt11k.samplesPerSec = 11025;
    AudioFormat gsmStereo = kGsm;
    gsmStereo.channels = 2;
    AudioFormat badAlign = Pcm(8000, 16);
    badAlign.blockAlign = 1;
    AudioFormat adpcm = Pcm(8000, 4);
    adpcm.formatTag = 2;
    const Case cases[] = {
        {"GSM", kGsm, DeviceFormat{8000, 2, true, 65}},
        {"8 kHz 8-bit", Pcm(8000, 8), DeviceFormat{8000, 1, false, 1}},
        {"8 kHz 16-bit", Pcm(8000, 16), DeviceFormat{8000, 2, false, 2}},
        {"11 kHz 8-bit", Pcm(11025, 8), DeviceFormat{11025, 1, false, 1}},
        {"11 kHz 16-bit", Pcm(11025, 16), DeviceFormat{11025, 2, false, 2}},
        {"22 kHz 8-bit", Pcm(22050, 8), DeviceFormat{22050, 1, false, 1}},
        {"22 kHz 16-bit", Pcm(22050, 16), DeviceFormat{22050, 2, false, 2}},
        {"stereo", Pcm(22050, 16, 2), std::nullopt},
        {"12-bit", Pcm(8000, 12), std::nullopt},
        {"block align that cuts samples", badAlign, std::nullopt},
        {"rate 0", Pcm(0, 16), std::nullopt},
        {"absurd rate", Pcm(1'000'000, 16), std::nullopt},
        {"GSM at 11 kHz", gsmAt11k, std::nullopt},
        {"GSM stereo", gsmStereo, std::nullopt},
        {"another codec", adpcm, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(DeviceFormatFor(c.format), c.expect) << c.name;
}

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
