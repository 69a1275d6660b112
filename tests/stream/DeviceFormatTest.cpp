#include <gtest/gtest.h>

#include <optional>

#include "platform/stream/DeviceFormat.h"

namespace tavrin::test {
namespace {

using platform::AudioFormat;
using platform::stream::DeviceFormat;
using platform::stream::DeviceFormatFor;

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

}  // namespace
}  // namespace tavrin::test
