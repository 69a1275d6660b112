#include "cli/Session.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/TerminationSignals.h"
#include "recordings/Playable.h"
#include "storage/Journal.h"
#include "storage/Recovery.h"
#include "wav/Formats.h"
#ifdef TAVRIN_HAVE_PULSE
#include "platform/pulse/PulseWaveIn.h"
#endif

namespace tavrin::cli {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

namespace {

extern "C" void OnInterrupt(int) { interrupted.store(true, std::memory_order_relaxed); }

bool signalsWake = false;

std::optional<std::string> FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

}  // namespace

// The session's SIGTERM and a closed terminal's SIGHUP stop and save the way
// Ctrl-C does. Given `events`, a thread of the signals' own wakes the main
// thread, which otherwise sleeps until the engine has something to say.
void CatchInterrupt(CliEventSink* events) {
    const int readEnd = events ? platform::CatchTerminationSignals() : -1;
    signalsWake = readEnd >= 0 && platform::CallOnTerminationSignals(readEnd, [events] {
        interrupted.store(true, std::memory_order_relaxed);
        events->Wake();
    });
    if (!signalsWake) {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, OnInterrupt);
    }
}

std::optional<std::chrono::milliseconds> InterruptPoll() {
    if (signalsWake) return std::nullopt;
    return std::chrono::milliseconds(100);
}

bool TakeMarkOption(const Arguments& args, std::size_t& i, std::vector<std::uint32_t>& marks, std::string& error) {
    if (args[i] != "--mark-at-ms") return false;
    const auto ms = i + 1 < args.size() ? ParseNumber(args[i + 1], 0, 4294967295.0) : std::nullopt;
    if (!ms || *ms != std::floor(*ms)) {
        error = "--mark-at-ms wants whole milliseconds";
        return true;
    }
    ++i;
    marks.push_back(static_cast<std::uint32_t>(*ms));
    return true;
}

bool TakeCommonOption(const Arguments& args, std::size_t& i, CommonOptions& options, std::string& error) {
    const std::string& arg = args[i];
    if (arg == "--realtime") {
        options.realtime = true;
        return true;
    }
    if (arg != "--media" && arg != "--audio-in" && arg != "--audio-out" && arg != "--input") return false;
    if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return true;
    }
    const std::string& value = args[++i];
    if (arg == "--media") {
        if (value != "slow" && value != "fast" && value != "auto") error = "--media wants auto, slow or fast";
        if (value == "slow") options.media = platform::Media::Slow;
        if (value == "fast") options.media = platform::Media::Fast;
        if (value == "auto") options.media.reset();
    } else if (arg == "--audio-in") {
        options.audioIn = value;
    } else if (arg == "--input") {
        options.input = value;
    } else {
        options.audioOut = value;
    }
    return true;
}

platform::Media MediaFor(CliEngine& cli, const CommonOptions& options, const std::string& path) {
    if (options.media) return *options.media;
    return platform::MediaOf(cli.shell, path);
}

namespace {

// A format name as typed: letters in lower case, blanks left out, so that a
// label matches with any spacing ("PCM 8kHz 8-Bit" for "PCM  8kHz  8-Bit").
std::string FormatKey(std::string_view text) {
    std::string key;
    for (const char c : text) {
        if (c == ' ' || c == '\t') continue;
        key += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return key;
}

}  // namespace

std::optional<std::uint32_t> ParseFormat(const std::string& text) {
    static const std::pair<const char*, std::uint32_t> shortNames[] = {
        {"gsm", wav::kCodeGsm},          {"pcm8k8", wav::kCodePcm8k8},     {"pcm11k8", wav::kCodePcm11k8},
        {"pcm8k16", wav::kCodePcm8k16}, {"pcm11k16", wav::kCodePcm11k16}, {"pcm22k16", wav::kCodePcm22k16}};
    const std::string key = FormatKey(text);
    for (const auto& [name, code] : shortNames)
        if (key == name) return code;
    for (const auto& [name, code] : shortNames) {
        const auto label = wav::LabelOfCode(code);
        if (!key.empty() && label && FormatKey(*label) == key) return code;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || !end || *end != '\0' || text.empty() || value > 0xFFFFFFFFul) return std::nullopt;
    if (wav::FindByCode(static_cast<std::uint32_t>(value))) return static_cast<std::uint32_t>(value);
    return std::nullopt;
}

bool RepairBeforeUse(const char* command, const std::string& file) {
    platform::PosixFileSystem files;
    bool ok = true;
    for (const auto& r : storage::RecoverRecordings(files, platform::StateFolder(), {platform::AbsolutePath(file)})) {
        if (!r.setAside.empty()) {
            // The file is as it was: the command goes on and judges it as any other.
            std::fprintf(stderr, "tavrin-cli %s: %s: %s\n", command, r.path.c_str(), r.setAside.c_str());
        } else if (r.repaired) {
            std::fprintf(stderr, "tavrin-cli %s: recovered %s, left unfinished by a crash\n", command, r.path.c_str());
        } else {
            std::fprintf(stderr, "tavrin-cli %s: %s was left unfinished by a crash and could not be repaired\n",
                         command, r.path.c_str());
            ok = false;
        }
    }
    if (!ok) SayWhereAudioWaits(command, file);
    return ok;
}

void SayWhereAudioWaits(const char* command, const std::string& file) {
    platform::PosixFileSystem files;
    const std::string path = platform::AbsolutePath(file);
    const std::string spool = storage::AudioWaitingFor(files, platform::StateFolder(), path);
    if (spool.empty()) return;
    std::fprintf(stderr,
                 "tavrin-cli %s: %s holds what fitted; the rest of its audio is kept in %s until "
                 "'tavrin-cli recover' writes it there (make room first)\n",
                 command, path.c_str(), spool.c_str());
}

std::optional<double> ParseNumber(const std::string& text, double low, double high) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || !end || *end != '\0' || text.empty() || !(value >= low && value <= high)) return std::nullopt;
    return value;
}

