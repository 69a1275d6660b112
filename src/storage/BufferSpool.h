#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "storage/ProgressSeal.h"

namespace tavrin::storage {

// On slow media a recording or an edit is collected in memory and reaches its
// file only at the end. So that a killed process loses none of it, the buffer
// is mirrored into a spool beside the edit's journal as it fills, together
// with what the file must hold after it; recovery then writes the spool out
// as the end would have (see Recovery.h).
//
// Its layout is drawn in JournalFormats.h. The fixed part is synced before
// the recording changes: a spool cut short within it is not one, and its
// recording was never touched.
struct BufferImage {
    std::uint32_t point = 0;
    std::vector<std::uint8_t> buffer;
    std::vector<std::uint8_t> tailAudio;
    std::vector<std::uint8_t> trailer;
};

std::string BufferSpoolPathFor(const std::string& journalPath);

class BufferSpool {
public:
    // Makes the spool for a buffer whose bytes belong at `point`, with what
    // follows it; synced before it answers. False when it could not be made
    // (nothing is left behind).
    [[nodiscard]] bool Start(platform::FileSystem& files, const std::string& path, std::uint32_t point,
                             const std::uint8_t* tailAudio, std::uint32_t tailAudioBytes,
                             const std::uint8_t* trailer, std::uint32_t trailerBytes);
    // Makes the spool of a change whose buffer is known whole before it
    // begins (a cut undone): the buffer is written with the rest and counted,
    // and the spool is synced before it answers. It is made before its
    // journal, and locked while held, so that recovery elsewhere never takes
    // it for one a crash left behind; without its journal it is one.
    [[nodiscard]] bool StartWhole(platform::FileSystem& files, const std::string& path, std::uint32_t point,
                                  const std::vector<std::uint8_t>& buffer, const std::vector<std::uint8_t>& tailAudio,
                                  const std::vector<std::uint8_t>& trailer);
    // Mirrors `bytes` stored at buffer offset `offset`, then records `count`
    // as the buffer's length and asks for a sync soon. A spool that cannot
    // follow any more is dropped; the recording goes on without it.
    void Store(std::uint32_t offset, const std::uint8_t* source, std::uint32_t bytes, std::uint32_t count);
    // Records a shorter buffer (audio taken back), sealed before it answers.
    void Shorten(std::uint32_t count);
    // Makes the whole spool reach the medium before the recording changes,
    // so that recovery, should the journal outlive the change, writes the
    // same bytes again. False (the spool is dropped) when the sync failed.
    [[nodiscard]] bool Sync();
    // Closes the spool and removes it.
    void Drop();
    // Closes the spool and leaves it for recovery.
    void Leave();
    bool Active() const { return file != nullptr; }

private:
    platform::FileSystem* files = nullptr;
    std::unique_ptr<platform::File> file;
    std::string path;
    std::uint32_t bufferStart = 0;  // spool offset of the buffer's first byte
    std::uint32_t counted = 0;      // the buffer's length, as last recorded
    // How much of the buffer is surely on the medium, beside the spool
    // (<spool>.seal): the count in the spool may land before the bytes it
    // counts. Null where the platform cannot tell of its syncs.
    std::shared_ptr<ProgressSeal> seal;
    [[nodiscard]] bool Count(std::uint32_t count);  // false: dropped
    void Unseal(platform::FileSystem& files, const std::string& spoolPath);
};

// Reads a spool; nullopt when it is not one or its fixed part is cut short.
// A count beyond the bytes it holds is cut to them; the seal beside it, when
// there is one, names the count instead.
[[nodiscard]] std::optional<BufferImage> ReadBufferSpool(platform::FileSystem& files, const std::string& path);
[[nodiscard]] std::optional<BufferImage> ParseBufferSpool(const std::uint8_t* image, std::size_t size,
                                                          std::optional<std::uint32_t> sealed = std::nullopt);

}  // namespace tavrin::storage
