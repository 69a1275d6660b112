// Feeds arbitrary trailer files (the chunks an edit held from after a
// recording's audio) to their reader and to recovery of a killed edit: the
// audio must stay as it was and the recording must play, whatever the file holds.
#include <cstddef>
#include <cstdint>

#include "RecoveryRig.h"
#include "storage/TrailingChunks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrin;
    if (size > (1u << 18)) return 0;
    if (const auto saved = storage::ParseTrailerFile(data, size)) fuzz::Require(saved->bytes.size() + 24 == size);
    fuzz::RecoveryRig rig;
    const fuzz::Bytes recording = fuzz::RecoveryRig::Recording(1000);
    rig.fs.put(fuzz::RecoveryRig::kPath, recording);
    const std::string journal = rig.EditJournal(false);
    rig.fs.put(storage::TrailerPathFor(journal), fuzz::Bytes(data, data + size));
    rig.RecoverAndCheck(fuzz::RecoveryRig::kPath);
    const fuzz::Bytes after = rig.fs.contents(fuzz::RecoveryRig::kPath).value();
    // The audio is where it was, as long as it was, whatever followed it.
    fuzz::Require(after.size() >= recording.size() &&
                  std::equal(recording.begin() + 8, recording.end(), after.begin() + 8));
    return 0;
}
