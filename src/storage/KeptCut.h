#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace tavrin::storage {

// How a recording's file stood when it was last looked at: enough to tell
// that nothing changed it since (another program, another edit), without
// reading its audio.
struct FilePrint {
    std::optional<platform::FileIdentity> identity;
    std::uint32_t size = 0;
    std::uint32_t digest = 0;  // of the header and of the chunks after the audio
    friend bool operator==(const FilePrint&, const FilePrint&) = default;
};

// The print of `file`, its audio from `dataStart` to `dataEnd`; nullopt when
// it cannot be read.
[[nodiscard]] std::optional<FilePrint> PrintOf(platform::File& file, std::uint32_t dataStart, std::uint32_t dataEnd);

// Where the audio a cut of a recording removed is kept: beside the name of
// the recording's journal, so that recovery removes it once its program has
// ended (see RemoveStrays).
std::string KeptCutPathFor(const std::string& journalPath);

// The audio a cut removed, with the chunks that followed the audio before
// the cut, kept in a file of the state folder until the cut can no longer be
// undone: written and synced before the cut changes the recording, locked
// while this program holds it, removed when it is let go. Its layout is
// drawn in JournalFormats.h.
class KeptCut {
public:
    KeptCut() = default;
    KeptCut(const KeptCut&) = delete;
    KeptCut& operator=(const KeptCut&) = delete;
    // Lets go without removing: recovery takes the file away.
    ~KeptCut() = default;

    // Keeps bytes [at, at + bytes) of `recording` and `chunks` in `path`.
    // False, with nothing left behind, when it could not be made whole.
    [[nodiscard]] bool Keep(platform::FileSystem& files, const std::string& path, platform::File& recording,
                            std::uint32_t at, std::uint32_t bytes, const std::uint8_t* chunks,
                            std::uint32_t chunkBytes);
    // The cut is in the file `recording`, which now looks as `print` says;
    // the removed audio began at block `from`.
    void NoteCutFile(const std::string& recording, const FilePrint& print, std::uint32_t from);

    bool Held() const { return file != nullptr && noted; }
    const std::string& Recording() const { return recording; }
    bool Fits(const FilePrint& now) const { return now == print; }
    std::uint32_t Point() const { return point; }
    std::uint32_t FromBlock() const { return fromBlock; }

    // Reads back the removed audio and the chunks; false when the file no
    // longer holds them.
    [[nodiscard]] bool Read(std::vector<std::uint8_t>& audio, std::vector<std::uint8_t>& chunks) const;
    // The cut can no longer be undone: the file goes.
    void Forget();

private:
    platform::FileSystem* files = nullptr;
    std::unique_ptr<platform::File> file;
    std::string path;
    std::string recording;
    FilePrint print;
    bool noted = false;
    std::uint32_t point = 0;
    std::uint32_t audioBytes = 0;
    std::uint32_t chunkBytes = 0;
    std::uint32_t fromBlock = 0;
};

}  // namespace tavrin::storage
