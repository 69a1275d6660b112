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
    platform::WaveBuffer first{}, second{};
    queue.post({kCmdStartCapture, 0, 0});
    queue.post({kMmWimData, 1600, &first});
    queue.post({kCmdPause, 0, 0});
    queue.post({kMmWimData, 1600, &second});
    queue.post({kCmdStop, 0, 0});
    EXPECT_EQ(queue.tryTake()->id, kCmdStartCapture);
    const Message data = *queue.tryTake();
    EXPECT_EQ(data.id, kMmWimData);
    EXPECT_EQ(data.value, 1600u);
    EXPECT_EQ(data.buffer, &first);
    EXPECT_EQ(Drain(queue), (std::vector<std::uint32_t>{kCmdPause, kMmWimData, kCmdStop}));
    EXPECT_FALSE(queue.tryTake());
}

TEST(MessageQueueTest, DiscardDropsOnlyThatIdAndKeepsTheOrderOfTheRest) {
    MessageQueue queue;
    platform::WaveBuffer one{}, two{};
    // Move the ring's start near its end first, so the kept messages straddle it.
    for (std::size_t i = 0; i + 3 < MessageQueue::kCapacity; ++i) {
        queue.post({kCmdSeek, 0, 0});
        queue.tryTake();
    }
    for (int i = 0; i < 60; ++i) queue.post({kCmdSeek, 0, 0});
    EXPECT_EQ(queue.discard(kCmdSeek), 60u);
    queue.post({kMmWimData, 0, &one});
    queue.post({kCmdStop, 0, 0});
    for (int i = 0; i < 5; ++i) queue.post({kMmWimData, 0, &two});
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

// The ring is never reallocated (a delivery thread posts into it): a full
// queue drops and counts, and takes again once there is room.
TEST(MessageQueueTest, AFullQueueDropsAndCountsWithoutLosingWhatItHolds) {
    MessageQueue queue;
    for (std::uint32_t i = 0; i < MessageQueue::kCapacity; ++i) EXPECT_TRUE(queue.post({i, 0, 0}));
    EXPECT_FALSE(queue.post({kCmdStop, 0, 0}));
    EXPECT_FALSE(queue.post({kCmdStop, 0, 0}));
    EXPECT_EQ(queue.overflows(), 2u);
    EXPECT_EQ(queue.tryTake()->id, 0u);
    EXPECT_TRUE(queue.post({kCmdStop, 0, 0}));
    const std::vector<std::uint32_t> ids = Drain(queue);
    ASSERT_EQ(ids.size(), MessageQueue::kCapacity);
    EXPECT_EQ(ids.front(), 1u);
    EXPECT_EQ(ids[ids.size() - 2], MessageQueue::kCapacity - 1);
    EXPECT_EQ(ids.back(), kCmdStop);
}

TEST(MessageQueueTest, WaitReturnsWhatAnotherThreadPosts) {
    MessageQueue queue;
    std::thread poster([&] { queue.post({kCmdStop, 0, 0}); });
    EXPECT_EQ(queue.wait().id, kCmdStop);
    poster.join();
}

}  // namespace
}  // namespace tavrin::engine
