// Recovery at start-up: with 1,000 recordings in the folder and none left
// unfinished (what every normal start pays), and with one 60-minute PCM
// 22 kHz 16-bit recording that a kill left with its reserved tail.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixMemory.h"
#include "platform/posix/StderrShell.h"
#include "storage/Recovery.h"
#include "storage/StorageContext.h"

namespace {

using tavrin::storage::Status;

struct Folder {
    Folder() {
        std::filesystem::create_directories(recordings);
        std::filesystem::create_directories(state);
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::filesystem::path root = std::filesystem::temp_directory_path() / "tavrin-bench-recovery";
    std::filesystem::path recordings = root / "Documents";
    std::filesystem::path state = root / "state";
    tavrin::platform::PosixFileSystem files;
};

void BM_RecoveryNothingToRepair1000Recordings(benchmark::State& state) {
    Folder folder;
    const std::vector<char> wav(44 + 16'000, 1);
    for (int i = 1; i <= 1000; ++i) {
        std::ofstream out(folder.recordings / ("Recording" + std::to_string(i) + ".wav"), std::ios::binary);
        out.write(wav.data(), static_cast<std::streamsize>(wav.size()));
    }
    for (auto _ : state) {
        const auto repaired = tavrin::storage::RecoverRecordings(folder.files, folder.state.string());
        if (!repaired.empty()) state.SkipWithError("repaired something");
    }
}
BENCHMARK(BM_RecoveryNothingToRepair1000Recordings)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A 60-minute recording whose program was killed: header current, about a
// minute of reserved zeros after the audio, the journal still there.
void BM_RecoveryOneKilled60MinRecording(benchmark::State& state) {
    Folder folder;
    constexpr std::uint32_t kHourBytes = 60u * 60u * 44'100u;
    const std::vector<std::uint8_t> audio(8820, 0x35);
    const std::string path = (folder.recordings / "Recording1.wav").string();
    tavrin::platform::PosixSystemInfo system;
    tavrin::platform::PosixMemory memory;
    tavrin::platform::StderrShell shell;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        {
            tavrin::storage::StorageContext ctx(folder.files, memory, system, shell);
            ctx.journal.SetFolder(folder.state.string());
            bool ok = ctx.Create(path, 1, 22050, 16, 1, tavrin::platform::Media::Fast) == Status::Ok;
            for (std::uint32_t n = 0; ok && n + audio.size() <= kHourBytes; n += 8820)
                ok = ctx.WriteData(audio.data(), 8820) == Status::Ok;
            if (!ok) state.SkipWithError("recording failed");
        }  // dropped without End, as a kill leaves it
        state.ResumeTiming();
        const auto repaired = tavrin::storage::RecoverRecordings(folder.files, folder.state.string());
        if (repaired.size() != 1 || !repaired[0].repaired) state.SkipWithError("not repaired");
    }
}
BENCHMARK(BM_RecoveryOneKilled60MinRecording)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
