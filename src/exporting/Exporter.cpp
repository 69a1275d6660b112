#include "exporting/Exporter.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <vector>

#include "exporting/Resampler.h"
#include "exporting/SndfileWriter.h"
#include "wav/SampleDecoder.h"
#include "wav/WavChunkReader.h"

namespace tavrin::exporting {
namespace {

using platform::IoError;

struct FormatName {
    ExportFormat format;
    std::string_view name;
};
constexpr std::array<FormatName, 4> kNames{{
    {ExportFormat::Opus, "opus"},
    {ExportFormat::Flac, "flac"},
    {ExportFormat::Mp3, "mp3"},
    {ExportFormat::Wav, "wav"},
}};

// Samples decoded and written at a time: about a second of 16 kHz audio.
constexpr std::uint32_t kChunkSamples = 16'000;

// The rate Opus is given: the smallest it takes that loses nothing of the recording.
std::uint32_t OpusRate(std::uint32_t rate) {
    for (const std::uint32_t r : {8000u, 12000u, 16000u, 24000u}) {
        if (rate <= r) return r;
    }
    return 48000;
}

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

ExportResult Failure(const IoError& cause) {
    if (cause.kind == IoError::Kind::Full) return {Outcome::NoRoom, 0};
    return {Outcome::WriteFailed, cause.number};
}

}  // namespace

std::string_view ExtensionOf(ExportFormat format) {
    for (const FormatName& n : kNames) {
        if (n.format == format) return n.name;
    }
    return {};
}

std::optional<ExportFormat> FormatNamed(std::string_view name) {
    for (const FormatName& n : kNames) {
        if (n.name == name) return n.format;
    }
    return std::nullopt;
}

bool CanWrite(ExportFormat format) {
    // libsndfile answers for a one-second mono file of each rate we record.
    const int major = format == ExportFormat::Opus   ? SF_FORMAT_OGG | SF_FORMAT_OPUS
                      : format == ExportFormat::Flac ? SF_FORMAT_FLAC | SF_FORMAT_PCM_16
                      : format == ExportFormat::Mp3  ? SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III
                                                     : SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SF_INFO info{};
    info.samplerate = format == ExportFormat::Opus ? 16000 : 22050;
    info.channels = 1;
    info.format = major;
    return sf_format_check(&info) != 0;
}

std::string DefaultTarget(const std::string& recording, ExportFormat format) {
    const std::size_t slash = recording.rfind('/');
    const std::size_t dot = recording.rfind('.');
    const bool hasEnding = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasEnding ? recording.substr(0, dot) : recording) + "." + std::string(ExtensionOf(format));
}

