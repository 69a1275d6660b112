// The file-backed devices: a WAV file as microphone and as loudspeaker.
#include <gsm.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/file/FileWaveIn.h"
#include "platform/file/FileWaveOut.h"
#include "platform/file/InputSignal.h"
#include "platform/file/SignalConverter.h"
#include "platform/posix/PosixFileSystem.h"
#include "support/TempDir.h"
#include "wav/HeaderLayout.h"

namespace tavrin::platform::file {
namespace {

void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
void PutId(std::vector<std::uint8_t>& v, const char* id) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<std::uint8_t>(id[i]));
}

// A PCM WAV image with the given samples (interleaved, already in file form).
std::vector<std::uint8_t> Wav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                              const std::vector<std::uint8_t>& data, std::uint16_t tag = 1) {
    std::vector<std::uint8_t> v;
    PutId(v, "RIFF");
    Put32(v, static_cast<std::uint32_t>(36 + data.size()));
    PutId(v, "WAVE");
    PutId(v, "fmt ");
    Put32(v, 16);
    Put16(v, tag);
    Put16(v, channels);
    Put32(v, rate);
    Put32(v, rate * channels * bits / 8);
    Put16(v, static_cast<std::uint16_t>(channels * bits / 8));
    Put16(v, bits);
    PutId(v, "data");
    Put32(v, static_cast<std::uint32_t>(data.size()));
    v.insert(v.end(), data.begin(), data.end());
    return v;
}

std::vector<std::uint8_t> Samples16(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> v;
    for (std::int16_t s : samples) Put16(v, static_cast<std::uint16_t>(s));
    return v;
}

std::int16_t At16(const std::vector<std::uint8_t>& v, std::size_t i) {
    return static_cast<std::int16_t>(v[2 * i] | (v[2 * i + 1] << 8));
}

InputSignal Signal(std::vector<std::uint8_t> image) {
    std::string error;
    auto signal = InputSignal::Parse(std::move(image), error);
    EXPECT_TRUE(signal) << error;
    return std::move(*signal);
}

constexpr AudioFormat kPcm8k8{1, 1, 8000, 8000, 1, 8, 0, 0};
constexpr AudioFormat kPcm8k16{1, 1, 8000, 16000, 2, 16, 0, 0};
constexpr AudioFormat kPcm11k16{1, 1, 11025, 22050, 2, 16, 0, 0};
constexpr AudioFormat kGsm{0x31, 1, 8000, 1625, 65, 0, 2, 320};

// --- Reading the input file ---------------------------------------------------------

struct BadInput {
    const char* name;
    std::vector<std::uint8_t> image;
    const char* error;
};

class InputSignalRefuses : public ::testing::TestWithParam<BadInput> {};

TEST_P(InputSignalRefuses, WithAClearReason) {
    std::string error;
    EXPECT_FALSE(InputSignal::Parse(GetParam().image, error));
    EXPECT_EQ(error, GetParam().error);
}

std::vector<std::uint8_t> Truncated(std::vector<std::uint8_t> v, std::size_t size) {
    v.resize(size);
    return v;
}

std::vector<std::uint8_t> Patched(std::vector<std::uint8_t> v, std::size_t at, std::uint8_t value) {
    v[at] = value;
    return v;
}

const std::vector<std::uint8_t> kGood = Wav(1, 8000, 16, Samples16({1, 2, 3, 4}));

constexpr const char* kUnsupported = "unsupported audio: only PCM, mono or stereo, 8 or 16 bits";

// A GSM recording as this program writes it: playable, yet no PCM to mix.
std::vector<std::uint8_t> GsmFile() {
    const wav::NewHeader header = wav::BuildNewHeader(wav::BuildWaveFormat(wav::kTagGsm, 8000, 0, 1), 65);
    std::vector<std::uint8_t> v(header.bytes.begin(), header.bytes.begin() + header.Size());
    v.resize(v.size() + 65, 0);
    return v;
}

