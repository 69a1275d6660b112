#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace tavrin::test {

// A clock that moves only when the test moves it. advanceMs moves the
// counter and the tick count together; the tick count wraps like the real one.
class FakeClock : public platform::Clock {
public:
    explicit FakeClock(std::int64_t perSecond = 1'000'000) : frequency(perSecond) {}

    void setCounter(std::int64_t value) { count = value; }
    void setCounterFrequency(std::int64_t perSecond) { frequency = perSecond; }
    void setTickCount(std::uint32_t ms) { ticks = ms; }
    void advanceCounter(std::int64_t counts) { count += counts; }
    void advanceMs(std::uint32_t ms) {
        count += static_cast<std::int64_t>(ms) * frequency / 1000;
        ticks += ms;
    }

    std::int64_t counter() override { return count; }
    std::int64_t counterFrequency() override { return frequency; }
    std::uint32_t tickCount() override { return ticks; }

private:
    std::int64_t frequency;
    std::int64_t count = 0;
    std::uint32_t ticks = 0;
};

// Records the priorities asked for, in order.
class FakeThread : public platform::Thread {
public:
    void setCurrentPriority(platform::ThreadPriority priority) override { priorities.push_back(priority); }
    std::vector<platform::ThreadPriority> priorities;
};

// Records the names of the cue sounds played, in order.
class RecordingCueSounds : public platform::CueSounds {
public:
    void playSync(const char* name) override { played.emplace_back(name ? name : ""); }
    std::vector<std::string> played;
};

}  // namespace tavrin::test
