#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "SinkLog.h"
#include "platform/stream/StreamBuffers.h"

namespace tavrin::test {
namespace {

using platform::WaveBuffer;
using platform::stream::StreamBuffers;
namespace mm = platform::mm;
namespace whdr = platform::whdr;

std::vector<std::uint8_t> Ramp(std::size_t n, std::uint8_t first = 0) {
    std::vector<std::uint8_t> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

// Caller buffers with their own storage, as the recorder's blocks are.
struct Buffers {
    explicit Buffers(const std::vector<std::uint32_t>& lengths) : storage(lengths.size()), headers(lengths.size()) {
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            storage[i].assign(lengths[i], 0xEE);
            headers[i].data = storage[i].data();
            headers[i].length = lengths[i];
            headers[i].flags = whdr::Prepared;
        }
    }
    std::vector<std::vector<std::uint8_t>> storage;
    std::vector<WaveBuffer> headers;
};

std::size_t IndexOf(Buffers& b, const WaveBuffer* buffer) {
    return static_cast<std::size_t>(buffer - b.headers.data());
}

TEST(StreamBuffers, InputFillsQueuedBuffersInOrderWhateverTheCallbackSizes) {
    struct Case {
        const char* name;
        std::uint32_t unit;
        std::vector<std::uint32_t> lengths;
        std::vector<std::uint32_t> chunks;        // bytes per callback
        std::vector<std::uint32_t> expectBytes;   // per finished buffer, in order
        std::uint32_t expectTaken;                // bytes that found a buffer
    };
    const Case cases[] = {
        {"bytes, small chunks", 1, {10, 10}, {3, 4, 5, 8}, {10, 10}, 20},
        {"one chunk spans both", 1, {10, 10}, {25}, {10, 10}, 20},
        {"16-bit, odd length keeps whole samples", 2, {9, 8}, {4, 4, 4, 4, 4}, {8, 8}, 16},
        {"GSM blocks", 65, {325, 325}, {65, 130, 195, 260}, {325, 325}, 650},
        {"a block never splits across buffers", 65, {100, 130}, {65, 65, 65}, {65, 130}, 195},
        {"not enough for the first buffer", 1, {10, 10}, {4, 5}, {}, 9},
        {"a buffer too small for a unit finishes empty", 2, {1, 4}, {2, 2}, {0, 4}, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Buffers b(c.lengths);
        StreamBuffers queue(StreamBuffers::Direction::Input, c.unit);
        for (auto& h : b.headers) ASSERT_TRUE(queue.Queue(h));
        const std::uint32_t total = std::accumulate(c.chunks.begin(), c.chunks.end(), 0u);
        const auto source = Ramp(total, 1);
        std::uint32_t offset = 0;
        std::uint32_t taken = 0;
        for (const auto n : c.chunks) {
            taken += queue.Fill(source.data() + offset, n);
            offset += n;
        }
        EXPECT_EQ(taken, c.expectTaken);
        SinkLog sink;
        EXPECT_EQ(queue.DeliverDue(sink, 0), 0);
        const auto log = sink.entries();
        ASSERT_EQ(log.size(), c.expectBytes.size());
        std::uint32_t at = 0;
        for (std::size_t i = 0; i < log.size(); ++i) {
            EXPECT_EQ(log[i].message, mm::WimData);
            EXPECT_EQ(IndexOf(b, log[i].buffer), i);
            EXPECT_EQ(log[i].bytes, c.expectBytes[i]);
            EXPECT_EQ(log[i].buffer->bytesRecorded, c.expectBytes[i]);
            EXPECT_EQ(log[i].buffer->flags & (whdr::Done | whdr::InQueue), whdr::Done);
            EXPECT_EQ(log[i].data, std::vector<std::uint8_t>(source.begin() + at, source.begin() + at + log[i].bytes));
            at += log[i].bytes;
        }
        EXPECT_EQ(queue.Outstanding(), c.lengths.size() - log.size());
    }
}

TEST(StreamBuffers, ResetHandsBackFinishedThenPartlyFilledThenUntouched) {
    Buffers b({4, 6, 6, 6});
    StreamBuffers queue(StreamBuffers::Direction::Input, 2);
    for (auto& h : b.headers) ASSERT_TRUE(queue.Queue(h));
    const auto source = Ramp(8, 10);
    EXPECT_EQ(queue.Fill(source.data(), 8), 8u);  // buffer 0 full, buffer 1 holds 4

    SinkLog sink;
    queue.ReturnAll(sink);
    const auto log = sink.entries();
    ASSERT_EQ(log.size(), 4u);
    const std::uint32_t expect[] = {4, 4, 0, 0};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(IndexOf(b, log[i].buffer), i);
        EXPECT_EQ(log[i].bytes, expect[i]) << i;
        EXPECT_EQ(b.headers[i].flags & (whdr::Done | whdr::InQueue), whdr::Done);
    }
    EXPECT_EQ(log[1].data, std::vector<std::uint8_t>(source.begin() + 4, source.end()));
    EXPECT_EQ(queue.Outstanding(), 0u);

    // After the reset the same buffers start again from their first byte.
    ASSERT_TRUE(queue.Queue(b.headers[1]));
    EXPECT_EQ(b.headers[1].bytesRecorded, 0u);
    EXPECT_EQ(queue.Fill(source.data(), 6), 6u);
    SinkLog again;
    static_cast<void>(queue.DeliverDue(again, 0));
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again.entries()[0].data, std::vector<std::uint8_t>(source.begin(), source.begin() + 6));
}

TEST(StreamBuffers, OutputDrainsBuffersBackToBackAcrossCallbacks) {
    struct Case {
        const char* name;
        std::uint32_t unit;
        std::vector<std::uint32_t> lengths;
        std::vector<std::uint32_t> chunks;  // bytes asked per callback
        std::vector<std::uint32_t> expectCopied;
        std::size_t expectDone;
    };
    const Case cases[] = {
        {"bytes", 1, {5, 7}, {3, 3, 3, 3, 3}, {3, 3, 3, 3, 0}, 2},
        {"one callback takes all and wants more", 1, {5, 7}, {20}, {12}, 2},
        {"16-bit skips a stray last byte", 2, {5, 4}, {2, 2, 2, 2, 2}, {2, 2, 2, 2, 0}, 2},
        {"GSM block by block", 65, {130, 65}, {65, 65, 65, 65}, {65, 65, 65, 0}, 2},
        {"nothing queued", 1, {}, {4}, {0}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Buffers b(c.lengths);
        std::vector<std::uint8_t> expected;
        std::uint8_t next = 1;
        for (std::size_t i = 0; i < c.lengths.size(); ++i) {
            for (auto& byte : b.storage[i]) byte = next++;
            const std::uint32_t usable = c.lengths[i] - c.lengths[i] % c.unit;
            expected.insert(expected.end(), b.storage[i].begin(), b.storage[i].begin() + usable);
        }
        StreamBuffers queue(StreamBuffers::Direction::Output, c.unit);
        for (auto& h : b.headers) ASSERT_TRUE(queue.Queue(h));
        std::vector<std::uint8_t> played;
        for (std::size_t i = 0; i < c.chunks.size(); ++i) {
            std::vector<std::uint8_t> out(c.chunks[i], 0);
            const std::uint32_t got = queue.Drain(out.data(), c.chunks[i]);
            EXPECT_EQ(got, c.expectCopied[i]) << "callback " << i;
            played.insert(played.end(), out.begin(), out.begin() + got);
        }
        EXPECT_EQ(played, expected);
        SinkLog sink;
        static_cast<void>(queue.DeliverDue(sink, 0));
        ASSERT_EQ(sink.size(), c.expectDone);
        for (const auto& e : sink.entries()) {
            EXPECT_EQ(e.message, mm::WomDone);
            EXPECT_EQ(e.bytes, e.buffer->length);
        }
    }
}

TEST(StreamBuffers, PlayedBufferIsDueWhenItsLastByteIsHeard) {
    Buffers b({50, 50});
    StreamBuffers queue(StreamBuffers::Direction::Output, 1);
    for (auto& h : b.headers) ASSERT_TRUE(queue.Queue(h));
    std::vector<std::uint8_t> out(60);
    queue.SetPlayClock(10.0, 100.0);  // 100 bytes a second, first byte heard at 10 s
    ASSERT_EQ(queue.Drain(out.data(), 60), 60u);
    const auto before = queue.Completions().load();

    SinkLog sink;
    EXPECT_NEAR(queue.DeliverDue(sink, 10.2), 0.3, 1e-9);
    EXPECT_EQ(sink.size(), 0u);
    EXPECT_EQ(queue.DeliverDue(sink, 10.5), 0);
    EXPECT_EQ(sink.size(), 1u);
    EXPECT_EQ(before, 1u);

    // A due time far beyond any device latency means the clock is wrong: no holding.
    queue.SetPlayClock(1000.0, 100.0);
    ASSERT_EQ(queue.Drain(out.data(), 40), 40u);
    EXPECT_EQ(queue.DeliverDue(sink, 11.0), 0);
    EXPECT_EQ(sink.size(), 2u);
}

TEST(StreamBuffers, QueueRefusesBeyondItsCapacityWithoutTouchingTheBuffer) {
    Buffers b(std::vector<std::uint32_t>(StreamBuffers::kMaxOutstanding + 1, 4));
    StreamBuffers queue(StreamBuffers::Direction::Input, 1);
    for (std::size_t i = 0; i < StreamBuffers::kMaxOutstanding; ++i) ASSERT_TRUE(queue.Queue(b.headers[i]));
    auto& extra = b.headers.back();
    EXPECT_FALSE(queue.Queue(extra));
    EXPECT_EQ(extra.flags, whdr::Prepared);
    EXPECT_EQ(queue.Outstanding(), StreamBuffers::kMaxOutstanding);

    // Once one comes back there is room again.
    const auto source = Ramp(4);
    ASSERT_EQ(queue.Fill(source.data(), 4), 4u);
    SinkLog sink;
    static_cast<void>(queue.DeliverDue(sink, 0));
    EXPECT_TRUE(queue.Queue(extra));
}

// An input device that fails mid-capture: the part-filled buffer comes back
// with what it holds, then the failure, in that order; nothing is filled
// afterwards, and the untouched buffer waits for the reset.
TEST(StreamBuffers, AFailureHandsBackThePartFilledBufferThenReportsIt) {
    Buffers b({10, 10, 10});
    StreamBuffers queue(StreamBuffers::Direction::Input, 1);
    for (auto& h : b.headers) ASSERT_TRUE(queue.Queue(h));
    EXPECT_EQ(queue.Fill(Ramp(14).data(), 14), 14u);
    queue.FinishWithFailure(platform::mmr::BadDeviceId);
    queue.FinishWithFailure(platform::mmr::NoDriver);  // reported once
    EXPECT_EQ(queue.Fill(Ramp(5).data(), 5), 0u);

    SinkLog sink;
    EXPECT_EQ(queue.DeliverDue(sink, 0), 0.0);
    auto log = sink.entries();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(IndexOf(b, log[0].buffer), 0u);
    EXPECT_EQ(log[0].data, Ramp(10));
    EXPECT_EQ(IndexOf(b, log[1].buffer), 1u);
    EXPECT_EQ(log[1].data, Ramp(4, 10));
    EXPECT_EQ(log[2].message, mm::WimFailed);
    EXPECT_EQ(log[2].buffer, nullptr);
    EXPECT_EQ(log[2].bytes, platform::mmr::BadDeviceId);
    EXPECT_EQ(queue.Outstanding(), 1u) << "the untouched buffer is still queued";

    queue.ReturnAll(sink);
    log = sink.entries();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(IndexOf(b, log[3].buffer), 2u);
    EXPECT_EQ(log[3].bytes, 0u);
    EXPECT_EQ(queue.Outstanding(), 0u);
}

}  // namespace
}  // namespace tavrin::test
