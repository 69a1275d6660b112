#pragma once

#include <cstdint>
#include <string>

#include "platform/FileSystem.h"
#include "storage/Journal.h"

namespace tavrin::storage {

// Whether the file a journal names is the one its change was made to, and
// what the journal kept beside it can belong to that file. Recovery acts on
// nothing else: a journal may be old, cut by a disk error, or name a file
// that was replaced, moved or linked since.
struct JournalMatch {
    enum class Verdict {
        Matches,   // the journal's own file, as the change left it
        Another,   // not its file, or not as any change of its leaves one (`why`)
        Unknown,   // a read failed: nothing can be told now
    };
    Verdict verdict = Verdict::Unknown;
    std::string why;
    std::uint32_t size = 0;  // the file's length, when Matches
};

// Checks `file` (opened by the journal's path, never through a link) against
// `entry`, the journal at `journalPath`. An edit's file must still have the
// header the edit began from (or, for a journal of an earlier version, its
// format and data chunk). The file's identity in the journal proves the file
// is the one the change was made to; without it, or when it differs, what
// the file holds must say so: a new recording holds the header it was given
// (or zeros the crash left there), and no file is a finished recording with
// chunks after its audio that no crash of ours leaves. A different identity
// alone proves nothing: inode numbers do not last a remount on every file
// system (FAT cards, FUSE), nor device numbers a card put in another slot.
JournalMatch MatchJournal(platform::FileSystem& files, platform::File& file, const JournalEntry& entry,
                          const std::string& journalPath);

}  // namespace tavrin::storage
