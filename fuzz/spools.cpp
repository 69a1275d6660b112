// Feeds arbitrary spools to their readers and to recovery of a killed edit:
// the first byte chooses the spool (s: an insertion's splice, i: an
// insertion's recorded audio, b: a slow edit's buffer, p: the seal of an edit
// made in place, as a power cut left it), the rest is its bytes. Recovery must
// not crash, must leave the recording alone when it sets the journal aside,
// and must leave one it repaired playable.
#include <cstddef>
#include <cstdint>

#include "RecoveryRig.h"
#include "storage/BufferSpool.h"
#include "storage/ProgressSeal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrin;
    if (size < 1 || size > (1u << 18)) return 0;
    const std::uint8_t* bytes = data + 1;
    const std::size_t n = size - 1;
    if (const auto s = storage::ParseSpliceSpool(bytes, n)) fuzz::Require(s->added.size() + s->tail.size() + 28 == n);
    if (const auto s = storage::ParseInsertSpool(bytes, n)) fuzz::Require(s->added.size() + 16 <= n);
    if (const auto s = storage::ParseBufferSpool(bytes, n))
        fuzz::Require(s->buffer.size() + s->tailAudio.size() + s->trailer.size() + 24 <= n);
    if (const auto s = storage::ParseSeal(bytes, n)) fuzz::Require(s->run.size() < 64);
    fuzz::RecoveryRig rig;
    rig.fs.put(fuzz::RecoveryRig::kPath, fuzz::RecoveryRig::Recording(1000));
    const bool buffered = data[0] == 'b';
    const std::string journal = rig.EditJournal(buffered);
    const std::string spool = buffered          ? storage::BufferSpoolPathFor(journal)
                              : data[0] == 'i' ? storage::InsertSpoolPathFor(journal)
                              : data[0] == 'p' ? storage::SealPathFor(journal)
                                               : storage::SpoolPathFor(journal);
    rig.fs.put(spool, fuzz::Bytes(bytes, bytes + n));
    rig.RecoverAndCheck(fuzz::RecoveryRig::kPath);
    return 0;
}
