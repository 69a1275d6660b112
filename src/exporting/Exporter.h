#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"
#include "wav/WavChunkReader.h"

namespace tavrin::exporting {

// What a recording can be exported as.
enum class ExportFormat { Opus, Flac, Mp3, Wav };

// Opus is tuned for speech: 24 kbit/s mono (variable), at the Opus rate
// nearest above the recording's (8, 12, 16, 24 or 48 kHz).
inline constexpr std::uint32_t kOpusBitsPerSecond = 24'000;

// "opus", "flac", "mp3", "wav": the file ending and the tool's name for it.
std::string_view ExtensionOf(ExportFormat format);
std::optional<ExportFormat> FormatNamed(std::string_view name);
// Whether the libraries on this system can write the format at all.
bool CanWrite(ExportFormat format);

// The copy beside the recording: same folder and name, the format's ending.
std::string DefaultTarget(const std::string& recording, ExportFormat format);
// The file the export is written to until it is whole: hidden, beside the target.
std::string PartialName(const std::string& target);

struct ExportRequest {
    std::string source;  // the recording, only read
    std::string target;  // the finished copy
    ExportFormat format = ExportFormat::Opus;
    std::string title;  // tags: the recording's name
    std::string date;   // and its day, "2024-05-01"
    bool replace = false;  // the user agreed to replace an existing target
};

enum class Outcome {
    Done,
    Cancelled,
    Exists,         // the target is there and may not be replaced
    IsRecording,    // the target is the recording itself
    FolderGone,     // the target's folder does not exist (a card removed ...)
    NoRoom,         // the volume filled up
    Unreadable,     // the recording cannot be read, or is no audio we know
    Unsupported,    // this system cannot write the format
    WriteFailed,    // any other failure to write the copy
};

struct ExportResult {
    Outcome outcome = Outcome::Done;
    int errorNumber = 0;  // the system's, for WriteFailed
};

// The tags of a recording: its name without the ending, and the local day of
// its file time ("2024-05-01"); an unknown time gives no day.
std::string TitleOf(const std::string& recording);
std::string DayOf(std::int64_t secondsSinceEpoch);

// What to tell the user of an outcome, in words; empty for Done and Cancelled.
std::string Describe(const ExportResult& result, const ExportRequest& request);

// One export of a recording. Run() does the work, on whatever thread the
// caller chooses (the window's worker, the tool's main thread); Progress()
// and Cancel() may be called from any other thread meanwhile. The copy is
// written under PartialName(), synced, and only then takes the target's
// name: the target is never a part of a file, and the recording is only read.
class Exporter {
public:
    Exporter(platform::FileSystem& fileSystem, ExportRequest what) : files(fileSystem), request(std::move(what)) {}
    Exporter(const Exporter&) = delete;
    Exporter& operator=(const Exporter&) = delete;

    [[nodiscard]] ExportResult Run();
    void Cancel() { cancelled.store(true, std::memory_order_relaxed); }
    // Thousandths of the recording done so far.
    std::uint32_t Progress() const { return permille.load(std::memory_order_relaxed); }
    const ExportRequest& Request() const { return request; }

private:
    [[nodiscard]] ExportResult Write(const std::string& partial, const wav::WavInfo& info, platform::File& recording);
    [[nodiscard]] ExportResult Publish(const std::string& partial);

    platform::FileSystem& files;
    const ExportRequest request;
    std::atomic<bool> cancelled{false};
    std::atomic<std::uint32_t> permille{0};

    friend class Encoding;
};

}  // namespace tavrin::exporting
