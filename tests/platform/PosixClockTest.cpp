#include "platform/posix/PosixClock.h"

#include <gtest/gtest.h>

namespace tavrin::platform {
namespace {

// The counter and the tick count must tell the same time in their own units,
// or durations computed from one and compared with the other drift apart.
TEST(SteadyClock, CounterAndTickCountAgree) {
    SteadyClock clock;
    ASSERT_EQ(clock.counterFrequency(), 1'000'000'000);
    const std::uint32_t ticks = clock.tickCount();
    const std::int64_t counter = clock.counter();
    const std::int64_t later = clock.counter();
    EXPECT_LE(counter, later);
    const auto counterMs = static_cast<std::uint32_t>(counter / 1'000'000);
    EXPECT_LT(counterMs - ticks, 1000u);  // unsigned: also right across the 49-day wrap
}

}  // namespace
}  // namespace tavrin::platform
