#include "app/WaveformSource.h"

#include "app/WaveformView.h"

namespace tavrin::app {

WaveformSource::WaveformSource(platform::FileSystem& fileSystem, std::string cacheFolder, WaveformView& target)
    : files(fileSystem), cache(std::move(cacheFolder)), view(target) {
    // Often enough that a long recording's waveform is seen to fill in.
    timer.setInterval(100);
    connect(&timer, &QTimer::timeout, this, &WaveformSource::poll);
}

WaveformSource::~WaveformSource() { stop(); }

void WaveformSource::stop() {
    timer.stop();
    if (!job) return;
    job->Cancel();
    worker.join();
    job.reset();
}

void WaveformSource::show(const std::string& path) {
    const auto entry = path.empty() ? std::nullopt : files.entry(path);
    const bool same = path == shown && !growing && entry && shownEntry && entry->size == shownEntry->size &&
                      entry->modifiedSeconds == shownEntry->modifiedSeconds &&
                      entry->modifiedNanoseconds == shownEntry->modifiedNanoseconds;
    if (same) return;
    stop();
    shown = path;
    shownEntry = entry;
    growing = false;
    view.model().Reset();
    view.setPositionMs(0);
    view.update();
    if (path.empty() || !entry) return;
    job = std::make_unique<waveform::PeakJob>(files, path, cache);
    worker = std::thread([j = job.get()] { j->Run(); });
    timer.start();
}

void WaveformSource::grow(std::uint32_t lengthMs, std::uint32_t levelPercent) {
    if (!growing) {
        // The recording's file is changing under any measuring: its peaks
        // come from the blocks now, and the file is measured once it is done.
        stop();
        growing = true;
    }
    view.model().Grow(lengthMs, levelPercent);
    view.setPositionMs(lengthMs);
    view.update();
}

void WaveformSource::poll() {
    if (!job) return;
    const bool finished = job->Finished();
    const std::uint32_t total = job->Read(view.model().Peaks());
    view.model().SetTotal(total);
    view.update();
    if (!finished) return;
    timer.stop();
    worker.join();
    job.reset();
}

}  // namespace tavrin::app
