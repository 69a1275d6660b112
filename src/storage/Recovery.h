#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace tavrin::storage {

// A recording that recovery repaired.
struct RecoveredFile {
    std::string path;
    std::uint32_t lengthMs = 0;  // what plays now
    bool repaired = true;        // false: the repair failed; the journal stays for the next try
    // Where the audio the file could not take yet is kept (a full volume):
    // the spool beside the journal. Empty when nothing waits.
    std::string audioKeptIn;
};

// Repairs every recording that a journal in `journalFolder` names (see
// Journal.h) and that lies in `scope` (files, or folders and what they hold;
// empty: everywhere): the header is finished for the audio the file holds,
// the reserved tail is cut, a new recording's header is written again when a
// crash cut it short, chunks an edit held from after the audio go behind it
// again; then the file is synced and its journal goes.
// Recordings that needed nothing are left out of the answer. Every step can
// be repeated, so an interrupted recovery is simply run again.
std::vector<RecoveredFile> RecoverRecordings(platform::FileSystem& files, const std::string& journalFolder,
                                             const std::vector<std::string>& scope = {});

}  // namespace tavrin::storage
