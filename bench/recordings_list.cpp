// The five-second refresh of the recordings list, and the search for the next
// free recording name, on real folders in the temporary directory.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/posix/PosixFileSystem.h"
#include "recordings/Naming.h"
#include "recordings/RecordingList.h"
#include "recordings/StorageLocations.h"

namespace {

namespace fs = std::filesystem;
using tavrin::platform::PosixFileSystem;
using tavrin::recordings::NewRecordingPath;
using tavrin::recordings::RecordingList;
using tavrin::recordings::StorageLocations;

constexpr int kCardRecordings = 10;

// A documents folder and one card, both under a fresh temporary folder.
class FixedShell : public tavrin::platform::Shell {
public:
    FixedShell(std::string documents, std::string card) : docs(std::move(documents)), cardPath(std::move(card)) {}
    int messageBox(const std::string&, const std::string&, unsigned) override { return 1; }
    std::string documentsFolder() override { return docs; }
    std::vector<std::string> storageCards() override { return {cardPath}; }
    bool isFastMedia(const std::string&) override { return true; }  // listing does not ask

private:
    std::string docs, cardPath;
};

class Folder {
public:
    Folder() {
        std::random_device random;
        root = fs::temp_directory_path() / ("tavrin-bench-" + std::to_string(random()));
        fs::create_directories(root / "Documents");
        fs::create_directories(root / "card");
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    std::string documents() const { return (root / "Documents").string(); }
    std::string card() const { return (root / "card").string(); }

private:
    fs::path root;
};

void Touch(const std::string& path) { std::ofstream(path) << "RIFF"; }

void FillWithRecordings(const std::string& folder, int count) {
    for (int n = 1; n <= count; ++n) Touch(folder + "/Recording" + std::to_string(n) + ".wav");
}

void BM_RefreshUnchanged(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Folder folder;
    FillWithRecordings(folder.documents(), count);
    FillWithRecordings(folder.card(), kCardRecordings);
    PosixFileSystem files;
    FixedShell shell(folder.documents(), folder.card());
    StorageLocations locations(shell, files);
    RecordingList list(files);
    if (!list.refresh(locations.list())) state.SkipWithError("first refresh found nothing");
    for (auto _ : state) {
        const bool changed = list.refresh(locations.list());
        benchmark::DoNotOptimize(changed);
        if (changed) state.SkipWithError("nothing changed, yet the refresh reported a change");
    }
    state.counters["files"] = static_cast<double>(list.paths().size());
}

void BM_RefreshOneAdded(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Folder folder;
    FillWithRecordings(folder.documents(), count);
    FillWithRecordings(folder.card(), kCardRecordings);
    PosixFileSystem files;
    FixedShell shell(folder.documents(), folder.card());
    StorageLocations locations(shell, files);
    RecordingList list(files);
    const std::string added = folder.documents() + "/Added.wav";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(added);
        static_cast<void>(list.refresh(locations.list()));
        Touch(added);
        state.ResumeTiming();
        const bool changed = list.refresh(locations.list());
        benchmark::DoNotOptimize(changed);
        if (!changed) state.SkipWithError("a file was added, yet the refresh saw no change");
    }
    state.counters["files"] = static_cast<double>(list.paths().size());
}

void BM_NextFreeName(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Folder folder;
    FillWithRecordings(folder.documents(), count);
    PosixFileSystem files;
    const std::string expected = folder.documents() + "/Recording" + std::to_string(count + 1) + ".wav";
    for (auto _ : state) {
        std::string path = NewRecordingPath(files, folder.documents());
        benchmark::DoNotOptimize(path);
        if (path != expected) state.SkipWithError("wrong free name");
    }
    state.counters["probes"] = count + 1;
}

// What the window does on the UI thread at every selection and FileReady:
// read the selected file's time. Arg 1 asks for the one file, as the window
// does; arg 0 lists its folder and looks for it, as it did before.
void BM_SelectionFileTime(benchmark::State& state) {
    constexpr int kFolderFiles = 10000;
    const bool oneFile = state.range(0) != 0;
    Folder folder;
    FillWithRecordings(folder.documents(), kFolderFiles);
    PosixFileSystem files;
    const std::string selected = folder.documents() + "/Recording5000.wav";
    for (auto _ : state) {
        const auto entry = oneFile ? files.entry(selected) : files.tavrin::platform::FileSystem::entry(selected);
        benchmark::DoNotOptimize(entry);
        if (!entry) state.SkipWithError("the selected file was not found");
    }
    state.counters["folder_files"] = kFolderFiles;
}

}  // namespace

BENCHMARK(BM_SelectionFileTime)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefreshUnchanged)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshOneAdded)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NextFreeName)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
