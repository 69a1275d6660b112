#pragma once

#include <cstdint>

namespace tavrin::platform {

// What a device call answers. The numbers are the ones the recorder has always
// put into its result details, so a failure reads the same on every back-end.
using DeviceResult = std::uint32_t;

namespace mmr {
inline constexpr DeviceResult NoError = 0;
inline constexpr DeviceResult Error = 1;
inline constexpr DeviceResult BadDeviceId = 2;
inline constexpr DeviceResult Allocated = 4;
inline constexpr DeviceResult InvalidHandle = 5;
inline constexpr DeviceResult NoDriver = 6;
inline constexpr DeviceResult NoMem = 7;
inline constexpr DeviceResult InvalidParam = 11;
inline constexpr DeviceResult BadFormat = 32;     // the device cannot take this wave format
inline constexpr DeviceResult StillPlaying = 33;  // buffers are still queued
inline constexpr DeviceResult Unprepared = 34;    // the buffer was not prepared
}  // namespace mmr

// Notifications a device delivers, with their traditional message ids.
namespace mm {
inline constexpr std::uint32_t WomOpen = 0x3BB;
inline constexpr std::uint32_t WomClose = 0x3BC;
inline constexpr std::uint32_t WomDone = 0x3BD;
inline constexpr std::uint32_t WimOpen = 0x3BE;
inline constexpr std::uint32_t WimClose = 0x3BF;
inline constexpr std::uint32_t WimData = 0x3C0;
// Not one of the traditional ids: the input device stopped capturing on its
// own (its source went away, the sound server ended) and will fill nothing
// more. `bytes` carries the device result. Every buffer it had filled, the
// one in progress with what it held, comes back as WimData first; the
// untouched ones stay queued until reset.
inline constexpr std::uint32_t WimFailed = 0x3CF;
}  // namespace mm

// Buffer flags, as the devices set them.
namespace whdr {
inline constexpr std::uint32_t Done = 0x1;
inline constexpr std::uint32_t Prepared = 0x2;
inline constexpr std::uint32_t InQueue = 0x10;
}  // namespace whdr

// The wave format a device is opened with; the same fields, in the same
// order, as the record in a file's fmt chunk.
struct AudioFormat {
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSec = 8000;
    std::uint32_t avgBytesPerSec = 8000;
    std::uint16_t blockAlign = 1;
    std::uint16_t bitsPerSample = 8;
    std::uint16_t cbSize = 0;           // GSM only: 2
    std::uint16_t samplesPerBlock = 0;  // GSM only: 320
    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

inline constexpr std::uint16_t kFormatTagPcm = 0x0001;
inline constexpr std::uint16_t kFormatTagGsm = 0x0031;

// One device buffer. The memory belongs to the caller; the device fills it
// (input) or plays it (output) between `add`/`write` and the notification
// that hands it back, and does not touch it otherwise.
struct WaveBuffer {
    std::uint8_t* data = nullptr;
    std::uint32_t length = 0;         // bytes
    std::uint32_t bytesRecorded = 0;  // input: what the device put in
    std::uint32_t flags = 0;          // whdr::…
    // Input in an encoded format: the largest sample magnitude (0..32767) of
    // what the device encoded into it, measured before encoding so that a
    // meter need not decode it again; -1 when not measured.
    std::int32_t peak = -1;
};

// The largest magnitude of 16-bit samples, 0..32767, as a device measures
// `WaveBuffer::peak`.
inline std::int32_t PeakOf(const std::int16_t* samples, std::uint32_t count) {
    std::int32_t peak = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::int32_t magnitude = samples[i] < 0 ? -std::int32_t{samples[i]} : samples[i];
        if (magnitude > peak) peak = magnitude;
    }
    return peak > 32767 ? 32767 : peak;
}

// The buffer bookkeeping every device does alike: a buffer is prepared once,
// queued only when prepared and not already queued, and unprepared only when
// the device has handed it back.
inline DeviceResult MarkPrepared(WaveBuffer& buffer) {
    buffer.flags |= whdr::Prepared;
    return mmr::NoError;
}

inline DeviceResult MarkUnprepared(WaveBuffer& buffer) {
    if (buffer.flags & whdr::InQueue) return mmr::StillPlaying;
    buffer.flags &= ~whdr::Prepared;
    return mmr::NoError;
}

// Whether the buffer may be queued now; nothing is marked.
inline DeviceResult CheckQueueable(const WaveBuffer& buffer) {
    if (!(buffer.flags & whdr::Prepared)) return mmr::Unprepared;
    if (buffer.flags & whdr::InQueue) return mmr::StillPlaying;
    return mmr::NoError;
}

inline DeviceResult MarkQueued(WaveBuffer& buffer) {
    if (const DeviceResult r = CheckQueueable(buffer); r != mmr::NoError) return r;
    buffer.flags = (buffer.flags | whdr::InQueue) & ~whdr::Done;
    return mmr::NoError;
}

// The device hands the buffer back: done, and no longer queued.
inline void MarkReturned(WaveBuffer& buffer) { buffer.flags = (buffer.flags | whdr::Done) & ~whdr::InQueue; }

// Where a device delivers its notifications. `notify` is called on the
// device's own delivery thread (or inside reset/close on the caller's), never
// from a real-time audio callback; it returns quickly and does not call back
// into the device. For WimData `bytes` is the recorded byte count.
class WaveSink {
public:
    virtual ~WaveSink() = default;
    virtual void notify(std::uint32_t message, WaveBuffer* buffer, std::uint32_t bytes) noexcept = 0;
};

// The default wave-input device. Queued buffers are filled in the order they
// were added and come back through the sink as WimData.
class WaveIn {
public:
    virtual ~WaveIn() = default;
    // False when the system has no input device at all.
    virtual bool present() = 0;
    // Whether `open` would accept the format; nothing is opened.
    virtual bool isFormatSupported(const AudioFormat& format) = 0;
    [[nodiscard]] virtual DeviceResult open(const AudioFormat& format, WaveSink& sink) = 0;
    [[nodiscard]] virtual DeviceResult prepare(WaveBuffer& buffer) = 0;
    [[nodiscard]] virtual DeviceResult unprepare(WaveBuffer& buffer) = 0;
    [[nodiscard]] virtual DeviceResult add(WaveBuffer& buffer) = 0;
    [[nodiscard]] virtual DeviceResult start() = 0;
    // Stops capture and hands every queued buffer back (WimData) before it returns.
    [[nodiscard]] virtual DeviceResult reset() = 0;
    // Refused with StillPlaying while buffers are queued.
    [[nodiscard]] virtual DeviceResult close() = 0;
};

// The default wave-output device. Written buffers play in order and come back
// through the sink as WomDone; `close` ends with WomClose.
class WaveOut {
public:
    virtual ~WaveOut() = default;
    virtual bool present() = 0;
    virtual bool isFormatSupported(const AudioFormat& format) = 0;
    [[nodiscard]] virtual DeviceResult open(const AudioFormat& format, WaveSink& sink) = 0;
    [[nodiscard]] virtual DeviceResult prepare(WaveBuffer& buffer) = 0;
    [[nodiscard]] virtual DeviceResult unprepare(WaveBuffer& buffer) = 0;
    [[nodiscard]] virtual DeviceResult write(WaveBuffer& buffer) = 0;
    [[nodiscard]] virtual DeviceResult pause() = 0;
    [[nodiscard]] virtual DeviceResult restart() = 0;
    // Stops output and hands every queued buffer back (WomDone) before it returns.
    [[nodiscard]] virtual DeviceResult reset() = 0;
    [[nodiscard]] virtual DeviceResult close() = 0;
    // Left volume in the low 16 bits, right in the high 16 bits.
    [[nodiscard]] virtual DeviceResult setVolume(std::uint32_t volume) = 0;
    [[nodiscard]] virtual DeviceResult getVolume(std::uint32_t& volume) = 0;
};

}  // namespace tavrin::platform
