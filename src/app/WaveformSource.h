#pragma once

#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <QObject>
#include <QTimer>

#include "platform/FileSystem.h"
#include "waveform/PeakJob.h"

namespace tavrin::app {

class WaveformView;

// Finds the peaks of the recording the panel shows on a worker thread and
// hands them to the view as they come; grows the view while a recording is
// made. One worker at a time: showing another recording cancels the last.
class WaveformSource : public QObject {
    Q_OBJECT
public:
    WaveformSource(platform::FileSystem& files, std::string cacheFolder, WaveformView& view);
    ~WaveformSource() override;
    WaveformSource(const WaveformSource&) = delete;
    WaveformSource& operator=(const WaveformSource&) = delete;

    // Shows `path` (empty: nothing). The peaks are found again when the
    // recording changed since they were (another size or time).
    void show(const std::string& path);
    // A recording in progress has reached `lengthMs`, its last block at `levelPercent`.
    void grow(std::uint32_t lengthMs, std::uint32_t levelPercent);
    // Whether a worker is still measuring.
    bool busy() const { return job != nullptr; }

private:
    void poll();
    void stop();

    platform::FileSystem& files;
    const std::string cache;
    WaveformView& view;
    std::string shown;
    std::optional<platform::DirectoryEntry> shownEntry;
    bool growing = false;
    std::unique_ptr<waveform::PeakJob> job;
    std::thread worker;
    QTimer timer;
};

}  // namespace tavrin::app