const BadInput kBadInputs[] = {
    {"Empty", {}, "not a RIFF WAVE file"},
    {"NotRiff", Patched(kGood, 0, 'X'), "not a RIFF WAVE file"},
    {"NotWave", Patched(kGood, 8, 'X'), "not a RIFF WAVE file"},
    {"OnlyRiffHeader", Truncated(kGood, 12), "no fmt chunk"},
    {"FmtCutShort", Truncated(kGood, 30), "no fmt chunk"},
    {"NoData", Truncated(kGood, 36), "no data chunk"},
    {"Float", Wav(1, 8000, 32, Samples16({0, 0}), 3), kUnsupported},
    {"TwentyFourBit", Wav(1, 8000, 24, Samples16({0, 0, 0})), kUnsupported},
    {"ThreeChannels", Wav(3, 8000, 16, Samples16({0, 0, 0})), kUnsupported},
    {"RateZero", Wav(1, 0, 16, Samples16({0})), kUnsupported},
    {"BlockAlignWrong", Patched(kGood, 32, 4), kUnsupported},
    {"FmtSizeHuge", Patched(kGood, 19, 0x7F), "no fmt chunk"},
    {"FmtShorterThanItsRecord", Patched(kGood, 16, 14), "no fmt chunk"},
    {"Gsm", GsmFile(), kUnsupported},
};

std::string BadName(const ::testing::TestParamInfo<BadInput>& param) { return param.param.name; }

INSTANTIATE_TEST_SUITE_P(Images, InputSignalRefuses, ::testing::ValuesIn(kBadInputs), BadName);

TEST(InputSignalTest, SkipsPaddedChunksAndKeepsWhatACutOffDataChunkHolds) {
    std::vector<std::uint8_t> v = Wav(2, 22050, 8, {});
    v.resize(36);  // up to the end of the fmt chunk
    PutId(v, "LIST");
    Put32(v, 3);
    v.insert(v.end(), {'a', 'b', 'c', 0});  // odd chunk, one pad byte
    PutId(v, "data");
    Put32(v, 1000);  // claims more than there is
    v.insert(v.end(), {10, 20, 30, 40, 50});
    const InputSignal s = Signal(v);
    EXPECT_EQ(s.channels(), 2);
    EXPECT_EQ(s.samplesPerSec(), 22050u);
    EXPECT_EQ(s.dataBytes(), 5u);
    EXPECT_EQ(s.frames(), 2u);
    EXPECT_EQ(s.MonoAt(0), ((10 - 128) * 256 + (20 - 128) * 256) / 2);
    EXPECT_EQ(s.MonoAt(2), 0) << "the odd byte is no whole frame";
}

// --- Converting it to the device format ---------------------------------------------

std::vector<std::uint8_t> Convert(const InputSignal& s, const AudioFormat& f, std::uint32_t bytes) {
    SignalConverter converter(s, f);
    std::vector<std::uint8_t> out(bytes, 0xEE);
    converter.Fill(out.data(), bytes);
    return out;
}

TEST(SignalConverterTest, AFileInTheDeviceFormatPassesThroughThenSilence) {
    std::vector<std::uint8_t> pcm8 = {0, 1, 127, 128, 255, 77, 3};
    const InputSignal s8 = Signal(Wav(1, 8000, 8, pcm8));
    std::vector<std::uint8_t> expected = pcm8;
    expected.insert(expected.end(), 5, 128);
    EXPECT_EQ(Convert(s8, kPcm8k8, 12), expected);

    const std::vector<std::uint8_t> pcm16 = Samples16({-32768, 32767, -1, 0, 12345});
    const InputSignal s16 = Signal(Wav(1, 8000, 16, pcm16));
    expected = pcm16;
    expected.insert(expected.end(), 6, 0);
    EXPECT_EQ(Convert(s16, kPcm8k16, 16), expected);
}

TEST(SignalConverterTest, MixesConvertsBitsAndResamples) {
    // Stereo 16 kHz: the mono mix is the mean; 8 kHz takes every other frame.
    const InputSignal stereo = Signal(Wav(2, 16000, 16, Samples16({100, 300, 7, 7, -1000, -3000, 5, 5, 32767, 32767})));
    const std::vector<std::uint8_t> down = Convert(stereo, kPcm8k16, 8);
    EXPECT_EQ(At16(down, 0), 200);
    EXPECT_EQ(At16(down, 1), -2000);
    EXPECT_EQ(At16(down, 2), 32767);
    EXPECT_EQ(At16(down, 3), 0) << "silence after the end";

    // 16-bit to 8-bit: the high byte, offset to unsigned.
    const std::vector<std::uint8_t> eight = Convert(Signal(Wav(1, 8000, 16, Samples16({-32768, -1, 0, 256, 32767}))),
                                                    kPcm8k8, 5);
    EXPECT_EQ(eight, (std::vector<std::uint8_t>{0, 127, 128, 129, 255}));

    // 8-bit to 16-bit and up-sampling: 4 kHz to 8 kHz puts the midpoints between.
    const std::vector<std::uint8_t> up = Convert(Signal(Wav(1, 4000, 8, {128, 192, 64})), kPcm8k16, 10);
    EXPECT_EQ(At16(up, 0), 0);
    EXPECT_EQ(At16(up, 1), 8192);
    EXPECT_EQ(At16(up, 2), 16384);
    EXPECT_EQ(At16(up, 3), 0);
    EXPECT_EQ(At16(up, 4), -16384);

    // 8 kHz to 11.025 kHz keeps the length in time.
    const InputSignal second = Signal(Wav(1, 8000, 16, Samples16(std::vector<std::int16_t>(8000, 1000))));
    const std::vector<std::uint8_t> longer = Convert(second, kPcm11k16, 2 * 11030);
    EXPECT_EQ(At16(longer, 11023), 1000);
    EXPECT_EQ(At16(longer, 11026), 0);
}