std::optional<std::string> ChooseDevices(const CommonOptions& options, bool needIn, bool needOut, DeviceSetup& setup) {
    setup.audioIn = options.audioIn ? options.audioIn : FromEnvironment("TAVRIN_AUDIO_IN");
    setup.audioOut = options.audioOut ? options.audioOut : FromEnvironment("TAVRIN_AUDIO_OUT");
    setup.realtime = options.realtime;
    setup.soundCardIn = needIn && !setup.audioIn && HaveSoundCard();
    setup.soundCardOut = needOut && !setup.audioOut && HaveSoundCard();
    if (needIn && !setup.audioIn && !setup.soundCardIn) {
        return "this build has no sound-card input; give the microphone as --audio-in WAV (or TAVRIN_AUDIO_IN)";
    }
    if (needOut && !setup.audioOut && !setup.soundCardOut) {
        return "this build has no sound-card output; give the speaker as --audio-out WAV (or TAVRIN_AUDIO_OUT)";
    }
    if (setup.soundCardIn || setup.soundCardOut) setup.soundServer = SoundServerAnswers();
    if (options.input) {
        if (!needIn) return "--input names a microphone; this command records nothing";
        if (setup.audioIn) return "--input and a WAV file as the microphone exclude each other";
        if (!setup.soundServer) return "--input needs the desktop's sound server, and none answers";
        setup.inputName = options.input;
    }
    return std::nullopt;
}

int Fail(CliEngine& cli, engine::ResultCode result) {
    engine::ShowResult(cli.shell, result.Detail(), result.Code());
    return kExitFailure;
}

int FailToOpen(CliEngine& cli, const std::string& path, engine::ResultCode result) {
    const std::string_view why = recordings::WhyNotPlayable(recordings::JudgeRecording(cli.files, path));
    if (why.empty()) return Fail(cli, result);
    cli.shell.messageBox(std::string(why), std::string(engine::kProductName), platform::mb::IconExclamation);
    return kExitFailure;
}

void HandleEvent(CliEngine& cli, const CliEventSink::Event& event) {
    std::fprintf(stderr, "%s\n", EventName(event.message).c_str());
    if (event.message == engine::kEvError) engine::ShowResult(cli.shell, event.lParam, event.wParam);
    cli.events.Handled(event);
}

int RunCaptureUntilFileReady(CliEngine& cli, std::uint32_t eventBase, std::optional<double> seconds,
                             const char* command) {
    using Clock = std::chrono::steady_clock;
    bool stopAsked = false;
    bool failed = false;
    std::optional<Clock::time_point> deadline;
#ifdef TAVRIN_HAVE_PULSE
    if (cli.pulseIn) {
        if (const auto missing = cli.pulseIn->TakeMissingSource()) {
            std::fprintf(stderr, "tavrin-cli %s: there is no source '%s' now; recording from the default\n", command,
                         missing->c_str());
        }
    }
#endif
    for (;;) {
        // Woken by each event and by Ctrl-C; otherwise only at the deadline.
        auto wait = InterruptPoll();
        if (deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            wait = std::clamp(left, std::chrono::milliseconds(0), wait.value_or(left));
        }
        const auto event = cli.events.Next(wait);
        const bool timeUp = deadline && Clock::now() >= *deadline;
        if ((interrupted || timeUp) && !stopAsked) {
            if (interrupted) std::fprintf(stderr, "Interrupted: stopping\n");
            stopAsked = cli.engine.Stop();
        }
        if (!event) continue;
        if (event->message == kEvInputHeld) {
            if (!stopAsked) stopAsked = cli.engine.Stop();
            continue;
        }
        // A sound card has no end: the asked seconds are counted from its start.
        // A file ends by itself (kEvInputHeld); should it not, twice its time
        // and ten seconds more end the wait all the same.
        if (event->message == engine::kEvRecordStart + eventBase && seconds) {
            const double limit = cli.fileIn ? 2 * *seconds + 10 : *seconds;
            deadline = Clock::now() + std::chrono::microseconds(static_cast<std::int64_t>(limit * 1e6));
        }
        if (event->message == engine::kEvError) failed = true;
        HandleEvent(cli, *event);
        if (event->message == engine::kEvFileReady + eventBase) {
            if (stopAsked && !failed) return kExitOk;
            if (!stopAsked) {
                // The engine stops a capture by itself only when storing failed
                // or the microphone went away (which the error event told).
                const std::string noSpace(engine::MessageText(engine::rc::NoSpace & engine::rc::IndexMask));
                const bool full = cli.engine.CaptureStoppedBy() == platform::IoError::Kind::Full;
                std::fprintf(stderr, "tavrin-cli %s: the recording ended early: %s\n", command,
                             full     ? noSpace.c_str()
                             : failed ? "the microphone or the storage failed"
                                      : "storing the audio failed");
            }
            return kExitFailure;
        }
    }
}

}  // namespace tavrin::cli
