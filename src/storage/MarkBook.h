#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "storage/Journal.h"
#include "wav/Marks.h"

namespace tavrin::storage {

// How a change of a recording moves its marks: the edit it makes of the
// audio, the audio's length before it, and how cue positions map to blocks.
struct MarkChange {
    wav::AudioEdit::Kind kind = wav::AudioEdit::Kind::Append;
    std::uint32_t at = 0;         // block where the edit begins
    std::uint32_t oldLength = 0;  // blocks of audio before the change
    wav::MarkScale scale;
};

// Where the marks are once `change` has left `newLength` blocks of audio:
// the old ones moved as their audio went (an insertion's length is what the
// audio grew by), the new ones `added` where they were made, those beyond
// the audio left out.
[[nodiscard]] wav::MarkList MarksAfterChange(const wav::MarkList& old, const MarkChange& change,
                                             const wav::MarkList& added, std::uint32_t newLength);

// The log of marks a change moves or adds, kept beside its journal
// (`<journal>.marks`): a head that names the change, then one record per new
// mark, each with a check of its own so that a record torn by a crash is
// left out (its layout is drawn in JournalFormats.h). Recovery lays the marks
// out from it once the audio is repaired.
std::string MarkLogPathFor(const std::string& journalPath);
struct MarkLog {
    MarkChange change;
    wav::MarkList added;
};
[[nodiscard]] std::optional<MarkLog> ParseMarkLog(const std::uint8_t* image, std::size_t size);

// The marks of a "cue " chunk among the chunks before the audio of `file`
// (its data starting at `dataStart`): where another program left them. They
// count while no marks follow the audio, as they do for any reader that
// takes the last "cue " chunk of a file; a change that lays out the marks
// after the audio takes them along. Nullopt when they could not be read.
[[nodiscard]] std::optional<wav::MarkList> MarksBeforeAudio(platform::File& file, std::uint32_t dataStart, wav::MarkScale scale,
                                             std::uint32_t lengthInBlocks);

// Lays out the chunks after the audio of `file` (audio from `dataStart` to
// `audioEnd`, the file ending at `fileEnd`) with the marks `place` makes of
// those they hold: every other chunk kept, a pad byte after odd-sized audio,
// the file cut after them and, when `riff`, its RIFF size set. The new end
// of the file, or nullopt when a call failed. Repeatable when the file holds
// the same chunks again.
using PlaceMarks = std::function<wav::MarkList(const wav::MarkList& found)>;
[[nodiscard]] std::optional<std::uint32_t> LayOutMarks(platform::File& file, std::uint32_t dataStart,
                                                       std::uint32_t audioEnd, std::uint32_t fileEnd,
                                                       wav::MarkScale scale, std::uint32_t foundWithin,
                                                       const PlaceMarks& place, bool riff);

// Recovery: when a mark log stands beside `journalPath`, lays out the marks
// of `file` as its change left them (its header exact by now, the chunks
// after its audio those it had before the change). Nothing to do without
// one. Repeatable. False when a call failed.
[[nodiscard]] bool RestoreMarks(platform::FileSystem& files, platform::File& file, const JournalEntry& entry,
                                const std::string& journalPath);

// The marks of the selected recording, and those a change of it moves or
// adds. The UI thread adds marks while the engine thread records, so every
// member takes the book's lock.
class MarkBook {
public:
    MarkBook() = default;
    MarkBook(const MarkBook&) = delete;
    MarkBook& operator=(const MarkBook&) = delete;
    ~MarkBook() { LeaveLog(); }

    // The recording selected or made now holds `marks`, and nothing changes yet.
    void Load(wav::MarkList marks, wav::MarkScale scale, std::uint32_t lengthInBlocks);
    // The marks as the file holds them, with those made since.
    wav::MarkList Marks() const;

    // A change begins (the marks held move as `kind` at `at` says).
    void BeginChange(wav::AudioEdit::Kind kind, std::uint32_t at, std::uint32_t length);
    // The change was taken back before it touched the file.
    void CancelChange();
    // A mark at `block`, named after the next free id; nothing when the list
    // is full. Logged and synced at once while a change is journalled.
    std::optional<wav::Mark> Add(std::uint32_t block);
    // Takes back the mark `id` made since the file was last written.
    void Withdraw(std::uint32_t id);
    // Whether the file's marks differ from those it should hold.
    bool Pending() const;

    // The change's journal is in place: the log goes beside it, synced,
    // when there is anything to log; later marks open it as they come.
    void AttachLog(platform::FileSystem& files, const std::string& journalPath);
    // Lays out the marks in the file at the change's end (see LayOutMarks).
    [[nodiscard]] std::optional<std::uint32_t> SettleIn(platform::File& file, std::uint32_t dataStart,
                                                        std::uint32_t audioEnd, std::uint32_t fileEnd, bool riff);
    // The change is in the file: its marks are the recording's now.
    void Settled();
    // The journal is gone: so goes the log. Its journal stays: so does the log.
    void ForgetLog();
    void LeaveLog();

private:
    bool PendingLocked() const;
    bool OpenLogLocked();
    bool AppendLocked(const wav::Mark& mark);

    mutable std::mutex lock;
    wav::MarkList marks;          // in the file, where they lay before the change
    wav::MarkList added;          // made during the change, where they are in the new audio
    std::size_t settling = 0;     // of `added`, those the running SettleIn laid out
    std::optional<wav::MarkList> placed;  // what SettleIn laid out, the marks once Settled
    std::uint32_t lastId = 0;     // the highest id given: a new mark takes the next
    MarkChange change;
    bool changing = false;
    std::uint32_t length = 0;     // blocks of audio before the change
    platform::FileSystem* files = nullptr;
    std::string logPath;
    std::unique_ptr<platform::File> log;
    std::uint32_t logEnd = 0;
};

}  // namespace tavrin::storage
