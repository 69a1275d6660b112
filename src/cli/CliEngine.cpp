#include "cli/CliEngine.h"

#include <utility>

namespace tavrin::cli {

CliEngine::CliEngine(platform::file::FileWaveIn::Options inputOptions)
    : waveIn(files, [&] {
          inputOptions.onHeld = [this] { events.post(kEvInputHeld, 0, 0); };
          return std::move(inputOptions);
      }()),
      waveOut(files, "/dev/null"),
      engine(engine::EngineServices{waveIn, waveOut, files, memory, system, shell, clock, thread, cues}) {}

CliEngine& MakeCliEngine(platform::file::FileWaveIn::Options options) {
    // Never deleted: the engine thread may still be finishing its last
    // message while the process ends.
    return *new CliEngine(std::move(options));
}

}  // namespace tavrin::cli
