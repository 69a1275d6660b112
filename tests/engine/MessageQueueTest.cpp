#include "engine/MessageQueue.h"

#include <gtest/gtest.h>

#include <thread>

#include "engine/Messages.h"

namespace tavrin::engine {
namespace {

std::vector<std::uint32_t> Drain(MessageQueue& queue) {
    std::vector<std::uint32_t> ids;
    while (auto m = queue.tryTake()) ids.push_back(m->id);
    return ids;
}

TEST(MessageQueueTest, CommandsAndNotificationsComeOutInArrivalOrder) {
    MessageQueue queue;
    queue.post({kCmdStartCapture, 0, 0});
    queue.post({kMmWimData, 1600, 0x1000});
    queue.post({kCmdPause, 0, 0});
    queue.post({kMmWimData, 1600, 0x2000});
    queue.post({kCmdStop, 0, 0});
    EXPECT_EQ(queue.tryTake()->id, kCmdStartCapture);
    const Message second = *queue.tryTake();
    EXPECT_EQ(second.id, kMmWimData);
    EXPECT_EQ(second.wParam, 1600u);
    EXPECT_EQ(second.lParam, 0x1000u);
    EXPECT_EQ(Drain(queue), (std::vector<std::uint32_t>{kCmdPause, kMmWimData, kCmdStop}));
    EXPECT_FALSE(queue.tryTake());
}

TEST(MessageQueueTest, DiscardDropsOnlyThatIdAndKeepsTheOrderOfTheRest) {
    MessageQueue queue;
    // Wrap the ring first so the kept messages straddle its end.
    for (int i = 0; i < 60; ++i) queue.post({kCmdSeek, 0, 0});
    EXPECT_EQ(queue.discard(kCmdSeek), 60u);
    queue.post({kMmWimData, 0, 1});
    queue.post({kCmdStop, 0, 0});
    for (int i = 0; i < 5; ++i) queue.post({kMmWimData, 0, 2});
    queue.post({kMmWomDone, 0, 0});
    queue.post({kCmdStartCapture, 0, 0});
    EXPECT_EQ(queue.discard(kMmWimData), 6u);
    EXPECT_EQ(queue.size(), 3u);
    EXPECT_EQ(Drain(queue), (std::vector<std::uint32_t>{kCmdStop, kMmWomDone, kCmdStartCapture}));
}

TEST(MessageQueueTest, GrowsWithoutLosingOrder) {
    MessageQueue queue;
    for (std::uint32_t i = 0; i < 10; ++i) queue.post({i, 0, 0});
    for (int i = 0; i < 5; ++i) queue.tryTake();
    for (std::uint32_t i = 10; i < 300; ++i) queue.post({i, 0, 0});
    std::vector<std::uint32_t> expected;
    for (std::uint32_t i = 5; i < 300; ++i) expected.push_back(i);
    EXPECT_EQ(Drain(queue), expected);
}

TEST(MessageQueueTest, WaitReturnsWhatAnotherThreadPosts) {
    MessageQueue queue;
    std::thread poster([&] { queue.post({kCmdStop, 0, 0}); });
    EXPECT_EQ(queue.wait().id, kCmdStop);
    poster.join();
}

}  // namespace
}  // namespace tavrin::engine
