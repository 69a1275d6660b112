// tavrin-cli export: a copy of a recording in a format to send or keep,
// written whole under a temporary name and renamed when complete.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "cli/Commands.h"
#include "cli/Session.h"
#include "exporting/Exporter.h"
#include "platform/posix/PosixFileSystem.h"

namespace tavrin::cli {
namespace {

using exporting::ExportFormat;

constexpr const char* kUsage = "export FILE [--to opus|flac|mp3|wav] [-o OUT] [--progress] [--replace]";

struct ExportArgs {
    std::string file;
    ExportFormat format = ExportFormat::Opus;
    std::optional<std::string> out;
    bool progress = false;
    bool replace = false;
};

std::optional<std::string> ParseArgs(const Arguments& args, ExportArgs& a) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--to") {
            const auto format = i + 1 < args.size() ? exporting::FormatNamed(args[++i]) : std::nullopt;
            if (!format) return "--to takes opus, flac, mp3 or wav";
            a.format = *format;
        } else if (arg == "-o" || arg == "--output") {
            if (i + 1 >= args.size()) return arg + " needs a file name";
            a.out = args[++i];
        } else if (arg == "--progress") {
            a.progress = true;
        } else if (arg == "--replace") {
            a.replace = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return "unknown option '" + arg + "'";
        } else if (a.file.empty()) {
            a.file = arg;
        } else {
            return "only one FILE can be exported at a time";
        }
    }
    if (a.file.empty()) return "FILE is missing";
    return std::nullopt;
}

int UsageError(const std::string& text) {
    std::fprintf(stderr, "tavrin-cli export: %s\nUsage: tavrin-cli %s\n", text.c_str(), kUsage);
    return kExitUsage;
}

// Runs the export on a thread of its own while this one shows the progress
// and passes Ctrl-C on as a cancel.
exporting::ExportResult RunWatched(exporting::Exporter& job, bool progress) {
    exporting::ExportResult result;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        result = job.Run();
        finished.store(true, std::memory_order_release);
    });
    std::uint32_t shown = 101;
    while (!finished.load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (interrupted.load()) job.Cancel();
        const std::uint32_t percent = job.Progress() / 10;
        if (progress && percent != shown) {
            shown = percent;
            std::fprintf(stderr, "%u%%\n", percent);
        }
    }
    worker.join();
    if (progress && result.outcome == exporting::Outcome::Done && shown != 100) std::fprintf(stderr, "100%%\n");
    return result;
}

int RunExport(const Arguments& args) {
    ExportArgs a;
    if (auto error = ParseArgs(args, a)) return UsageError(*error);
    if (!RepairBeforeUse("export", a.file)) return kExitFailure;
    platform::PosixFileSystem files;
    exporting::ExportRequest request;
    request.source = a.file;
    request.target = a.out.value_or(exporting::DefaultTarget(a.file, a.format));
    request.format = a.format;
    request.title = exporting::TitleOf(a.file);
    if (const auto entry = files.entry(a.file)) request.date = exporting::DayOf(entry->modifiedSeconds);
    request.replace = a.replace;
    CatchInterrupt();
    exporting::Exporter job(files, request);
    const exporting::ExportResult result = RunWatched(job, a.progress);
    if (result.outcome == exporting::Outcome::Done) {
        std::printf("%s\n", request.target.c_str());
        return kExitOk;
    }
    if (result.outcome == exporting::Outcome::Cancelled) {
        std::fprintf(stderr, "tavrin-cli export: cancelled; nothing was written\n");
        return kExitFailure;
    }
    std::string text = exporting::Describe(result, request);
    if (result.outcome == exporting::Outcome::Exists) text += " Use --replace to replace it.";
    std::fprintf(stderr, "tavrin-cli export: %s\n", text.c_str());
    return kExitFailure;
}

const CommandRegistration registration({"export", kUsage,
                                        "write a copy of a recording as Opus (24 kbit/s), FLAC, MP3 or WAV",
                                        RunExport});

}  // namespace
}  // namespace tavrin::cli
