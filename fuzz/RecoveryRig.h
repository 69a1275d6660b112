#pragma once

// What the recovery fuzz targets share: an in-memory file system holding a
// journal folder and one recording, the journal of an edit of it, and the
// checks that recovery never changes a file it set aside nor leaves one
// that does not play.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "storage/Journal.h"
#include "storage/Recovery.h"
#include "support/CrashFileSystem.h"
#include "wav/Formats.h"
#include "wav/WavChunkReader.h"

namespace tavrin::fuzz {

using Bytes = std::vector<std::uint8_t>;

inline void Require(bool condition) {
    if (!condition) __builtin_trap();
}

struct RecoveryRig {
    static constexpr const char* kState = "/state";
    static constexpr const char* kPath = "/rec/a.wav";

    test::CrashFileSystem fs{1u << 20};

    RecoveryRig() {
        fs.putFolder("/rec");
        fs.putFolder(kState);
    }

    // A 16-bit recording of 8000 Hz with `audioBytes` of audio.
    static Bytes Recording(std::uint32_t audioBytes) {
        Bytes f(44 + audioBytes, 0);
        const std::uint8_t fmt[] = {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
                                    0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a'};
        std::copy(fmt, fmt + sizeof fmt, f.begin() + 8);
        f[0] = 'R', f[1] = 'I', f[2] = 'F', f[3] = 'F';
        wav::StoreLe32(&f[4], 36 + audioBytes);
        wav::StoreLe32(&f[40], audioBytes);
        for (std::uint32_t i = 0; i < audioBytes; ++i) f[44 + i] = static_cast<std::uint8_t>(i * 7 + 3);
        return f;
    }

    // The journal this version writes for an edit of the recording at kPath.
    std::string EditJournal(bool buffered) {
        storage::JournalEntry e;
        e.kind = storage::JournalEntry::Kind::Edit;
        e.buffered = buffered;
        e.path = kPath;
        e.dataChunkPos = 36;
        e.blockAlign = 2;
        e.avgBytesPerSec = 16000;
        const Bytes file = fs.contents(kPath).value();
        e.start = storage::JournalEntry::Start{storage::HeaderDigest(file.data(), 36, 0), 1000, 1000};
        e.file = fs.open(kPath, platform::OpenMode::ReadOnly, false)->identity();
        const storage::HeldJournal held = storage::WriteJournal(fs, kState, e);
        Require(!held.path.empty());
        return held.path;
    }

    // Runs recovery, then checks: a file left alone is unchanged; one
    // repaired plays; a second run finds nothing more to do unless a repair
    // failed.
    void RecoverAndCheck(const std::string& path) {
        const auto before = fs.contents(path);
        const auto reported = storage::RecoverRecordings(fs, kState);
        bool failed = false;
        for (const auto& r : reported) {
            if (!r.setAside.empty() && r.path == path) Require(fs.contents(path) == before);
            failed = failed || (!r.repaired && r.setAside.empty());
            if (r.repaired && r.path == path) Require(Plays(path));
        }
        if (!failed) Require(storage::RecoverRecordings(fs, kState).empty());
    }

    bool Plays(const std::string& path) {
        const auto bytes = fs.contents(path);
        wav::WavInfo info;
        // Stereo PCM is edited too, though the list does not play it.
        return bytes && wav::ParseWavBytes(bytes->data(), static_cast<std::uint32_t>(bytes->size()), info) !=
                            wav::kParseUnusable;
    }
};

}  // namespace tavrin::fuzz
