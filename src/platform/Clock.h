#pragma once

#include <cstdint>

namespace tavrin::platform {

// High-resolution counter and millisecond tick count.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t counter() = 0;
    virtual std::int64_t counterFrequency() = 0;  // counts per second
    virtual std::uint32_t tickCount() = 0;        // milliseconds, wraps
};

enum class ThreadPriority { Normal, AboveNormal, Highest, TimeCritical, BelowNormal };

// Priority of the calling thread; best effort.
class Thread {
public:
    virtual ~Thread() = default;
    virtual void setCurrentPriority(ThreadPriority priority) = 0;
};

// The short sounds played before and after a recording ("RecStart", "RecEnd").
class CueSounds {
public:
    virtual ~CueSounds() = default;
    // Plays the sound and returns when it has ended; a missing sound is skipped.
    virtual void playSync(const char* name) = 0;
};

// No cue sounds: for a speaker that is a file, the command-line tools and tests.
class SilentCues final : public CueSounds {
public:
    void playSync(const char*) override {}
};

}  // namespace tavrin::platform
