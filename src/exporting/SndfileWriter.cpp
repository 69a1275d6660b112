#include "exporting/SndfileWriter.h"

#include <sndfile.h>

#include <cstdio>
#include <limits>

namespace tavrin::exporting {
namespace {

using Io = SndfileWriter::Io;

Io& IoOf(void* user) { return *static_cast<Io*>(user); }

void Note(Io& io) {
    if (io.error.kind == platform::IoError::Kind::None) io.error = platform::LastIoError();
    if (io.error.kind == platform::IoError::Kind::None) io.error = {platform::IoError::Kind::Other, 0};
}

sf_count_t Length(void* user) {
    std::uint32_t bytes = 0;
    return IoOf(user).file->size(bytes) ? bytes : -1;
}

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
    Io& io = IoOf(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR) base = io.file->tell();
    if (whence == SEEK_END) base = Length(user);
    const sf_count_t to = base + offset;
    // Our files stay below 4 GiB, as the recordings do.
    if (base < 0 || to < 0 || to > std::numeric_limits<std::uint32_t>::max()) return -1;
    if (!io.file->seek(static_cast<std::uint32_t>(to))) {
        Note(io);
        return -1;
    }
    return to;
}

sf_count_t Read(void* into, sf_count_t bytes, void* user) {
    std::uint32_t got = 0;
    if (bytes < 0 || !IoOf(user).file->read(into, static_cast<std::uint32_t>(bytes), got)) return 0;
    return got;
}

sf_count_t Write(const void* from, sf_count_t bytes, void* user) {
    Io& io = IoOf(user);
    std::uint32_t written = 0;
    if (bytes < 0 || !io.file->write(from, static_cast<std::uint32_t>(bytes), written) ||
        written != static_cast<std::uint32_t>(bytes)) {
        Note(io);
    }
    return written;
}

sf_count_t Tell(void* user) { return IoOf(user).file->tell(); }

int MajorFormat(ExportFormat format) {
    switch (format) {
        case ExportFormat::Opus: return SF_FORMAT_OGG | SF_FORMAT_OPUS;
        case ExportFormat::Flac: return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case ExportFormat::Mp3: return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        case ExportFormat::Wav: return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    }
    return 0;
}

// libsndfile's compression level for Opus: 0 is 256 kbit/s, 1 is 6 kbit/s, linear between.
double OpusLevel() { return (256'000.0 - kOpusBitsPerSecond) / (256'000.0 - 6'000.0); }

}  // namespace

std::unique_ptr<SndfileWriter> SndfileWriter::Open(platform::File& file, const Setup& setup, platform::IoError& cause) {
    std::unique_ptr<SndfileWriter> writer(new SndfileWriter);
    writer->io.file = &file;
    SF_VIRTUAL_IO vio{Length, Seek, Read, Write, Tell};
    SF_INFO info{};
    info.samplerate = static_cast<int>(setup.rate);
    info.channels = setup.channels;
    info.format = MajorFormat(setup.format);
    writer->sndfile = sf_open_virtual(&vio, SFM_WRITE, &info, &writer->io);
    if (!writer->sndfile) {
        cause = writer->io.error;
        return nullptr;
    }
    // Tags go in before the first audio: the Ogg and MP3 headers carry them.
    if (!setup.title.empty()) static_cast<void>(sf_set_string(writer->sndfile, SF_STR_TITLE, setup.title.c_str()));
    if (!setup.date.empty()) static_cast<void>(sf_set_string(writer->sndfile, SF_STR_DATE, setup.date.c_str()));
    if (setup.format == ExportFormat::Opus) {
        double level = OpusLevel();
        static_cast<void>(sf_command(writer->sndfile, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level));
    }
    return writer;
}

SndfileWriter::~SndfileWriter() {
    if (sndfile) sf_close(sndfile);
}

bool SndfileWriter::WriteShort(const std::int16_t* samples, std::int64_t frames) {
    return sf_writef_short(sndfile, samples, frames) == frames && io.error.kind == platform::IoError::Kind::None;
}

bool SndfileWriter::WriteFloat(const float* samples, std::int64_t frames) {
    return sf_writef_float(sndfile, samples, frames) == frames && io.error.kind == platform::IoError::Kind::None;
}

bool SndfileWriter::Finish() {
    const int closed = sf_close(sndfile);
    sndfile = nullptr;
    return closed == 0 && io.error.kind == platform::IoError::Kind::None;
}

}  // namespace tavrin::exporting
