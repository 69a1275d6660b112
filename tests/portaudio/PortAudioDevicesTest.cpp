#include <gtest/gtest.h>

#include "platform/portaudio/PortAudioWaveIn.h"
#include "platform/portaudio/PortAudioWaveOut.h"

namespace tavrin::test {
namespace {

using platform::AudioFormat;
using platform::WaveBuffer;
using platform::portaudio::PortAudioWaveIn;
using platform::portaudio::PortAudioWaveOut;
namespace mmr = platform::mmr;

class NullSink : public platform::WaveSink {
public:
    void notify(std::uint32_t, WaveBuffer*, std::uint32_t) noexcept override {}
};

TEST(PortAudioDevices, EveryCallOnADeviceThatIsNotOpenIsRefused) {
    PortAudioWaveIn in;
    PortAudioWaveOut out;
    WaveBuffer buffer{};
    EXPECT_EQ(in.prepare(buffer), mmr::InvalidHandle);
    EXPECT_EQ(in.unprepare(buffer), mmr::InvalidHandle);
    EXPECT_EQ(in.add(buffer), mmr::InvalidHandle);
    EXPECT_EQ(in.start(), mmr::InvalidHandle);
    EXPECT_EQ(in.reset(), mmr::InvalidHandle);
    EXPECT_EQ(in.close(), mmr::InvalidHandle);
    EXPECT_EQ(out.prepare(buffer), mmr::InvalidHandle);
    EXPECT_EQ(out.unprepare(buffer), mmr::InvalidHandle);
    EXPECT_EQ(out.write(buffer), mmr::InvalidHandle);
    EXPECT_EQ(out.pause(), mmr::InvalidHandle);
    EXPECT_EQ(out.restart(), mmr::InvalidHandle);
    EXPECT_EQ(out.reset(), mmr::InvalidHandle);
    EXPECT_EQ(out.close(), mmr::InvalidHandle);
    EXPECT_EQ(buffer.flags, 0u);
}

TEST(PortAudioDevices, FormatsNoStreamCanCarryAreRefusedBeforeAnyDeviceIsAsked) {
    PortAudioWaveIn in;
    PortAudioWaveOut out;
    NullSink sink;
    const AudioFormat stereo{1, 2, 22050, 88200, 4, 16, 0, 0};
    const AudioFormat gsmAt22k{0x31, 1, 22050, 1625, 65, 0, 2, 320};
    for (const auto& f : {stereo, gsmAt22k}) {
        EXPECT_FALSE(in.isFormatSupported(f));
        EXPECT_FALSE(out.isFormatSupported(f));
        EXPECT_EQ(in.open(f, sink), mmr::BadFormat);
        EXPECT_EQ(out.open(f, sink), mmr::BadFormat);
    }
}

TEST(PortAudioDevices, OutputVolumeIsKeptWhileTheDeviceIsClosed) {
    PortAudioWaveOut out;
    std::uint32_t volume = 0;
    ASSERT_EQ(out.getVolume(volume), mmr::NoError);
    EXPECT_EQ(volume, 0xFFFFFFFFu);
    ASSERT_EQ(out.setVolume(0x40004000), mmr::NoError);
    ASSERT_EQ(out.getVolume(volume), mmr::NoError);
    EXPECT_EQ(volume, 0x40004000u);
}

}  // namespace
}  // namespace tavrin::test
