#include "platform/pulse/PulseDevices.h"

#include "platform/pulse/PulseConnection.h"

namespace tavrin::platform::pulse {

bool ServerAnswers() {
    PulseConnection probe;
    return probe.Connect() == mmr::NoError;
}

}  // namespace tavrin::platform::pulse
