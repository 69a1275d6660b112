#include "storage/HeaderReading.h"

#include <cstring>

namespace tavrin::storage {
namespace {

// Reads exactly `n` bytes; anything less is a header that is not there.
Status ReadExactly(HeaderSource& source, void* destination, std::uint32_t n) {
    std::uint32_t count = 0;
    const Status status = source.Read(destination, n, count);
    if (status == Status::Ok && count == n) return Status::Ok;
    return Status::FileError;
}

bool PcmRecordAcceptable(const HeaderImage& image) {
    const std::uint16_t channels = image.Channels();
    const std::uint16_t bits = image.BitsPerSample();
    if (channels != 1 && channels != 2) return false;
    // Storage and engine divide by bits / 8 and by the rate: anything else
    // would be a division by zero or a read cache that never ends.
    if (bits != 8 && bits != 16) return false;
    if (image.SamplesPerSec() == 0 || image.FmtSize() < 16) return false;
    const std::uint64_t avg = std::uint64_t{image.SamplesPerSec()} * bits * channels / 8;
    return image.AvgBytesPerSec() == avg && image.BlockAlign() == bits * channels / 8;
}

bool GsmRecordAcceptable(const HeaderImage& image) {
    return image.Channels() == 1 && image.AvgBytesPerSec() == 1625 && image.BlockAlign() == wav::kGsmBlockBytes &&
           image.SamplesPerSec() != 0 && image.FmtSize() >= 20;
}

bool FormatAcceptable(const HeaderImage& image) {
    if (std::memcmp(image.fmt.data(), "fmt ", 4) != 0) return false;
    switch (image.FormatTag()) {
        case wav::kTagPcm: return PcmRecordAcceptable(image);
        case wav::kTagGsm: return GsmRecordAcceptable(image);
        default: return false;
    }
}

// The GSM extra fields and the optional fact chunk that follows them. A file
// without a fact chunk has no block count to keep up to date: factValuePos 0.
Status ReadGsmExtras(HeaderSource& source, HeaderImage& image, std::uint32_t fmtStart) {
    if (ReadExactly(source, &image.fmt[24], 4) != Status::Ok) return Status::FileError;
    if (source.Expect("fact", 4) == Status::Ok) {
        if (ReadExactly(source, &image.factScratch, 4) != Status::Ok) return Status::FileError;
        image.factValuePos = source.ReadPosition();
        return ReadExactly(source, &image.factScratch, 4);
    }
    const std::uint64_t fmtEnd = std::uint64_t{fmtStart} + 8 + image.FmtSize();
    if (fmtEnd > UINT32_MAX || !source.SeekTo(static_cast<std::uint32_t>(fmtEnd))) return Status::FileError;
    return Status::Ok;
}

}  // namespace

Status ReadHeaderStrict(HeaderSource& source, const std::string& fileName, HeaderImage& image) {
    if (fileName.empty()) return Status::InternalError;
    if (source.Open(fileName) != Status::Ok) return Status::FileError;
    if (source.Expect("WAVE", 4) != Status::Ok) return Status::FileError;
    const std::uint32_t fmtStart = source.ReadPosition();
    image.factValuePos = 0;
    image.fmt.fill(0);
    if (ReadExactly(source, image.fmt.data(), 24) != Status::Ok) return Status::FileError;
    if (image.IsGsm() && ReadGsmExtras(source, image, fmtStart) != Status::Ok) return Status::FileError;
    if (!FormatAcceptable(image)) return Status::FileError;
    image.dataChunkPos = source.ReadPosition();
    if (ReadExactly(source, image.data.data(), 8) != Status::Ok) return Status::FileError;
    // Whatever else stands here (a longer fmt record, a LIST chunk) would be
    // taken for the data header and played as audio, and a later Append
    // would write its sizes into that chunk.
    if (std::memcmp(image.data.data(), "data", 4) != 0) return Status::FileError;
    return Status::Ok;
}

}  // namespace tavrin::storage
