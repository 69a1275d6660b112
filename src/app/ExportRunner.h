#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <thread>

#include <QObject>
#include <QTimer>

#include "exporting/Exporter.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"

namespace tavrin::app {

// An export the window runs for the user: it asks before replacing a name,
// works on a thread of its own, shows its progress on the panel's notice
// line, stops when the user presses Back, and says in words why it failed.
class ExportRunner : public QObject {
    Q_OBJECT
public:
    using Notice = std::function<void(const std::string&)>;
    ExportRunner(platform::FileSystem& files, platform::Shell& shell, Notice notice);
    ~ExportRunner() override;
    ExportRunner(const ExportRunner&) = delete;
    ExportRunner& operator=(const ExportRunner&) = delete;

    // Exports `recording` beside itself as `format`. False when an export
    // runs already or the user kept the existing copy.
    bool start(const std::string& recording, exporting::ExportFormat format);
    bool running() const { return job != nullptr; }
    void cancel();
    // The last export's outcome, once it has ended.
    std::optional<exporting::Outcome> lastOutcome() const { return outcome; }

signals:
    void finished();

private:
    void poll();
    void showProgress();

    platform::FileSystem& files;
    platform::Shell& shell;
    Notice notice;
    std::unique_ptr<exporting::Exporter> job;
    exporting::ExportResult result;
    std::atomic<bool> done{false};
    std::optional<exporting::Outcome> outcome;
    std::thread worker;
    QTimer timer;
};

}  // namespace tavrin::app
