#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Media.h"
#include "platform/Memory.h"
#include "platform/SequenceChecker.h"
#include "platform/Shell.h"
#include "storage/HeaderImage.h"
#include "storage/JournalSession.h"
#include "storage/KeptCut.h"
#include "storage/MarkBook.h"
#include "storage/Status.h"

namespace tavrin::storage {

class Strategy;
class StrategyIdle;
class StrategyCreateFast;
class StrategyCreateSlow;
class StrategySelectFast;
class StrategySelectSlow;
class StrategyInsertFast;
class StrategyInsertSlow;

// Size of the read cache of playback: 32 seconds of the largest format
// (22,050 Hz, 16-bit). Nothing else is bounded by it: recordings and edits,
// insertions included, are bounded by the room on the disk and in memory.
inline constexpr std::uint32_t kReadCacheBytes = 1'411'200;

// Every byte of audio that reaches or leaves a recording file goes through the
// one StorageContext the engine owns. It holds one instance of every strategy
// and forwards each call to `current`. All state lives here; the strategies
// only hold a reference back.
//
// Threads: opening, creating and editing calls come from the UI thread while
// the engine thread is idle; data calls come from the engine thread while a
// device runs. The engine's own state keeps the two apart, so there is no lock;
// a debug check binds the operations to one thread at a time, and the engine
// detaches it where it hands the storage over. The format getters are exempt:
// the format changes only while the UI thread owns the storage.
class StorageContext {
public:
    // Why a Create or an edit was refused before it began, besides the file
    // itself (see JournalSession).
    using Refusal = JournalSession::Refusal;

    StorageContext(platform::FileSystem& files, platform::Memory& memory, const platform::SystemInfo& system,
                   platform::Shell& shell);
    ~StorageContext();
    StorageContext(const StorageContext&) = delete;
    StorageContext& operator=(const StorageContext&) = delete;

    // --- What the engine calls -------------------------------------------
    [[nodiscard]] Status Select(const std::string& fileName, platform::Media media);
    [[nodiscard]] Status Create(const std::string& fileName, std::uint16_t tag, std::uint32_t samplesPerSec,
                                std::uint16_t bitsPerSample, std::uint16_t channels, platform::Media media);
    [[nodiscard]] bool SeekToSample(std::uint32_t block);
    std::uint32_t CurrentReadSample();
    std::uint32_t CurrentWriteSample();
    std::uint32_t SpaceLeft();
    [[nodiscard]] Status BackTrack(std::uint32_t bytes);
    [[nodiscard]] Status WriteData(const std::uint8_t* source, std::uint32_t bytes);
    [[nodiscard]] Status ReadData(std::uint8_t* destination, std::uint32_t bytes);
    [[nodiscard]] bool Append();
    [[nodiscard]] bool Overwrite();
    [[nodiscard]] bool Insert();
    // Takes back an Append, Overwrite or Insert before its first block: the
    // recording is selected again exactly as it was (the file was never changed).
    void CancelEdit();
    [[nodiscard]] Status End();
    [[nodiscard]] Status Close();
    // Writes the marks made while the recording rested or played into its
    // file, journalled as any edit: after a crash the file holds them or not,
    // with every other chunk after its audio. True when nothing waits.
    [[nodiscard]] bool SaveMarks();
    // Removes blocks [from, to) of the selected recording at rest: the audio
    // after them and the chunks after the audio move back, marks inside go
    // and those after move with their audio. Journalled with a spool of what
    // moves, as a buffered insertion is: after a crash the file is the old
    // recording or the cut one, never a mixture. The recording is selected
    // again, at `from`. FileError, nothing changed, for a range that is empty
    // or outside the audio. With `Keep`, what the cut removes is kept in the
    // journal folder so that UndoCut can put it back (see KeptCut).
    enum class Undo { Forgo, Keep };
    [[nodiscard]] Status Cut(std::uint32_t from, std::uint32_t to, Undo undo = Undo::Forgo);
    // Whether the last cut of the selected recording, made with `Keep`, can
    // still be undone: nothing has changed or closed the recording since.
    bool CanUndoCut() const;
    // Puts back exactly what that cut removed, with the chunks the audio had
    // after it, as a buffered insertion whose spool is whole before its
    // journal: after a crash the file is the cut recording or the restored
    // one. The recording is selected again, at the restored audio's start.
    // FileError when the cut cannot be undone, or the file changed since.
    [[nodiscard]] Status UndoCut();

    // --- Format of the recording, answered from the fmt image --------------
    std::uint16_t FormatTag() const;
    std::uint16_t Channels() const;
    std::uint32_t SamplesPerSec() const;
    std::uint32_t AvgBytesPerSec() const;
    std::uint16_t BlockAlign() const;
    std::uint16_t BitsPerSample() const;
    std::uint16_t CbSize() const;
    std::uint16_t SamplesPerBlock() const;
    std::uint32_t LengthInBlocks() const;
    std::uint32_t DataSize() const;