TEST(SignalConverterTest, GsmIsFramePairsInSixtyFiveByteBlocksThatDecodeToTheSignal) {
    std::vector<std::int16_t> tone(1600);
    for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<std::int16_t>(8000 * std::sin(i * 0.3));
    const InputSignal s = Signal(Wav(1, 8000, 16, Samples16(tone)));
    const std::vector<std::uint8_t> encoded = Convert(s, kGsm, 325);

    gsm decoder = gsm_create();
    int on = 1;
    gsm_option(decoder, GSM_OPT_WAV49, &on);
    std::vector<gsm_signal> decoded(1600);
    for (int block = 0; block < 5; ++block) {
        auto* b = const_cast<gsm_byte*>(encoded.data() + 65 * block);
        ASSERT_EQ(gsm_decode(decoder, b, decoded.data() + 320 * block), 0);
        ASSERT_EQ(gsm_decode(decoder, b + 33, decoded.data() + 320 * block + 160), 0);
    }
    gsm_destroy(decoder);
    double dot = 0, a = 0, b = 0;
    for (std::size_t i = 320; i < tone.size(); ++i) {  // past the codec's start-up
        dot += double(tone[i]) * decoded[i];
        a += double(tone[i]) * tone[i];
        b += double(decoded[i]) * decoded[i];
    }
    EXPECT_GT(dot / std::sqrt(a * b), 0.8);
}

// Each GSM fill tells the largest magnitude of the samples it encoded, for
// the meter; the silence after the signal's end is 0; PCM fills tell nothing.
TEST(SignalConverterTest, GsmFillsTellThePeakOfWhatTheyEncode) {
    std::vector<std::int16_t> tone(1600 + 1600 + 650);
    for (std::size_t i = 0; i < tone.size(); ++i) {
        const double amplitude = i < 1600 ? 3000 : i < 3200 ? 12000 : 700;
        tone[i] = static_cast<std::int16_t>(amplitude * std::sin(i * 0.3));
    }
    tone[1600 + 333] = -32768;
    const InputSignal s = Signal(Wav(1, 8000, 16, Samples16(tone)));
    auto loudest = [&](std::size_t from, std::size_t to) {
        std::int32_t peak = 0;
        for (std::size_t i = from; i < to; ++i) peak = std::max(peak, std::abs(std::int32_t{tone[i]}));
        return std::min(peak, 32767);
    };
    SignalConverter gsm(s, kGsm);
    std::vector<std::uint8_t> out(325);
    EXPECT_EQ(gsm.Fill(out.data(), 325), loudest(0, 1600));
    EXPECT_EQ(gsm.Fill(out.data(), 325), 32767);
    EXPECT_EQ(gsm.Fill(out.data(), 130), loudest(3200, 3840)) << "two blocks";
    EXPECT_EQ(gsm.Fill(out.data(), 65), loudest(3840, 3850)) << "the end, then silence";
    EXPECT_EQ(gsm.Fill(out.data(), 325), 0);
    for (const AudioFormat& pcm : {kPcm8k8, kPcm8k16, kPcm11k16}) {
        SignalConverter converter(s, pcm);
        std::vector<std::uint8_t> bytes(1000);
        EXPECT_EQ(converter.Fill(bytes.data(), 1000), -1);
    }
}

