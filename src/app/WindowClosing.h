#pragma once

#include <functional>

namespace tavrin::app {

// How the window closes while something runs. Closing in the middle of a
// recording would lose it: a close asked for then stops what runs, once,
// and the window closes when the recorder rests and no device is still
// starting or stopping. A second close meanwhile only waits: ending then
// would cut the file mid-save. A new recording stopped before it had begun
// holds no audio, and the window drops it rather than leave an empty file.
class WindowClosing {
public:
    // What the closing asks of the window.
    struct Window {
        std::function<bool()> resting;     // the recorder is at rest
        std::function<bool()> engineBusy;  // a device is still starting or stopping
        std::function<void()> stop;        // stops the recording or playback that runs
        std::function<void()> dropEmptyNewRecording;
        std::function<void()> close;  // closes the window; it asks again, and is let go
    };

    explicit WindowClosing(Window window) : w(std::move(window)) {}

    // A close was asked for. True when the window may close at once.
    [[nodiscard]] bool Ask(bool newRecordingStarting);
    // The recorder changed state: goes on with a close that waits.
    void Continue();
    bool Pending() const { return pending; }

private:
    Window w;
    bool pending = false;      // a close waits for the recorder to rest
    bool stopAsked = false;    // the running state was told to stop for it
    bool dropIfEmpty = false;  // it stopped a new recording before that had begun
};

}  // namespace tavrin::app
