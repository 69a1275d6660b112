#pragma once

#include <cstdint>
#include <optional>

#include "platform/WaveDevice.h"

namespace tavrin::engine {

// Playback speeds in hundredths, slowest first; 100 is the recording's own.
inline constexpr std::uint32_t kSpeedSteps[] = {50, 75, 100, 125, 150, 175, 200, 250, 300};
inline constexpr std::uint32_t kNormalSpeed = 100;

// Changes how fast a recording plays without changing its pitch, on the way
// from the storage to the speaker. The engine hands it the recording's own
// bytes piece by piece and takes back 16-bit audio for the device; while the
// device runs only the engine thread calls it. Realised over a speech
// time-stretching library; tests may use it directly or leave it out (the
// engine then plays every recording as it is, at its own speed).
class SpeedStage {
public:
    virtual ~SpeedStage() = default;

    // Prepares for a playback of audio in `recording`'s format and answers
    // the format the speaker is to be opened with (16-bit PCM at the
    // recording's rate); nothing when the stage cannot take that format.
    // UI thread, before the device opens; drops whatever an earlier playback left.
    [[nodiscard]] virtual std::optional<platform::AudioFormat> Start(const platform::AudioFormat& recording) = 0;
    // Hundredths of the recording's speed, one of kSpeedSteps.
    virtual void SetSpeed(std::uint32_t hundredths) = 0;
    // Takes whole units (samples, GSM blocks) of the recording's audio; false
    // when it could not hold them.
    [[nodiscard]] virtual bool Put(const std::uint8_t* data, std::uint32_t bytes) = 0;
    // The recording has ended: what the stage still holds comes out.
    virtual void Flush() = 0;
    // Moves up to `capacity` bytes (whole frames) of sped-up audio into
    // `out`; 0 when it holds none yet.
    [[nodiscard]] virtual std::uint32_t Take(std::uint8_t* out, std::uint32_t capacity) = 0;
    // Forgets what it holds, for a seek: the next audio is from elsewhere.
    virtual void Clear() = 0;
};

// The step after (`faster`) or before the given speed, staying at the ends;
// an unknown speed moves to the recording's own.
std::uint32_t NextSpeed(std::uint32_t hundredths, bool faster);
// The step after the given one, from the fastest back to the slowest.
std::uint32_t CycledSpeed(std::uint32_t hundredths);
bool IsSpeedStep(std::uint32_t hundredths);
// How the panel shows a speed: "1×", "1.5×", "0.75×".
const char* SpeedLabel(std::uint32_t hundredths);

}  // namespace tavrin::engine
