#include "platform/posix/PosixClock.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>

namespace tavrin::platform {

std::int64_t SteadyClock::counter() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

std::uint32_t SteadyClock::tickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void PosixThread::setCurrentPriority(ThreadPriority priority) {
    int policy = SCHED_OTHER;
    int level = 0;
    if (priority == ThreadPriority::TimeCritical || priority == ThreadPriority::Highest) {
        // Low real-time levels: above every normal thread, below the sound server's own.
        policy = priority == ThreadPriority::TimeCritical ? SCHED_FIFO : SCHED_RR;
        const int wanted = priority == ThreadPriority::TimeCritical ? 2 : 1;
        level = std::clamp(wanted, sched_get_priority_min(policy), sched_get_priority_max(policy));
    }
    sched_param param{};
    param.sched_priority = level;
    // Refused without the right to real-time scheduling; the thread then keeps what it has.
    [[maybe_unused]] const int refused = pthread_setschedparam(pthread_self(), policy, &param);
}

}  // namespace tavrin::platform
