// tavrin-cli devices: the sound server's sources and sinks, by the names
// --input takes and the descriptions the desktop shows, the defaults marked.
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#ifdef TAVRIN_HAVE_PULSE
#include "platform/pulse/ServerQueries.h"
#endif

namespace tavrin::cli {
namespace {

constexpr const char* kUsage = "devices";

int RunDevices(const Arguments& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "tavrin-cli devices: unexpected '%s'\nUsage: tavrin-cli %s\n", args[0].c_str(), kUsage);
        return kExitUsage;
    }
#ifdef TAVRIN_HAVE_PULSE
    const auto list = platform::pulse::QueryDevices();
    if (list) {
        // One device a line: kind, '*' for the default, name, description.
        for (const auto& d : list->sources) {
            std::printf("source %c %s\t%s\n", d.isDefault ? '*' : ' ', d.name.c_str(), d.description.c_str());
        }
        for (const auto& d : list->sinks) {
            std::printf("sink   %c %s\t%s\n", d.isDefault ? '*' : ' ', d.name.c_str(), d.description.c_str());
        }
        return kExitOk;
    }
    std::fprintf(stderr, "tavrin-cli devices: no sound server answers; the sound card's default devices are used\n");
#else
    std::fprintf(stderr, "tavrin-cli devices: this build does not reach a sound server\n");
#endif
    return kExitFailure;
}

const CommandRegistration registration({"devices", kUsage, "list the sound server's sources and sinks", RunDevices});

}  // namespace
}  // namespace tavrin::cli
