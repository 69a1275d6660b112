#pragma once

namespace tavrin::platform::pulse {

// Whether a sound server answers now. Where none does (a bare ALSA system)
// the programs use the sound card through PortAudio instead.
bool ServerAnswers();

}  // namespace tavrin::platform::pulse
