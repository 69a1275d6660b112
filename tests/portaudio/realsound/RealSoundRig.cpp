#include "RealSoundRig.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tavrin::test {
namespace {

constexpr std::size_t kChunkSamples = kPipeRate / 50;  // 20 ms

platform::AudioFormat Pcm(std::uint32_t rate, std::uint16_t bits) {
    return {platform::kFormatTagPcm, 1, rate, rate * bits / 8u, static_cast<std::uint16_t>(bits / 8), bits, 0, 0};
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

std::vector<std::uint8_t> WavBytes(const platform::AudioFormat& f, const std::vector<std::uint8_t>& data) {
    const bool gsm = f.formatTag == platform::kFormatTagGsm;
    std::vector<std::uint8_t> fmt;
    Put16(fmt, f.formatTag);
    Put16(fmt, f.channels);
    Put32(fmt, f.samplesPerSec);
    Put32(fmt, f.avgBytesPerSec);
    Put16(fmt, f.blockAlign);
    Put16(fmt, f.bitsPerSample);
    if (gsm) {
        Put16(fmt, 2);
        Put16(fmt, f.samplesPerBlock);
    }
    std::vector<std::uint8_t> body;
    PutTag(body, "WAVE");
    PutTag(body, "fmt ");
    Put32(body, static_cast<std::uint32_t>(fmt.size()));
    body.insert(body.end(), fmt.begin(), fmt.end());
    if (gsm) {
        PutTag(body, "fact");
        Put32(body, 4);
        Put32(body, static_cast<std::uint32_t>(data.size() / 65 * 320));
    }
    PutTag(body, "data");
    Put32(body, static_cast<std::uint32_t>(data.size()));
    body.insert(body.end(), data.begin(), data.end());
    std::vector<std::uint8_t> file;
    PutTag(file, "RIFF");
    Put32(file, static_cast<std::uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

std::optional<std::vector<std::uint8_t>> DataChunk(const std::vector<std::uint8_t>& wav) {
    for (std::size_t at = 12; at + 8 <= wav.size();) {
        const std::uint32_t size = Get32(wav, at + 4);
        if (std::memcmp(wav.data() + at, "data", 4) == 0) {
            const std::size_t end = std::min<std::size_t>(wav.size(), at + 8 + size);
            return std::vector<std::uint8_t>(wav.begin() + static_cast<std::ptrdiff_t>(at + 8),
                                             wav.begin() + static_cast<std::ptrdiff_t>(end));
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

std::string SoxEncoding(const platform::AudioFormat& f) {
    return f.bitsPerSample == 8 ? "-e unsigned-integer -b 8" : "-e signed-integer -b 16";
}

const std::string kPipeRaw = "-t raw -r 8000 -e signed-integer -b 16 -c 1";

// Mean magnitude over 10 ms windows: the loudness outline of a signal.
std::vector<double> Envelope(const std::vector<std::int16_t>& s) {
    constexpr std::size_t kWindow = kPipeRate / 100;
    std::vector<double> env(s.size() / kWindow);
    for (std::size_t w = 0; w < env.size(); ++w) {
        double sum = 0;
        for (std::size_t i = 0; i < kWindow; ++i) sum += std::abs(double(s[w * kWindow + i]));
        env[w] = sum / kWindow;
    }
    return env;
}

double Pearson(const std::vector<double>& a, const std::vector<double>& b, std::size_t bFrom) {
    const std::size_t n = std::min(a.size(), b.size() - bFrom);
    if (n < 2) return 0;
    double ma = 0, mb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[bFrom + i];
    }
    ma /= double(n);
    mb /= double(n);
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = a[i] - ma;
        const double y = b[bFrom + i] - mb;
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// Waveform correlation of the reference against `recorded` from `offset` on.
double WaveCorrelation(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& rec, std::size_t offset) {
    const std::size_t n = std::min(ref.size(), rec.size() - offset);
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = ref[i];
        const double y = rec[offset + i];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// The same at a fraction of a sample past `offset`, the recording read
// between its samples by linear interpolation.
double WaveCorrelationBetween(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& rec,
                              std::size_t offset, double fraction) {
    const std::size_t n = std::min(ref.size(), rec.size() - offset - 1);
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = ref[i];
        const double y = (1 - fraction) * rec[offset + i] + fraction * rec[offset + i + 1];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

}  // namespace

MicFeeder::MicFeeder(const std::string& pipe) : path(pipe) {
    opened = !path.empty();
    if (opened) worker = std::thread([this] { Run(); });
}

MicFeeder::~MicFeeder() {
    {
        std::lock_guard lock(mutex);
        quitting = true;
    }
    wake.notify_all();
    if (worker.joinable()) worker.join();
}

void MicFeeder::SetActive(bool on) {
    {
        std::lock_guard lock(mutex);
        active = on;
    }
    wake.notify_all();
}

void MicFeeder::Speak(const std::vector<std::int16_t>& samples) {
    std::lock_guard lock(mutex);
    pending = samples;
    next = 0;
}

bool MicFeeder::Speaking() const {
    std::lock_guard lock(mutex);
    return next < pending.size();
}

void MicFeeder::Run() {
    std::ofstream out;
    out.rdbuf()->pubsetbuf(nullptr, 0);
    out.open(path, std::ios::binary);
    if (!out) return;
    std::vector<std::int16_t> chunk(kChunkSamples);
    auto due = std::chrono::steady_clock::now();
    for (;;) {
        {
            std::unique_lock lock(mutex);
            if (!active && !quitting) {
                wake.wait(lock, [this] { return active || quitting; });
                due = std::chrono::steady_clock::now();
            }
            if (quitting) return;
            std::fill(chunk.begin(), chunk.end(), std::int16_t{0});
            const std::size_t n = std::min(kChunkSamples, pending.size() - next);
            std::copy_n(pending.begin() + static_cast<std::ptrdiff_t>(next), n, chunk.begin());
            next += n;
        }
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size() * 2));
        out.flush();
        due += std::chrono::milliseconds(20);
        std::this_thread::sleep_until(due);
    }
}

SpeakerTap::SpeakerTap(const std::string& pipe) : path(pipe) {
    opened = !path.empty();
    if (opened) worker = std::thread([this] { Run(); });
}

SpeakerTap::~SpeakerTap() {
    quitting = true;
    // The sink writes in real time, so the blocked read returns within moments.
    if (worker.joinable()) worker.join();
}

std::size_t SpeakerTap::Mark() const {
    std::lock_guard lock(mutex);
    return heard.size();
}

std::vector<std::int16_t> SpeakerTap::Since(std::size_t mark) const {
    std::lock_guard lock(mutex);
    return {heard.begin() + static_cast<std::ptrdiff_t>(std::min(mark, heard.size())), heard.end()};
}

void SpeakerTap::Run() {
    std::ifstream in;
    in.rdbuf()->pubsetbuf(nullptr, 0);
    in.open(path, std::ios::binary);
    std::vector<std::int16_t> chunk(kChunkSamples / 4);
    while (in && !quitting) {
        in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size() * 2));
        const auto got = static_cast<std::size_t>(in.gcount()) / 2;
        std::lock_guard lock(mutex);
        heard.insert(heard.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    }
}

const std::vector<NamedFormat>& RecordingFormats() {
    static const std::vector<NamedFormat> formats = {
        {"Gsm", {platform::kFormatTagGsm, 1, 8000, 1625, 65, 0, 2, 320}},
        {"Pcm8k8", Pcm(8000, 8)},
        {"Pcm8k16", Pcm(8000, 16)},
        {"Pcm11k8", Pcm(11025, 8)},
        {"Pcm11k16", Pcm(11025, 16)},
        {"Pcm22k16", Pcm(22050, 16)},
    };
    return formats;
}

std::vector<std::uint8_t> WavImage(const platform::AudioFormat& format, const std::vector<std::uint8_t>& data) {
    return WavBytes(format, data);
}

std::optional<platform::AudioFormat> FormatNamed(const std::string& name) {
    for (const auto& f : RecordingFormats()) {
        if (name == f.name) return f.format;
    }
    return std::nullopt;
}

double Match::Share(double least) const {
    if (pieces.empty()) return 0;
    return double(std::count_if(pieces.begin(), pieces.end(), [&](double r) { return r > least; })) /
           double(pieces.size());
}

double Match::Median() const {
    if (pieces.empty()) return 0;
    auto sorted = pieces;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

// A gentle low-pass (5-sample moving average, first null at 1.6 kHz). A
// sound server that resamples may leave the audio a fraction of a sample off
// the reference's grid, which the upper frequencies feel most; speech lives
// mostly below.
std::vector<std::int16_t> Smoothed(const std::vector<std::int16_t>& s) {
    std::vector<std::int16_t> out(s.size());
    long sum = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        sum += s[i];
        if (i >= 5) sum -= s[i - 5];
        out[i] = static_cast<std::int16_t>(sum / 5);
    }
    return out;
}

Match FindIn(const std::vector<std::int16_t>& referenceIn, const std::vector<std::int16_t>& recordedIn) {
    Match match;
    if (referenceIn.empty() || recordedIn.size() < referenceIn.size() / 2) return match;
    const auto reference = Smoothed(referenceIn);
    const auto recorded = Smoothed(recordedIn);
    // The loudness outlines find where the sentence starts to within 10 ms.
    const auto refEnv = Envelope(reference);
    const auto recEnv = Envelope(recorded);
    constexpr long kWindow = kPipeRate / 100;
    std::size_t bestWindow = 0;
    double bestOutline = -1;
    for (std::size_t w = 0; w + refEnv.size() / 2 <= recEnv.size(); ++w) {
        const double r = Pearson(refEnv, recEnv, w);
        if (r > bestOutline) {
            bestOutline = r;
            bestWindow = w;
        }
    }
    match.offset = static_cast<long>(bestWindow) * kWindow;

    constexpr std::size_t kPiece = kPipeRate / 2;
    constexpr double kQuiet = 300;  // pieces of near silence say nothing
    long shift = match.offset;      // where the piece before was found, less its start
    double refEnergy = 0, recEnergy = 0;
    for (std::size_t from = 0; from + kPiece <= reference.size(); from += kPiece) {
        const std::vector<std::int16_t> piece(reference.begin() + static_cast<std::ptrdiff_t>(from),
                                              reference.begin() + static_cast<std::ptrdiff_t>(from + kPiece));
        double sum = 0;
        for (const auto s : piece) sum += double(s) * s;
        if (std::sqrt(sum / kPiece) < kQuiet) continue;
        double best = 0;
        long bestShift = shift;
        for (long d = -2 * kWindow; d <= 40 * kWindow; ++d) {
            const long at = shift + d + static_cast<long>(from);
            if (at < 0 || static_cast<std::size_t>(at) + kPiece > recorded.size()) continue;
            const double r = WaveCorrelation(piece, recorded, static_cast<std::size_t>(at));
            if (r > best) {
                best = r;
                bestShift = shift + d;
            }
        }
        // A server that resamples leaves the audio between the reference's
        // samples; look there too.
        const auto at = static_cast<std::size_t>(bestShift) + from;
        for (const double fraction : {0.25, 0.5, 0.75}) {
            if (at + kPiece + 1 <= recorded.size()) {
                best = std::max(best, WaveCorrelationBetween(piece, recorded, at, fraction));
            }
            if (at >= 1) best = std::max(best, WaveCorrelationBetween(piece, recorded, at - 1, fraction));
        }
        match.pieces.push_back(best);
        if (best > 0.5) {
            shift = bestShift;
            for (std::size_t i = 0; i < kPiece; ++i) {
                const double y = recorded[static_cast<std::size_t>(shift) + from + i];
                refEnergy += double(piece[i]) * piece[i];
                recEnergy += y * y;
            }
        }
    }
    match.level = refEnergy > 0 ? std::sqrt(recEnergy / refEnergy) : 0;
    return match;
}

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<std::int16_t> Samples(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> s(bytes.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return s;
}

std::vector<std::int16_t> SpokenSentence(const std::string& folder) {
    return SpokenText(folder, "Recording a short sentence through the sound server, one two three.", "sentence");
}

std::vector<std::int16_t> SpokenText(const std::string& folder, const std::string& text, const std::string& name) {
    const std::string wav = folder + "/" + name + ".wav";
    const std::string raw = folder + "/" + name + ".raw";
    if (!Run("espeak-ng -w '" + wav + "' '" + text + "'")) return {};
    if (!Run("sox '" + wav + "' " + kPipeRaw + " '" + raw + "' gain -n -3")) return {};
    return Samples(ReadFile(raw));
}

std::optional<std::vector<std::int16_t>> DecodeWithSox(const std::string& folder, const platform::AudioFormat& format,
                                                       const std::vector<std::uint8_t>& bytes) {
    const std::string wav = folder + "/captured.wav";
    const std::string raw = folder + "/captured.raw";
    if (!WriteFile(wav, WavBytes(format, bytes))) return std::nullopt;
    if (!Run("sox '" + wav + "' " + kPipeRaw + " '" + raw + "'")) return std::nullopt;
    return Samples(ReadFile(raw));
}

std::optional<std::vector<std::uint8_t>> EncodeWithSox(const std::string& folder, const platform::AudioFormat& format,
                                                       const std::vector<std::int16_t>& samples) {
    const std::string in = folder + "/source.raw";
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    if (!WriteFile(in, bytes)) return std::nullopt;
    if (format.formatTag == platform::kFormatTagGsm) {
        const std::string out = folder + "/source-gsm.wav";
        if (!Run("sox " + kPipeRaw + " '" + in + "' -e gsm-full-rate -t wav '" + out + "'")) return std::nullopt;
        return DataChunk(ReadFile(out));
    }
    const std::string out = folder + "/source-pcm.raw";
    if (!Run("sox " + kPipeRaw + " '" + in + "' -t raw -r " + std::to_string(format.samplesPerSec) + " " +
             SoxEncoding(format) + " -c 1 '" + out + "'")) {
        return std::nullopt;
    }
    return ReadFile(out);
}

}  // namespace tavrin::test
