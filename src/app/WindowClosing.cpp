#include "app/WindowClosing.h"

namespace tavrin::app {

bool WindowClosing::Ask(bool newRecordingStarting) {
    if (w.resting() && !w.engineBusy()) return true;
    if (pending) return false;
    pending = true;
    dropIfEmpty = newRecordingStarting;
    Continue();
    return false;
}

void WindowClosing::Continue() {
    if (!pending) return;
    if (w.resting()) {
        stopAsked = false;
        // A device still starting brings its start event, and with it a running state, later.
        if (w.engineBusy()) return;
        if (dropIfEmpty) {
            dropIfEmpty = false;
            w.dropEmptyNewRecording();
        }
        w.close();
        return;
    }
    if (stopAsked) return;
    stopAsked = true;
    w.stop();
}

}  // namespace tavrin::app
