#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace tavrin::waveform {

// The peaks of one recording, found off the user-interface thread: Run()
// takes them from the cache when it holds this state of the recording, or
// measures them from the file (publishing them as it goes, so that a long
// recording shows at once with the part measured so far) and keeps them in
// the cache. Run() works on one thread; Read(), Cancel() and Finished() may
// be called from any other at the same time.
class PeakJob {
public:
    PeakJob(platform::FileSystem& fileSystem, std::string recording, std::string cacheFolder)
        : files(fileSystem), path(std::move(recording)), cache(std::move(cacheFolder)) {}
    PeakJob(const PeakJob&) = delete;
    PeakJob& operator=(const PeakJob&) = delete;

    void Run();
    void Cancel() { cancelled.store(true, std::memory_order_relaxed); }

    // Appends to `into` the peaks published since it last grew (it holds the
    // first into.size() already) and answers how many the recording has in
    // all (0 until that is known).
    std::uint32_t Read(std::vector<std::uint8_t>& into) const;
    // Every peak is published (or the recording could not be read).
    bool Finished() const { return finished.load(std::memory_order_acquire); }
    // The peaks came from the cache, not from the recording.
    bool FromCache() const { return cached.load(std::memory_order_relaxed); }
    const std::string& Recording() const { return path; }

private:
    void Publish(const std::vector<std::uint8_t>& more, std::uint32_t total);

    platform::FileSystem& files;
    const std::string path;
    const std::string cache;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> cached{false};
    mutable std::mutex lock;          // guards the two below
    std::vector<std::uint8_t> peaks;  // published so far
    std::uint32_t totalBuckets = 0;
};

}  // namespace tavrin::waveform
