// tavrin-cli formats: the recording formats the input device accepts, as the
// options dialog offers them.
#include <cstdio>
#include <string>

#include "cli/CliEngine.h"
#include "cli/Commands.h"
#include "wav/Formats.h"

namespace tavrin::cli {
namespace {

constexpr const char* kUsage = "formats [--audio-in WAV | --input NAME]";

int RunFormats(const Arguments& args) {
    std::optional<std::string> audioIn;
    std::optional<std::string> input;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--audio-in" && i + 1 < args.size()) {
            audioIn = args[++i];
        } else if (args[i] == "--input" && i + 1 < args.size()) {
            input = args[++i];
        } else {
            std::fprintf(stderr, "tavrin-cli formats: unexpected '%s'\nUsage: tavrin-cli %s\n", args[i].c_str(),
                         kUsage);
            return kExitUsage;
        }
    }
    // The file when one is given, the sound card's input otherwise.
    DeviceSetup setup;
    setup.audioIn = audioIn;
    setup.soundCardIn = !audioIn && HaveSoundCard();
    setup.soundServer = setup.soundCardIn && SoundServerAnswers();
    // What a chosen source offers; one that is missing leaves the default's.
    if (input && setup.soundServer) setup.inputName = input;
    CliEngine& cli = MakeCliEngine(setup);
    if (audioIn) {
        std::string error;
        if (!cli.fileIn->Load(*audioIn, error)) {
            std::fprintf(stderr, "tavrin-cli formats: %s: %s\n", audioIn->c_str(), error.c_str());
            return kExitUsage;
        }
    }
    // No input device at all (no sound card, or none in this build) offers nothing.
    std::uint32_t accepted = 0;
    if (!cli.engine.ProbeFormats(accepted)) {
        cli.shell.messageBox("Cannot retrieve supported audio formats", "Tavrin",
                             platform::mb::IconHand | platform::mb::YesNo);
        return kExitFailure;
    }
    for (const auto& entry : wav::OfferedFormats(accepted)) {
        std::printf("%.*s\n", static_cast<int>(entry.label.size()), entry.label.data());
    }
    return kExitOk;
}

const CommandRegistration registration({"formats", kUsage, "list the recording formats the input device offers",
                                        RunFormats});

}  // namespace
}  // namespace tavrin::cli
