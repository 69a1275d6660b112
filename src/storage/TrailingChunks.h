#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Memory.h"
#include "storage/Journal.h"

namespace tavrin::storage {

// What another program wrote after a recording's audio (LIST, id3, JUNK …,
// with the pad byte RIFF puts after odd-sized audio). An edit on fast media
// writes its audio straight over them, so they are taken into memory and,
// where journals are kept, into a trailer file beside the journal, before the
// edit may change the file; when it ends they go behind the new end of the
// audio. The trailer file is whole and synced before the journal is written,
// and removed after it, so a journal never goes with a torn one.
class TrailingChunks {
public:
    // Chunks larger than this are not held: an edit of their file is refused.
    static constexpr std::uint32_t kMaxBytes = 4u << 20;

    TrailingChunks() = default;
    ~TrailingChunks() { LetGo(); }
    TrailingChunks(const TrailingChunks&) = delete;
    TrailingChunks& operator=(const TrailingChunks&) = delete;

    // Takes the `bytes` bytes at `audioEnd` of `file`, whose audio starts at
    // `dataStart`. False, holding nothing, when there are too many, memory is
    // refused or the read fails.
    [[nodiscard]] bool Take(platform::File& file, platform::Memory& memory, std::uint32_t dataStart,
                            std::uint32_t audioEnd, std::uint32_t bytes);
    // Writes and syncs them to `path`; false (the file removed) when it could
    // not be made whole.
    [[nodiscard]] bool Save(platform::FileSystem& files, const std::string& path);

    bool Held() const { return data != nullptr; }
    std::uint32_t TakenAt() const { return audioEnd; }
    // The most bytes they take behind the audio, pad byte included.
    std::uint32_t MostRoom() const { return Held() ? size + 1 : 0; }
    // Writes them behind audio that now ends at `end`: the file's new length,
    // or nullopt when a write failed. Nothing held: `end`.
    [[nodiscard]] std::optional<std::uint32_t> PutBack(platform::File& file, std::uint32_t end) const;

    // Frees the memory; a trailer file stays for recovery.
    void LetGo();
    // Frees the memory and removes the trailer file.
    void Forget(platform::FileSystem& files);

private:
    platform::Memory* memory = nullptr;
    std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    std::uint32_t dataStart = 0;
    std::uint32_t audioEnd = 0;
    std::string savedAt;
    // Holds the saved file's lock while the edit runs: a recovery in another
    // process never takes it for a stray before its journal is in place.
    std::unique_ptr<platform::File> lock;
};

// Where the bytes taken at `takenAt` go behind audio that ends at `end`
// (audio starting at `dataStart`): unchanged when the audio ends where it did;
// otherwise a pad byte after odd-sized audio, then the chunks without the pad
// byte they had.
struct TrailerPlacement {
    std::uint32_t pad = 0;   // zero bytes written first
    std::uint32_t skip = 0;  // leading bytes of the held ones left out
};
TrailerPlacement PlaceTrailer(const std::uint8_t* bytes, std::uint32_t size, std::uint32_t dataStart,
                              std::uint32_t takenAt, std::uint32_t end);

// A trailer file as saved: where the chunks lay and their bytes; nullopt
// when it is torn.
struct SavedTrailer {
    std::uint32_t takenAt = 0;
    std::vector<std::uint8_t> bytes;
};
[[nodiscard]] std::optional<SavedTrailer> ParseTrailerFile(const std::uint8_t* image, std::size_t size);

// Recovery, once the header of `entry`'s file is exact: where its audio
// ends. `failed` when the file cannot be read or claims more than it holds;
// no `end` when it is not the journal's recording, which is left alone.
struct RecoveredAudio {
    bool failed = false;
    std::optional<std::uint32_t> end;
};
[[nodiscard]] RecoveredAudio RecoveredAudioEnd(platform::File& file, const JournalEntry& entry);

// Recovery: puts the chunks of an edit's trailer file back behind the audio
// that `entry`'s file now holds (its header already exact), and the RIFF size
// after them. Nothing to do when there is no whole trailer file. Repeatable.
// False when a call failed.
[[nodiscard]] bool RestoreTrailingChunks(platform::FileSystem& files, platform::File& file, const JournalEntry& entry,
                                         const std::string& journalPath);

}  // namespace tavrin::storage
