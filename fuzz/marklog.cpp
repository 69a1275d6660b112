// Feeds arbitrary mark logs (the marks a change moved or added, kept beside
// its journal) to their reader and to recovery of a killed edit, of a
// recording with and without marks after its audio: recovery must finish,
// the audio must stay as it was, the recording must play, and every mark it
// is left with must point into its audio.
//
// The first byte chooses how the rest is used: even, as it is; odd, with the
// checks of the head and of every record made right, so that the fuzzer
// reaches recovery with any change and any marks rather than stopping at the
// checks.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "RecoveryRig.h"
#include "storage/JournalFormats.h"
#include "storage/MarkBook.h"
#include "wav/Digest.h"
#include "wav/Marks.h"

namespace {

using tavrin::fuzz::Bytes;
using tavrin::fuzz::Require;
using tavrin::fuzz::RecoveryRig;

constexpr std::uint32_t kAudioBytes = 1000;
constexpr std::uint32_t kBlocks = kAudioBytes / 2;

// The log with its head and every record sealed as the writer seals them.
Bytes Sealed(Bytes log) {
    using namespace tavrin::storage::kept;
    using tavrin::wav::Fnv1a32;
    if (log.size() < kMarkLogRecordsAt) return log;
    tavrin::wav::StoreLe32(&log[kMarkLogSealAt], Fnv1a32(&log[kMarkLogKindAt], kMarkLogSealAt - kMarkLogKindAt));
    for (std::size_t at = kMarkLogRecordsAt; at + kMarkRecordBytes <= log.size(); at += kMarkRecordBytes)
        tavrin::wav::StoreLe32(&log[at + kMarkSealAt], Fnv1a32(&log[at + kMarkIdAt], kMarkSealAt - kMarkIdAt));
    return log;
}

void CheckParse(const std::uint8_t* data, std::size_t size) {
    const auto log = tavrin::storage::ParseMarkLog(data, size);
    if (!log) return;
    Require(log->added.size() <= tavrin::wav::kMostMarks);
    Require(log->change.scale.samplesPerBlock != 0 && log->change.scale.blockBytes != 0);
    Require(std::is_sorted(log->added.begin(), log->added.end(),
                           [](const auto& a, const auto& b) { return a.block < b.block; }));
}

// The recording, with two marks after its audio when `marked`.
Bytes Recording(bool marked) {
    Bytes file = RecoveryRig::Recording(kAudioBytes);
    if (!marked) return file;
    const tavrin::wav::MarkList marks = {{1, 10, "Mark 1"}, {2, 400, "Mark 2"}};
    const Bytes cues = tavrin::wav::MarkChunks(marks, {1, 2});
    file.insert(file.end(), cues.begin(), cues.end());
    tavrin::wav::StoreLe32(&file[4], static_cast<std::uint32_t>(file.size() - 8));
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrin;
    if (size == 0 || size > (1u << 16)) return 0;
    const Bytes log = data[0] % 2 == 0 ? Bytes(data + 1, data + size) : Sealed(Bytes(data + 1, data + size));
    CheckParse(log.data(), log.size());
    for (const bool marked : {false, true}) {
        RecoveryRig rig;
        const Bytes recording = Recording(marked);
        rig.fs.put(RecoveryRig::kPath, recording);
        const std::string journal = rig.EditJournal(false);
        rig.fs.put(storage::MarkLogPathFor(journal), log);
        rig.RecoverAndCheck(RecoveryRig::kPath);
        const Bytes after = rig.fs.contents(RecoveryRig::kPath).value();
        // The audio is where it was, as long as it was, whatever the log said.
        Require(after.size() >= 44 + kAudioBytes &&
                std::equal(recording.begin() + 8, recording.begin() + 44 + kAudioBytes, after.begin() + 8));
        wav::WavInfo info;
        Require(wav::ParseWavBytes(after.data(), static_cast<std::uint32_t>(after.size()), info) != wav::kParseUnusable);
        for (const wav::Mark& mark : wav::ReadMarks(after.data(), static_cast<std::uint32_t>(after.size()), info))
            Require(mark.block <= kBlocks);
    }
    return 0;
}
