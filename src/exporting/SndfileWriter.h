#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "exporting/Exporter.h"
#include "platform/FileSystem.h"

struct sf_private_tag;  // libsndfile's SNDFILE

namespace tavrin::exporting {

// One encoder of libsndfile writing into a file of ours: the library's
// virtual I/O goes through platform::File, so a full volume or a removed
// card is seen with its cause, and tests can make any write fail.
class SndfileWriter {
public:
    struct Setup {
        ExportFormat format;
        std::uint32_t rate;
        int channels;
        std::string title;
        std::string date;
    };

    // Null when libsndfile refuses the format (LastError() then holds the
    // cause of a failed write, if one caused it).
    static std::unique_ptr<SndfileWriter> Open(platform::File& file, const Setup& setup, platform::IoError& cause);
    ~SndfileWriter();
    SndfileWriter(const SndfileWriter&) = delete;
    SndfileWriter& operator=(const SndfileWriter&) = delete;

    [[nodiscard]] bool WriteShort(const std::int16_t* samples, std::int64_t frames);
    [[nodiscard]] bool WriteFloat(const float* samples, std::int64_t frames);
    // Finishes the encoding (last pages, headers); false when that failed.
    [[nodiscard]] bool Finish();
    // The cause of the first failed write or seek.
    platform::IoError LastError() const { return io.error; }

    // The file as libsndfile sees it, and the first failure it met.
    struct Io {
        platform::File* file = nullptr;
        platform::IoError error;
    };

private:
    SndfileWriter() = default;
    Io io;
    sf_private_tag* sndfile = nullptr;
};

}  // namespace tavrin::exporting
