#include "storage/ReadOnlyHeaderSource.h"

#include <array>

namespace tavrin::storage {

Status ReadOnlyHeaderSource::Open(const std::string& fileName) {
    file = fileSystem.open(fileName, platform::OpenMode::ReadOnly, false);
    if (!file) return Status::FileError;
    std::array<std::uint8_t, 8> riff{};
    std::uint32_t got = 0;
    if (Read(riff.data(), static_cast<std::uint32_t>(riff.size()), got) != Status::Ok) {
        file.reset();
        return Status::FileError;
    }
    return Status::Ok;
}

Status ReadOnlyHeaderSource::Read(void* destination, std::uint32_t n, std::uint32_t& count) {
    count = 0;
    if (!file) return Status::FileError;
    if (!file->read(destination, n, count)) return Status::FileError;
    return count < n ? Status::EndOfData : Status::Ok;
}

Status ReadOnlyHeaderSource::Expect(const void* bytes, std::uint32_t count) {
    const auto* expected = static_cast<const std::uint8_t*>(bytes);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t byte = 0;
        std::uint32_t got = 0;
        if (Read(&byte, 1, got) != Status::Ok || byte != expected[i]) return Status::FileError;
    }
    return Status::Ok;
}

bool ReadOnlyHeaderSource::SeekTo(std::uint32_t offset) {
    std::uint32_t bytes = 0;
    if (!file || !file->size(bytes) || offset > bytes) return false;
    return file->seek(offset);
}

std::uint32_t ReadOnlyHeaderSource::ReadPosition() { return file ? file->tell() : 0; }

}  // namespace tavrin::storage
