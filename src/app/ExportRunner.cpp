#include "app/ExportRunner.h"

namespace tavrin::app {
namespace {

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

ExportRunner::ExportRunner(platform::FileSystem& fileSystem, platform::Shell& desktop, Notice show)
    : files(fileSystem), shell(desktop), notice(std::move(show)) {
    timer.setInterval(200);
    connect(&timer, &QTimer::timeout, this, &ExportRunner::poll);
}

ExportRunner::~ExportRunner() {
    // A window closed mid-export leaves no part file behind.
    if (!job) return;
    job->Cancel();
    worker.join();
}

bool ExportRunner::start(const std::string& recording, exporting::ExportFormat format) {
    if (job || recording.empty()) return false;
    exporting::ExportRequest request;
    request.source = recording;
    request.target = exporting::DefaultTarget(recording, format);
    request.format = format;
    request.title = exporting::TitleOf(recording);
    if (const auto entry = files.entry(recording)) request.date = exporting::DayOf(entry->modifiedSeconds);
    if (files.exists(request.target)) {
        const std::string question = "\"" + NameOf(request.target) + "\" already exists.\nReplace it?";
        if (shell.messageBox(question, "Tavrin", platform::mb::IconQuestion | platform::mb::YesNo |
                                                      platform::mb::DefButton2) != platform::answer::Yes) {
            return false;
        }
        request.replace = true;
    }
    outcome.reset();
    done.store(false, std::memory_order_relaxed);
    job = std::make_unique<exporting::Exporter>(files, request);
    worker = std::thread([this] {
        result = job->Run();
        done.store(true, std::memory_order_release);
    });
    showProgress();
    timer.start();
    return true;
}

void ExportRunner::cancel() {
    if (job) job->Cancel();
}

void ExportRunner::showProgress() {
    notice("Exporting " + NameOf(job->Request().target) + "  " + std::to_string(job->Progress() / 10) +
           "%  (Back cancels)");
}

void ExportRunner::poll() {
    if (!job) return;
    if (!done.load(std::memory_order_acquire)) {
        showProgress();
        return;
    }
    timer.stop();
    worker.join();
    const exporting::ExportRequest request = job->Request();
    job.reset();
    outcome = result.outcome;
    switch (result.outcome) {
        case exporting::Outcome::Done: notice("Exported " + NameOf(request.target)); break;
        case exporting::Outcome::Cancelled: notice("Export cancelled"); break;
        default:
            notice({});
            shell.messageBox(exporting::Describe(result, request), "Tavrin",
                             platform::mb::IconExclamation | platform::mb::Ok);
            break;
    }
    emit finished();
}

}  // namespace tavrin::app
