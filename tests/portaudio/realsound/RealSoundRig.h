#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/WaveDevice.h"

namespace tavrin::test {

// The rate and sample format of the test sound server's microphone and
// speaker pipes: 8000 Hz, signed 16-bit little-endian, mono.
inline constexpr std::uint32_t kPipeRate = 8000;

// Plays into the sound server's microphone pipe in real time, 20 ms at a
// time, while a recording runs: silence, and a recording of speech when asked.
// The server reads the pipe only while something records, so the feeder
// writes only then; otherwise the pipe would fill and the writes block.
class MicFeeder {
public:
    explicit MicFeeder(const std::string& pipe);
    ~MicFeeder();
    MicFeeder(const MicFeeder&) = delete;
    MicFeeder& operator=(const MicFeeder&) = delete;

    bool ok() const { return opened; }
    // Whether a recording runs and the pipe is read.
    void SetActive(bool active);
    // Starts `samples` with the next 20 ms; silence again once they are through.
    void Speak(const std::vector<std::int16_t>& samples);
    bool Speaking() const;

private:
    void Run();

    bool opened = false;
    std::string path;
    mutable std::mutex mutex;
    std::vector<std::int16_t> pending;
    std::size_t next = 0;
    bool active = false;
    bool quitting = false;
    std::condition_variable wake;
    std::thread worker;
};

// Reads what the sound server's speaker plays, continuously, so that a test
// can take what arrived after a moment it marked.
class SpeakerTap {
public:
    explicit SpeakerTap(const std::string& pipe);
    ~SpeakerTap();
    SpeakerTap(const SpeakerTap&) = delete;
    SpeakerTap& operator=(const SpeakerTap&) = delete;

    bool ok() const { return opened; }
    std::size_t Mark() const;
    std::vector<std::int16_t> Since(std::size_t mark) const;

private:
    void Run();

    bool opened = false;
    std::string path;
    mutable std::mutex mutex;
    std::vector<std::int16_t> heard;
    std::atomic<bool> quitting{false};
    std::thread worker;
};

// The six recording formats as a device is opened with them.
struct NamedFormat {
    const char* name;
    platform::AudioFormat format;
};
const std::vector<NamedFormat>& RecordingFormats();
inline void PrintTo(const NamedFormat& format, std::ostream* out) { *out << format.name; }

// How well `recorded` holds `reference` somewhere. The reference is taken in
// half-second pieces, each looked for near where the one before it was
// found, so that a short gap (a machine too busy to feed the sound server in
// time) spoils one piece and not everything after it.
struct Match {
    std::vector<double> pieces;  // normalised correlation of each audible piece
    long offset = 0;             // where the reference starts in `recorded`
    double level = 0;            // loudness of the matched audio against the reference
    // The share of pieces that correlate better than `least`.
    double Share(double least) const;
    double Median() const;
};
Match FindIn(const std::vector<std::int16_t>& reference, const std::vector<std::int16_t>& recorded);

// A mono WAV file image of device bytes in `format` (GSM with its fact chunk).
std::vector<std::uint8_t> WavImage(const platform::AudioFormat& format, const std::vector<std::uint8_t>& data);
// The format a short name stands for (the names of RecordingFormats()).
std::optional<platform::AudioFormat> FormatNamed(const std::string& name);

// sox and espeak-ng, run as a person would run them.
bool Run(const std::string& command);
std::vector<std::uint8_t> ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::int16_t> Samples(const std::vector<std::uint8_t>& bytes);
// A spoken sentence at the pipe rate, or empty when espeak-ng or sox failed.
std::vector<std::int16_t> SpokenSentence(const std::string& folder);
// `text` spoken at the pipe rate (files named after `name` in `folder`).
std::vector<std::int16_t> SpokenText(const std::string& folder, const std::string& text, const std::string& name);
// Device bytes in `format` as a WAV file (GSM with its fact chunk), decoded by
// sox to the pipe rate.
std::optional<std::vector<std::int16_t>> DecodeWithSox(const std::string& folder, const platform::AudioFormat& format,
                                                       const std::vector<std::uint8_t>& bytes);
// Pipe-rate samples converted by sox into the device bytes of `format`.
std::optional<std::vector<std::uint8_t>> EncodeWithSox(const std::string& folder, const platform::AudioFormat& format,
                                                       const std::vector<std::int16_t>& samples);

}  // namespace tavrin::test