TEST(SignalConverterTest, SupportsTheMonoDeviceFormats) {
    EXPECT_TRUE(SignalConverter::Supports(kGsm));
    EXPECT_TRUE(SignalConverter::Supports(kPcm8k8));
    EXPECT_TRUE(SignalConverter::Supports(kPcm11k16));
    EXPECT_FALSE(SignalConverter::Supports({1, 2, 8000, 32000, 4, 16, 0, 0}));
    EXPECT_FALSE(SignalConverter::Supports({1, 1, 8000, 24000, 3, 24, 0, 0}));
    EXPECT_FALSE(SignalConverter::Supports({0x31, 1, 16000, 3250, 65, 0, 2, 320}));
    EXPECT_FALSE(SignalConverter::Supports({3, 1, 8000, 32000, 4, 32, 0, 0}));
}

// --- The input device ----------------------------------------------------------------

// Collects notifications from a device thread; the test waits for them.
class WaitingSink : public WaveSink {
public:
    struct Note {
        std::uint32_t message;
        WaveBuffer* buffer;
        std::uint32_t bytes;
    };
    void notify(std::uint32_t message, WaveBuffer* buffer, std::uint32_t bytes) noexcept override {
        {
            std::lock_guard lock(mutex);
            notes.push_back({message, buffer, bytes});
        }
        arrived.notify_all();
    }
    // Waits until `count` notifications came (a hang guard, not a timing assumption).
    bool WaitFor(std::size_t count) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, std::chrono::seconds(60), [&] { return notes.size() >= count; });
    }
    std::vector<Note> Notes() {
        std::lock_guard lock(mutex);
        return notes;
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Note> notes;
};

class FileWaveInTest : public ::testing::Test {
protected:
    void Load(FileWaveIn& in, const std::vector<std::uint8_t>& image) {
        test::WriteBytes(dir.file("in.wav"), image);
        std::string error;
        ASSERT_TRUE(in.Load(dir.file("in.wav"), error)) << error;
    }

    test::TempDir dir;
    PosixFileSystem files;
    WaitingSink sink;
    std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(3 * 1600);
    WaveBuffer a{memory.data(), 1600, 0, 0}, b{memory.data() + 1600, 1600, 0, 0};
};

TEST_F(FileWaveInTest, RefusesWhatItCannotDo) {
    FileWaveIn in(files);
    EXPECT_FALSE(in.present());
    EXPECT_EQ(in.open(kPcm8k8, sink), mmr::BadDeviceId);
    std::string error;
    EXPECT_FALSE(in.Load(dir.file("missing.wav"), error));
    EXPECT_EQ(error, "cannot open " + dir.file("missing.wav"));
    Load(in, Wav(1, 8000, 8, {1, 2, 3}));
    EXPECT_TRUE(in.present());
    EXPECT_FALSE(in.isFormatSupported({1, 2, 8000, 16000, 2, 8, 0, 0}));
    EXPECT_EQ(in.open({1, 2, 8000, 16000, 2, 8, 0, 0}, sink), mmr::BadFormat);
    ASSERT_EQ(in.open(kPcm8k8, sink), mmr::NoError);
    EXPECT_EQ(in.open(kPcm8k8, sink), mmr::Allocated);
    EXPECT_EQ(in.add(a), mmr::Unprepared);
    ASSERT_EQ(in.prepare(a), mmr::NoError);
    ASSERT_EQ(in.add(a), mmr::NoError);
    EXPECT_EQ(in.add(a), mmr::StillPlaying);
    EXPECT_EQ(in.close(), mmr::StillPlaying) << "a queued buffer must come back first";
    ASSERT_EQ(in.reset(), mmr::NoError);
    ASSERT_EQ(sink.Notes().size(), 1u);
    EXPECT_EQ(sink.Notes()[0].bytes, 0u);
    EXPECT_EQ(in.close(), mmr::NoError);
    EXPECT_EQ(in.close(), mmr::InvalidHandle);
}

