// Feeds arbitrary mark logs (the marks a change moved or added, kept beside
// its journal) to their reader and to recovery of a killed edit, of a
// recording with and without marks after its audio: recovery must finish,
// the audio must stay as it was, the recording must play, and every mark it
// is left with must point into its audio.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "RecoveryRig.h"
#include "storage/MarkBook.h"
#include "wav/Marks.h"

namespace {

using tavrin::fuzz::Bytes;
using tavrin::fuzz::Require;
using tavrin::fuzz::RecoveryRig;

constexpr std::uint32_t kAudioBytes = 1000;
constexpr std::uint32_t kBlocks = kAudioBytes / 2;

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
    if (size > (1u << 16)) return 0;
    CheckParse(data, size);
    for (const bool marked : {false, true}) {
        RecoveryRig rig;
        const Bytes recording = Recording(marked);
        rig.fs.put(RecoveryRig::kPath, recording);
        const std::string journal = rig.EditJournal(false);
        rig.fs.put(storage::MarkLogPathFor(journal), Bytes(data, data + size));
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