    bool IsIdle() const;
    const Strategy& Current() const { return *current; }
    // The next operation binds the storage to its thread.
    void DetachFromSequence() { sequence.Detach(); }
    // Why the last End, Close or WriteData failed, or an edit was refused: a
    // full volume, a file that may only be read, or another I/O error; None
    // after an End or Close that succeeded.
    platform::IoError FailureCause() const { return failureCause; }
    // Opens the existing file `name` to select it: for reading and writing,
    // or for reading only when writing is refused (`readOnly` tells which).
    [[nodiscard]] std::unique_ptr<platform::File> OpenToSelect(const std::string& name, bool writeThrough);
    // Why the last Create or edit was refused, when it was not for the file
    // itself.
    Refusal LastRefusal() const { return journal.LastRefusal(); }

    // Shows the internal-error report for `className::operation`.
    void ReportInternalError(const char* className, const char* operation);

    // --- State shared by the strategies (fields of the design) --------------
    Strategy* current = nullptr;
    std::unique_ptr<StrategySelectFast> selectFast;
    std::unique_ptr<StrategySelectSlow> selectSlow;
    std::unique_ptr<StrategyIdle> idle;
    std::unique_ptr<StrategyCreateFast> createFast;
    std::unique_ptr<StrategyCreateSlow> createSlow;
    std::unique_ptr<StrategyInsertSlow> insertSlow;
    std::unique_ptr<StrategyInsertFast> insertFast;

    std::unique_ptr<platform::File> fileHandle;
    std::unique_ptr<platform::Mapping> window;          // sliding window of the fast strategies
    std::unique_ptr<platform::Mapping> headerMap;       // a fast recording's header, kept current per block
    std::uint8_t* view = nullptr;
    std::uint8_t* buffer = nullptr;
    std::uint32_t dataEnd = 0;
    std::uint32_t bufferedBytes = 0;
    std::uint32_t fileLimit = 0;
    std::uint32_t bufferCapacity = 0;
    std::uint32_t viewOffset = 0;
    std::uint32_t bufferPos = 0;
    std::uint32_t viewStep = 0;
    std::uint32_t twiceGranularity = 0;
    std::uint32_t viewBase = 0;
    // File offset at which buffer[0] belongs (buffered strategies): 0 for a
    // new recording, the old end of the audio after Append, the playback
    // position after Overwrite, the insertion point during an insertion.
    std::uint32_t bufferBase = 0;
    // Bytes of the selected file after its audio: chunks another program
    // wrote there (or a pad byte). Edits put them behind the new end.
    std::uint32_t trailingBytes = 0;
    // Those chunks, less a pad byte, while a buffered edit holds them in the
    // last bytes of its buffer to write them behind the new end.
    std::uint32_t heldTrailer = 0;
    // The old audio after an insertion's point, held right below those
    // chunks: it follows the inserted audio when the buffer is written.
    std::uint32_t heldTail = 0;
    std::string fileName;
    // The selected file could only be opened for reading (its permissions, a
    // read-only mount): it plays, and every edit of it is refused.
    bool readOnly = false;

    // --- A fast recording being written ---------------------------------------
    // The session has changed the file: it is journalled, reserved ahead and
    // cut back to `dataEnd` when the session ends.
    bool writing = false;
    // Free space of the volume beyond the reservation, as last seen.
    std::uint32_t volumeRoom = 0;
    // The volume refused to give the reservation another step, and why (a
    // volume without room, or the call's failure), for the block that then
    // finds no room.
    bool growthRefused = false;
    platform::IoError growthRefusal;
    // Where an Append or Overwrite found the recording's end: the file stays
    // as it was until the first block of the edit arrives (or its End).
    std::uint32_t editOldEnd = 0;
    std::uint32_t editOldDataSize = 0;

    HeaderImage header;
    // The marks of the selected recording, and those the change of it under
    // way moves or adds. The one member the UI thread may reach while the
    // engine thread records (through its own lock).
    MarkBook marks;
    // What the last cut removed, while it may be undone.
    KeptCut keptCut;
    // The journal of the change under way, and what it keeps beside it: the
    // chunks after the audio while an edit on fast media writes over them,
    // the buffer of a buffered change. Declared after the marks, whose log
    // it keeps.
    JournalSession journal;

    std::unique_ptr<std::uint8_t[]> readCache;  // kReadCacheBytes
    std::uint32_t cacheConsumed = 0;
    std::uint32_t cacheFill = 0;
    std::uint32_t cacheRemainder = 0;
    std::uint32_t cacheCapacity = kReadCacheBytes;

    platform::FileSystem& files;
    platform::Memory& memory;
    const platform::SystemInfo& system;
    platform::Shell& shell;

private:
    [[nodiscard]] Status NoteCause(Status status);
    [[nodiscard]] bool RefuseReadOnly();
    // Claims the selected recording for an edit, runs it, and lets go of a
    // claim the edit did not use.
    [[nodiscard]] bool Claimed(bool (Strategy::*edit)());
    // The current strategy, for an operation of the storage's owner.
    Strategy& Owned();

    platform::IoError failureCause;
    platform::SequenceChecker sequence;
};

}  // namespace tavrin::storage
