#pragma once

#include <cstdint>
#include <vector>

#include "SinkLog.h"
#include "platform/stream/CaptureStream.h"
#include "platform/stream/PlaybackStream.h"

namespace tavrin::test {

// Stands in for the audio library: calls a stream's callback with the frame
// counts a test chooses (cycling through the pattern), and between callbacks
// plays the recorder's part - takes finished buffers back and queues them
// again - the way the engine thread does with a real device.
class StreamDouble {
public:
    StreamDouble(std::uint32_t buffers, std::uint32_t bufferBytes)
        : storage(buffers, std::vector<std::uint8_t>(bufferBytes)), headers(buffers) {
        for (std::uint32_t i = 0; i < buffers; ++i) {
            headers[i].data = storage[i].data();
            headers[i].length = bufferBytes;
            headers[i].flags = platform::whdr::Prepared;
        }
    }

    // Feeds `samples` (device-format bytes) through the capture callback and
    // returns every byte that came back in the recorder's buffers.
    std::vector<std::uint8_t> Capture(platform::stream::CaptureStream& stream,
                                      const std::vector<std::uint8_t>& samples,
                                      const std::vector<std::uint32_t>& pattern) {
        auto& queue = stream.buffers();
        for (auto& h : headers) static_cast<void>(queue.Queue(h));
        const std::uint32_t frameBytes = stream.format().sampleBytes;
        std::vector<std::uint8_t> recorded;
        std::size_t at = 0;
        for (std::size_t call = 0; at < samples.size(); ++call) {
            const std::size_t left = (samples.size() - at) / frameBytes;
            const auto frames = static_cast<std::uint32_t>(std::min<std::size_t>(pattern[call % pattern.size()], left));
            stream.OnCapture(samples.data() + at, frames);
            at += std::size_t{frames} * frameBytes;
            Requeue(queue, recorded);
        }
        return recorded;
    }

    // Queues `bytes` (whole buffers of it) in the recorder's buffers, refilled
    // as they come back, and renders `frames` device frames through the playback callback.
    std::vector<std::uint8_t> Play(platform::stream::PlaybackStream& stream, const std::vector<std::uint8_t>& bytes,
                                   std::size_t frames, const std::vector<std::uint32_t>& pattern) {
        auto& queue = stream.buffers();
        std::size_t next = 0;
        auto refill = [&](platform::WaveBuffer& h) {
            if (next + h.length > bytes.size()) return;
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(next), h.length, h.data);
            next += h.length;
            static_cast<void>(queue.Queue(h));
        };
        for (auto& h : headers) refill(h);
        const std::uint32_t frameBytes = stream.format().sampleBytes;
        std::vector<std::uint8_t> out;
        for (std::size_t call = 0, done = 0; done < frames; ++call) {
            const std::size_t want = pattern[call % pattern.size()];
            const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(want, frames - done));
            std::vector<std::uint8_t> chunk(std::size_t{n} * frameBytes);
            stream.OnRender(chunk.data(), n, 0.0);
            out.insert(out.end(), chunk.begin(), chunk.end());
            done += n;
            SinkLog sink;
            static_cast<void>(queue.DeliverDue(sink, 0));
            for (const auto& e : sink.entries()) refill(*e.buffer);
        }
        return out;
    }

    std::vector<platform::WaveBuffer>& buffers() { return headers; }

private:
    void Requeue(platform::stream::StreamBuffers& queue, std::vector<std::uint8_t>& recorded) {
        SinkLog sink;
        static_cast<void>(queue.DeliverDue(sink, 0));
        for (const auto& e : sink.entries()) {
            recorded.insert(recorded.end(), e.data.begin(), e.data.end());
            static_cast<void>(queue.Queue(*e.buffer));
        }
    }

    std::vector<std::vector<std::uint8_t>> storage;
    std::vector<platform::WaveBuffer> headers;
};

inline std::vector<std::uint8_t> AsBytes(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    return bytes;
}

inline std::vector<std::int16_t> AsSamples(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return samples;
}

}  // namespace tavrin::test