TEST_F(FileWaveInTest, DeliversExactlyTheAskedBytesThenHoldsTheBuffersUntilReset) {
    std::vector<std::uint8_t> audio(5000);
    for (std::size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<std::uint8_t>(i * 7);
    std::mutex heldMutex;
    int held = 0;
    FileWaveIn in(files, {false, 4000, [&] {
                              std::lock_guard lock(heldMutex);
                              ++held;
                          }});
    Load(in, Wav(1, 8000, 8, audio));
    ASSERT_EQ(in.open(kPcm8k8, sink), mmr::NoError);
    ASSERT_EQ(in.prepare(a), mmr::NoError);
    ASSERT_EQ(in.prepare(b), mmr::NoError);
    ASSERT_EQ(in.add(a), mmr::NoError);
    ASSERT_EQ(in.add(b), mmr::NoError);
    EXPECT_EQ(in.delivered(), 0u) << "nothing before start";
    ASSERT_EQ(in.start(), mmr::NoError);
    std::vector<std::uint8_t> got;
    for (std::size_t n = 1; n <= 3; ++n) {
        ASSERT_TRUE(sink.WaitFor(n));
        const auto note = sink.Notes()[n - 1];
        EXPECT_EQ(note.message, mm::WimData);
        EXPECT_EQ(note.bytes, n < 3 ? 1600u : 800u);
        EXPECT_EQ(note.buffer->bytesRecorded, note.bytes);
        EXPECT_TRUE(note.buffer->flags & whdr::Done);
        got.insert(got.end(), note.buffer->data, note.buffer->data + note.bytes);
        ASSERT_EQ(in.add(*note.buffer), mmr::NoError);
    }
    EXPECT_EQ(got, std::vector<std::uint8_t>(audio.begin(), audio.begin() + 4000));
    EXPECT_EQ(in.delivered(), 4000u);
    {
        std::lock_guard lock(heldMutex);
        EXPECT_EQ(held, 1);
    }
    ASSERT_EQ(in.reset(), mmr::NoError);
    const auto notes = sink.Notes();
    ASSERT_EQ(notes.size(), 5u) << "the two held buffers come back empty";
    EXPECT_EQ(notes[3].bytes, 0u);
    EXPECT_EQ(notes[4].bytes, 0u);
    EXPECT_EQ(in.close(), mmr::NoError);
}

// Asked for less than a block, the input has nothing to give: it says it is
// held as it starts, rather than leave its listener waiting for ever.
TEST_F(FileWaveInTest, LessThanABlockToDeliverHoldsAtOnce) {
    for (const std::uint64_t asked : {0u, 1u, 64u}) {
        SCOPED_TRACE(asked);
        int held = 0;
        FileWaveIn in(files, {false, asked, [&] { ++held; }});
        Load(in, Wav(1, 8000, 8, std::vector<std::uint8_t>(100, 1)));
        ASSERT_EQ(in.open(kGsm, sink), mmr::NoError);
        ASSERT_EQ(in.prepare(a), mmr::NoError);
        ASSERT_EQ(in.add(a), mmr::NoError);
        ASSERT_EQ(in.start(), mmr::NoError);
        EXPECT_EQ(held, 1);
        ASSERT_EQ(in.reset(), mmr::NoError);
        EXPECT_EQ(in.delivered(), 0u);
        ASSERT_EQ(in.close(), mmr::NoError);
    }
}

// --- The output device ---------------------------------------------------------------

TEST(FileWaveOutTest, WritesPlayedPcmAsAWavFileAndReportsTheClose) {
    test::TempDir dir;
    PosixFileSystem files;
    WaitingSink sink;
    FileWaveOut out(files, dir.file("out.wav"));
    std::vector<std::uint8_t> one(1600, 11), two(1600, 22);
    WaveBuffer a{one.data(), 1600, 0, 0}, b{two.data(), 1600, 0, 0};
    ASSERT_EQ(out.open(kPcm8k8, sink), mmr::NoError);
    EXPECT_EQ(out.write(a), mmr::Unprepared);
    ASSERT_EQ(out.prepare(a), mmr::NoError);
    ASSERT_EQ(out.prepare(b), mmr::NoError);
    ASSERT_EQ(out.write(a), mmr::NoError);
    ASSERT_EQ(out.write(b), mmr::NoError);
    ASSERT_TRUE(sink.WaitFor(2));
    std::uint32_t volume = 0;
    ASSERT_EQ(out.setVolume(0x80008000), mmr::NoError);
    ASSERT_EQ(out.getVolume(volume), mmr::NoError);
    EXPECT_EQ(volume, 0x80008000u);
    ASSERT_EQ(out.close(), mmr::NoError);
    const auto notes = sink.Notes();
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].buffer, &a);
    EXPECT_EQ(notes[1].buffer, &b);
    EXPECT_EQ(notes[2].message, mm::WomClose);
    std::vector<std::uint8_t> expected = Wav(1, 8000, 8, one);
    const std::vector<std::uint8_t> tail = two;
    expected.insert(expected.end(), tail.begin(), tail.end());
    expected[4] = static_cast<std::uint8_t>(36 + 3200);
    expected[5] = static_cast<std::uint8_t>((36 + 3200) >> 8);
    expected[40] = static_cast<std::uint8_t>(3200);
    expected[41] = static_cast<std::uint8_t>(3200 >> 8);
    EXPECT_EQ(test::ReadBytes(dir.file("out.wav")), expected);
}

