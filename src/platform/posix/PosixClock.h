#pragma once

#include "platform/Clock.h"

namespace tavrin::platform {

// The monotonic clock, counted in nanoseconds.
class SteadyClock : public Clock {
public:
    std::int64_t counter() override;
    std::int64_t counterFrequency() override { return 1'000'000'000; }
    std::uint32_t tickCount() override;
};

// Real-time scheduling for the two highest priorities where the user may have
// it (rtkit limits, CAP_SYS_NICE); everything else runs in the normal policy.
// Nice values are left alone: an unprivileged thread could lower its priority
// but never raise it back.
class PosixThread : public Thread {
public:
    void setCurrentPriority(ThreadPriority priority) override;
};

}  // namespace tavrin::platform
