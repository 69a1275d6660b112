#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/FileSystem.h"
#include "storage/HeaderReading.h"

namespace tavrin::storage {

// Feeds the strict header reading from a file opened read-only, for tools
// that must be able to look at a recording without any chance of changing it.
// Reads behave as those of a select strategy: one file read per call.
class ReadOnlyHeaderSource : public HeaderSource {
public:
    explicit ReadOnlyHeaderSource(platform::FileSystem& files) : fileSystem(files) {}

    // Opens the existing file read-only and reads its first 8 bytes; FileError
    // when the file cannot be opened or is shorter than that.
    [[nodiscard]] Status Open(const std::string& fileName) override;
    // FileError when the read fails, EndOfData when fewer than n bytes came.
    [[nodiscard]] Status Read(void* destination, std::uint32_t n, std::uint32_t& count) override;
    // Byte by byte; the read point stays just after a byte that differed.
    [[nodiscard]] Status Expect(const void* bytes, std::uint32_t count) override;
    // Refused beyond the end of the file.
    [[nodiscard]] bool SeekTo(std::uint32_t offset) override;
    std::uint32_t ReadPosition() override;

    void Close() { file.reset(); }
    bool IsOpen() const { return file != nullptr; }

private:
    platform::FileSystem& fileSystem;
    std::unique_ptr<platform::File> file;
};

}  // namespace tavrin::storage
