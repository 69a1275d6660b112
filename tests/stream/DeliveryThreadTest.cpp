#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "SinkLog.h"
#include "platform/stream/DeliveryThread.h"

namespace tavrin::test {
namespace {

using platform::WaveBuffer;
using platform::stream::DeliveryThread;
using platform::stream::StreamBuffers;
namespace mm = platform::mm;
namespace whdr = platform::whdr;

constexpr double kPatience = 10.0;  // seconds; only a hang would take this long

TEST(DeliveryThread, HandsEachFinishedBufferToTheSinkOffTheCallbackThread) {
    StreamBuffers queue(StreamBuffers::Direction::Input, 1);
    SinkLog sink;
    std::mutex guard;
    DeliveryThread thread(queue, sink, guard, [] { return 0.0; });
    ASSERT_TRUE(thread.Start());

    std::vector<std::uint8_t> a(4), b(4);
    WaveBuffer ha{a.data(), 4, 0, whdr::Prepared};
    WaveBuffer hb{b.data(), 4, 0, whdr::Prepared};
    {
        std::lock_guard lock(guard);
        ASSERT_TRUE(queue.Queue(ha));
        ASSERT_TRUE(queue.Queue(hb));
    }
    const std::uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
    queue.Fill(bytes, 6);  // as the callback would: A finished, B half full
    ASSERT_TRUE(sink.waitFor(1, kPatience));
    queue.Fill(bytes + 6, 2);
    ASSERT_TRUE(sink.waitFor(2, kPatience));
    thread.Stop();

    const auto log = sink.entries();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].buffer, &ha);
    EXPECT_EQ(log[0].data, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(log[1].buffer, &hb);
    EXPECT_EQ(log[1].data, (std::vector<std::uint8_t>{5, 6, 7, 8}));
    EXPECT_EQ(log[1].message, mm::WimData);
}

TEST(DeliveryThread, HoldsAPlayedBufferUntilTheClockSaysItWasHeard) {
    StreamBuffers queue(StreamBuffers::Direction::Output, 1);
    SinkLog sink;
    std::mutex guard;
    std::atomic<double> now{100.0};
    DeliveryThread thread(queue, sink, guard, [&] { return now.load(); });
    ASSERT_TRUE(thread.Start());

    std::vector<std::uint8_t> a(50, 1);
    WaveBuffer ha{a.data(), 50, 0, whdr::Prepared};
    {
        std::lock_guard lock(guard);
        ASSERT_TRUE(queue.Queue(ha));
    }
    std::vector<std::uint8_t> out(50);
    queue.SetPlayClock(100.0, 100.0);  // heard at 100.5
    ASSERT_EQ(queue.Drain(out.data(), 50), 50u);
    // The thread holds it: under the device lock nothing has reached the sink
    // for as long as the clock stands before the due time.
    {
        std::lock_guard lock(guard);
        EXPECT_EQ(sink.size(), 0u);
    }
    now = 100.5;
    thread.Wake();
    ASSERT_TRUE(sink.waitFor(1, kPatience));
    EXPECT_EQ(sink.entries()[0].message, mm::WomDone);
    EXPECT_EQ(ha.flags & (whdr::Done | whdr::InQueue), whdr::Done);
}

TEST(DeliveryThread, StopsPromptlyWhenIdleAndWhenHoldingABuffer) {
    StreamBuffers queue(StreamBuffers::Direction::Output, 1);
    SinkLog sink;
    std::mutex guard;
    {
        DeliveryThread idle(queue, sink, guard, [] { return 0.0; });
        ASSERT_TRUE(idle.Start());
        idle.Stop();
        idle.Stop();  // twice is harmless
    }
    std::vector<std::uint8_t> a(10, 1);
    WaveBuffer ha{a.data(), 10, 0, whdr::Prepared};
    ASSERT_TRUE(queue.Queue(ha));
    std::vector<std::uint8_t> out(10);
    queue.SetPlayClock(0.0, 10.0);  // due a second from the clock's 0
    ASSERT_EQ(queue.Drain(out.data(), 10), 10u);
    DeliveryThread holding(queue, sink, guard, [] { return 0.0; });
    ASSERT_TRUE(holding.Start());
    holding.Stop();  // returns without waiting out the hold
    EXPECT_EQ(queue.Outstanding(), 1u);
    queue.ReturnAll(sink);
    EXPECT_EQ(sink.size(), 1u);
}

}  // namespace
}  // namespace tavrin::test
