#pragma once

#include <string>

#include "storage/Journal.h"

namespace tavrin::storage {

class StorageContext;

// Claims the recording `fileName` for a change by this session before
// anything of it is touched (see ClaimJournal), in the context's journal
// folder (none when the folder is not set). False when refused: another
// writer is changing it, or a change of it still waits for recovery; the
// context notes which. True with no claim when none could be made.
[[nodiscard]] bool ClaimJournalFor(StorageContext& ctx, const std::string& fileName);

// Notes the recording `fileName` is about to be created or changed, under the
// session's claim (made now when there is none); the journal is written and
// synced before it answers. `buffered`: the change is collected in memory and
// reaches the file only at its end (slow media). False when refused, as
// ClaimJournalFor is; true, without a journal, when it could not be written.
[[nodiscard]] bool WriteJournalFor(StorageContext& ctx, JournalEntry::Kind kind, const std::string& fileName,
                                   bool buffered);

// Notes in a new recording's journal the file just made for it.
void NoteNewFile(StorageContext& ctx);

// The change is finished and on the medium: its spools go, then the journal,
// then the file of the chunks held from after the audio (which stays when the
// journal could not go). A claim never placed goes too.
void DropJournal(StorageContext& ctx);

// The change could not be settled: its journal, and the spools and chunks it
// kept, stay for recovery; the session lets go of them (and of the lock).
void LeaveJournal(StorageContext& ctx);

}  // namespace tavrin::storage
