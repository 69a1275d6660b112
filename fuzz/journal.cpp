// Feeds arbitrary journals to recovery: the bytes up to the first NUL are the
// journal, the rest is what the file it names holds. Whatever the journal
// says, recovery must not crash, must leave a file it sets aside as it was,
// and must leave a recording it repaired playable.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "RecoveryRig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrin;
    if (size > (1u << 18)) return 0;
    const std::uint8_t* nul = std::find(data, data + size, 0);
    const storage::JournalText text = storage::ParseJournal(data, static_cast<std::size_t>(nul - data));
    if (text.verdict == storage::JournalText::Verdict::Whole) {
        const storage::JournalEntry& e = text.entry;
        // What the checks of a whole journal promise the code that uses it.
        fuzz::Require(e.path[0] == '/' && e.blockAlign > 0 && e.dataChunkPos >= 36);
        fuzz::Require(e.factValuePos == 0 || e.factValuePos + 4 <= e.dataChunkPos);
        if (e.kind == storage::JournalEntry::Kind::Create)
            fuzz::Require(storage::NewRecordingHeader(e, 0).size() == e.dataChunkPos + 8);
    }
    fuzz::RecoveryRig rig;
    const std::string named = text.entry.path;
    const bool placed = !named.empty() && named[0] == '/' && named.find('\0') == std::string::npos &&
                        named.back() != '/' && named.find("/state") != 0;
    if (placed) {
        rig.fs.putFolder(platform::FolderOf(named));
        rig.fs.put(named, fuzz::Bytes(nul == data + size ? nul : nul + 1, data + size));
    }
    rig.fs.put("/state/0000000000000001.journal", fuzz::Bytes(data, nul));
    rig.RecoverAndCheck(placed ? named : std::string(fuzz::RecoveryRig::kPath));
    return 0;
}