std::string TitleOf(const std::string& recording) {
    std::string name = NameOf(recording);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

std::string DayOf(std::int64_t secondsSinceEpoch) {
    const auto seconds = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm local{};
    if (secondsSinceEpoch <= 0 || !localtime_r(&seconds, &local)) return {};
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", &local);
    return day;
}

std::string PartialName(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    return folder + "." + NameOf(target) + ".part";
}

std::string Describe(const ExportResult& result, const ExportRequest& request) {
    const std::string name = NameOf(request.target);
    switch (result.outcome) {
        case Outcome::Done:
        case Outcome::Cancelled: return {};
        case Outcome::Exists: return "\"" + name + "\" already exists.";
        case Outcome::IsRecording: return "A copy cannot take the place of the recording itself";
        case Outcome::FolderGone: return "The folder for \"" + name + "\" is gone (a card removed?)";
        case Outcome::NoRoom: return "Not enough storage space to export \"" + name + "\"";
        case Outcome::Unreadable: return "The recording cannot be read, so it cannot be exported";
        case Outcome::Unsupported:
            return "This system cannot write " + std::string(ExtensionOf(request.format)) + " files";
        case Outcome::WriteFailed:
            return "\"" + name + "\" could not be written (error " + std::to_string(result.errorNumber) + ")";
    }
    return {};
}

// The audio of one recording, decoded, perhaps resampled, and encoded.
class Encoding {
public:
    // The recording is read a chunk at a time with ordinary reads: an hour
    // mapped whole would hold its 160 MB in memory as it is read.
    Encoding(Exporter& exporter, const wav::WavInfo& format, platform::File& recording)
        : job(exporter), info(format), source(recording) {}

    ExportResult Run(platform::File& file) {
        wav::SampleDecoder decoder(info.formatTag, info.bitsPerSample);
        if (!decoder.Usable()) return {Outcome::Unreadable, 0};
        const bool opus = job.request.format == ExportFormat::Opus;
        const std::uint32_t rate = opus ? OpusRate(info.samplesPerSec) : info.samplesPerSec;
        IoError cause;
        auto writer = SndfileWriter::Open(
            file, {job.request.format, rate, info.channels, job.request.title, job.request.date}, cause);
        if (!writer) return cause.kind != IoError::Kind::None ? Failure(cause) : ExportResult{Outcome::Unsupported, 0};
        Resampler resampler;
        if (rate != info.samplesPerSec && !resampler.Start(info.samplesPerSec, rate, info.channels)) {
            return {Outcome::WriteFailed, 0};
        }
        const std::uint32_t unitBytes = decoder.UnitBytes();
        const std::uint32_t unitsPerChunk = std::max<std::uint32_t>(1, kChunkSamples / decoder.SamplesPerUnit());
        const std::uint32_t units = info.dataLength / unitBytes;
        std::vector<std::int16_t> samples(std::size_t{unitsPerChunk} * decoder.SamplesPerUnit());
        std::vector<std::uint8_t> bytes(std::size_t{unitsPerChunk} * unitBytes);
        std::vector<float> converted;
        for (std::uint32_t done = 0; done < units;) {
            if (job.cancelled.load(std::memory_order_relaxed)) return {Outcome::Cancelled, 0};
            const std::uint32_t take = std::min(unitsPerChunk, units - done);
            if (!platform::ReadAt(source, info.dataStart + done * unitBytes, bytes.data(), take * unitBytes)) {
                return {Outcome::Unreadable, 0};
            }
            const std::uint32_t got = decoder.Decode(bytes.data(), take * unitBytes, samples.data());
            done += take;
            const long frames = static_cast<long>(got / info.channels);
            const bool written = rate == info.samplesPerSec
                                     ? writer->WriteShort(samples.data(), frames)
                                     : resampler.Convert(samples.data(), frames, done == units, converted) &&
                                           writer->WriteFloat(converted.data(),
                                                              static_cast<std::int64_t>(converted.size()) / info.channels);
            if (!written) return Failure(writer->LastError());
            job.permille.store(static_cast<std::uint32_t>(std::uint64_t{done} * 1000 / units), std::memory_order_relaxed);
        }
        if (!writer->Finish()) return Failure(writer->LastError());
        return {Outcome::Done, 0};
    }

private:
    Exporter& job;
    const wav::WavInfo& info;
    platform::File& source;
};

ExportResult Exporter::Run() {
    wav::WavChunkReader source(files);
    if (!source.Open(request.source) || source.Parse() != wav::kParsePlayable || !source.DataStart()) {
        return {Outcome::Unreadable, 0};
    }
    if (!CanWrite(request.format)) return {Outcome::Unsupported, 0};
    // Not even with the user's leave: the copy would be made from the file it replaces.
    if (platform::AbsolutePath(request.target) == platform::AbsolutePath(request.source)) {
        return {Outcome::IsRecording, 0};
    }
    const std::string folder = platform::FolderOf(request.target);
    if (!files.isDirectory(folder)) return {Outcome::FolderGone, 0};
    if (!request.replace && files.exists(request.target)) return {Outcome::Exists, 0};

    const std::string partial = PartialName(request.target);
    const wav::WavInfo info = source.Info();
    source.Close();
    auto recording = files.open(request.source, platform::OpenMode::ReadOnly, false);
    if (!recording) return {Outcome::Unreadable, 0};
    ExportResult result = Write(partial, info, *recording);
    if (result.outcome == Outcome::Done) result = Publish(partial);
    if (result.outcome != Outcome::Done) static_cast<void>(files.remove(partial));
    if (result.outcome == Outcome::Done) permille.store(1000, std::memory_order_relaxed);
    return result;
}

// Encodes into the partial file and makes it reach the medium.
ExportResult Exporter::Write(const std::string& partial, const wav::WavInfo& info, platform::File& recording) {
    auto file = files.open(partial, platform::OpenMode::ReadWriteCreate, false);
    if (!file) {
        if (!files.isDirectory(platform::FolderOf(partial))) return {Outcome::FolderGone, 0};
        return Failure(platform::LastIoError());
    }
    // A part left by an export that was killed starts over.
    if (!file->setLength(0)) return Failure(platform::LastIoError());
    Encoding encoding(*this, info, recording);
    const ExportResult encoded = encoding.Run(*file);
    if (encoded.outcome != Outcome::Done) return encoded;
    if (!file->sync()) return Failure(platform::LastIoError());
    return encoded;
}

// The whole copy takes the target's name. The folder is synced so that the
// name survives a power cut; if that fails the copy is still whole, under
// one name or the other, so the export has worked.
ExportResult Exporter::Publish(const std::string& partial) {
    const bool moved = request.replace ? files.moveReplacing(partial, request.target)
                                       : files.moveNoReplace(partial, request.target);
    if (!moved) {
        if (!request.replace && files.exists(request.target)) return {Outcome::Exists, 0};
        if (!files.isDirectory(platform::FolderOf(request.target))) return {Outcome::FolderGone, 0};
        return Failure(platform::LastIoError());
    }
    static_cast<void>(files.syncFolder(platform::FolderOf(request.target)));
    return {Outcome::Done, 0};
}

}  // namespace tavrin::exporting