TEST(FileWaveOutTest, DecodesGsmAndHandsBackWhatIsQueuedAtAReset) {
    test::TempDir dir;
    PosixFileSystem files;
    WaitingSink sink;
    FileWaveOut out(files, dir.file("out.wav"));
    std::vector<std::int16_t> tone(1600);
    for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<std::int16_t>(6000 * std::sin(i * 0.2));
    std::vector<std::uint8_t> gsmBytes = Convert(Signal(Wav(1, 8000, 16, Samples16(tone))), kGsm, 325);
    std::vector<std::uint8_t> second = gsmBytes;
    WaveBuffer a{gsmBytes.data(), 325, 0, 0}, b{second.data(), 325, 0, 0};
    ASSERT_EQ(out.open(kGsm, sink), mmr::NoError);
    ASSERT_EQ(out.prepare(a), mmr::NoError);
    ASSERT_EQ(out.prepare(b), mmr::NoError);
    ASSERT_EQ(out.write(a), mmr::NoError);
    ASSERT_TRUE(sink.WaitFor(1));
    ASSERT_EQ(out.pause(), mmr::NoError);
    ASSERT_EQ(out.write(b), mmr::NoError);  // paused: stays queued
    ASSERT_EQ(out.reset(), mmr::NoError);
    ASSERT_EQ(sink.Notes().size(), 2u);
    EXPECT_EQ(sink.Notes()[1].buffer, &b);
    ASSERT_EQ(out.close(), mmr::NoError);
    const std::vector<std::uint8_t> file = test::ReadBytes(dir.file("out.wav"));
    ASSERT_EQ(file.size(), 44u + 3200u) << "one buffer played: 1600 samples of 16 bits";
    EXPECT_EQ(file[22], 1);                   // mono
    EXPECT_EQ(file[34], 16);                  // 16-bit
    EXPECT_EQ(file[24] | (file[25] << 8), 8000);  // 8 kHz
}

// Whoever waits for the limit is called once, when it has been played, and
// never without a limit or before it.
TEST(FileWaveOutTest, TheLimitCallsOnceWhenItHasBeenPlayed) {
    const struct {
        std::optional<std::uint32_t> limitMs;
        int buffers;  // of 200 ms at 8 kHz 8-bit
        int calls;
        std::uint32_t written;
    } cases[] = {
        {std::nullopt, 3, 0, 4800},
        {1000, 3, 0, 4800},  // beyond what is played
        {400, 3, 1, 3200},   // at the end of the second buffer
        {300, 3, 1, 2400},   // within the second
        {200, 1, 1, 1600},   // with the last buffer there is
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limitMs.value_or(0));
        test::TempDir dir;
        PosixFileSystem files;
        WaitingSink sink;
        FileWaveOut out(files, dir.file("out.wav"));
        std::atomic<int> calls{0};
        out.SetPlayLimit(c.limitMs);
        out.SetOnLimitReached([&] {
            EXPECT_TRUE(out.LimitReached()) << "called before the flag says so";
            ++calls;
        });
        std::vector<std::vector<std::uint8_t>> audio(static_cast<std::size_t>(c.buffers), std::vector<std::uint8_t>(1600, 9));
        std::vector<WaveBuffer> buffers;
        for (auto& a : audio) buffers.push_back(WaveBuffer{a.data(), 1600, 0, 0});
        ASSERT_EQ(out.open(kPcm8k8, sink), mmr::NoError);
        for (WaveBuffer& b : buffers) {
            ASSERT_EQ(out.prepare(b), mmr::NoError);
            ASSERT_EQ(out.write(b), mmr::NoError);
        }
        ASSERT_TRUE(sink.WaitFor(static_cast<std::size_t>(c.buffers)));
        ASSERT_EQ(out.close(), mmr::NoError);
        EXPECT_EQ(calls.load(), c.calls);
        EXPECT_EQ(out.LimitReached(), c.calls > 0);
        EXPECT_EQ(test::ReadBytes(dir.file("out.wav")).size(), 44u + c.written);
    }
}

}  // namespace
}  // namespace tavrin::platform::file
