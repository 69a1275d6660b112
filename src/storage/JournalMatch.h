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
// `entry`, the journal at `journalPath`. With the file's identity in the
// journal, the identity decides, and for an edit also the header it began
// from; a journal of an earlier version, or a new recording's journal
// written before its file existed, is checked by what the file holds: a new
// recording holds the header it was given (or zeros the crash left there), an
// edit's file has the format and data chunk it recorded, and neither is a
// finished recording with chunks after its audio that no crash of ours left.
JournalMatch MatchJournal(platform::FileSystem& files, platform::File& file, const JournalEntry& entry,
                          const std::string& journalPath);

}  // namespace tavrin::storage
