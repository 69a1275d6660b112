#pragma once

#include <string>

#include "storage/Journal.h"

namespace tavrin::storage {

class StorageContext;

// Notes the recording `fileName` is about to be created or changed, under the
// session's claim (made now when there is none); the journal is written and
// synced before it answers. `buffered`: the change is collected in memory and
// reaches the file only at its end (slow media). False when refused (see
// JournalSession::Claim); true, without a journal, when it could not be written.
[[nodiscard]] bool WriteJournalFor(StorageContext& ctx, JournalEntry::Kind kind, const std::string& fileName,
                                   bool buffered);

}  // namespace tavrin::storage
