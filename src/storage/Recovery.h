#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace tavrin::storage {

// A recording that recovery repaired, or whose journal it set aside.
struct RecoveredFile {
    std::string path;            // the recording; the journal itself when it names none
    std::uint32_t lengthMs = 0;  // what plays now
    bool repaired = true;        // false: the repair failed; the journal stays for the next try
    // Not empty: the file was left as it is and its journal set aside (see
    // SetJournalAside), because of what this says; `repaired` is false.
    std::string setAside;
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
//
// A journal is never trusted further than its file bears it out (see
// JournalMatch.h): one whose fields make no sense, or whose file is not the
// one its change was made to (replaced, a link, a folder), is set aside with
// what it kept and reported once; its file is not touched. A journal that
// names nothing (empty scope) is set aside only in a run over everything.
std::vector<RecoveredFile> RecoverRecordings(platform::FileSystem& files, const std::string& journalFolder,
                                             const std::vector<std::string>& scope = {});

}  // namespace tavrin::storage
