#include "platform/file/FileWaveOut.h"

#include <gsm.h>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "platform/file/SignalConverter.h"

namespace tavrin::platform::file {
namespace {

constexpr std::uint32_t kHeaderBytes = 44;
constexpr std::uint32_t kGsmBlockBytes = 65;
constexpr std::uint32_t kGsmBlockSamples = 320;
constexpr std::uint32_t kGsmFirstFrameBytes = 33;

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

bool IsGsm(const AudioFormat& f) { return f.formatTag == kFormatTagGsm; }

// The 44-byte header of the file written: PCM in the device's format, or
// 8 kHz 16-bit mono for GSM.
void BuildHeader(std::uint8_t* h, const AudioFormat& device, std::uint32_t dataBytes) {
    const std::uint16_t channels = IsGsm(device) ? 1 : device.channels;
    const std::uint32_t rate = device.samplesPerSec;
    const std::uint16_t bits = IsGsm(device) ? 16 : device.bitsPerSample;
    const auto align = static_cast<std::uint16_t>(channels * bits / 8);
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, kFormatTagPcm);
    Put16(h + 22, channels);
    Put32(h + 24, rate);
    Put32(h + 28, rate * align);
    Put16(h + 32, align);
    Put16(h + 34, bits);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
}

// Device-format bytes in `ms` of audio, whole blocks only; no limit at all
// is the most a 64-bit count holds.
std::uint64_t LimitBytes(const AudioFormat& f, std::optional<std::uint32_t> ms) {
    if (!ms) return UINT64_MAX;
    const std::uint64_t samples = std::uint64_t{*ms} * f.samplesPerSec / 1000;
    const std::uint64_t perBlock = IsGsm(f) ? kGsmBlockSamples : 1;
    return samples / perBlock * f.blockAlign;
}

}  // namespace

FileWaveOut::FileWaveOut(FileSystem& fileSystem, std::string outputPath, bool pace)
    : files(fileSystem), path(std::move(outputPath)), realtime(pace) {}

FileWaveOut::~FileWaveOut() {
    bool wasOpen = false;
    {
        std::lock_guard lock(mutex);
        wasOpen = opened;
    }
    if (wasOpen) {
        static_cast<void>(reset());
        static_cast<void>(close());
    }
}

bool FileWaveOut::isFormatSupported(const AudioFormat& f) {
    if (IsGsm(f)) return SignalConverter::Supports(f);
    return f.formatTag == kFormatTagPcm && (f.channels == 1 || f.channels == 2) &&
           (f.bitsPerSample == 8 || f.bitsPerSample == 16) && f.samplesPerSec >= 1000 && f.samplesPerSec <= 192000 &&
           f.blockAlign == f.channels * f.bitsPerSample / 8;
}

DeviceResult FileWaveOut::open(const AudioFormat& f, WaveSink& s) {
    std::lock_guard lock(mutex);
    if (opened) return mmr::Allocated;
    if (!isFormatSupported(f)) return mmr::BadFormat;
    output = files.open(path, OpenMode::ReadWriteCreate, false);
    std::uint8_t header[kHeaderBytes];
    BuildHeader(header, f, 0);
    std::uint32_t written = 0;
    if (!output || !output->setLength(0) || !output->seek(0) || !output->write(header, kHeaderBytes, written) ||
        written != kHeaderBytes) {
        output.reset();
        return mmr::Error;
    }
    if (IsGsm(f)) {
        decoder = gsm_create();
        int on = 1;
        if (!decoder || gsm_option(decoder, GSM_OPT_WAV49, &on) < 0) {
            if (decoder) gsm_destroy(decoder);
            decoder = nullptr;
            output.reset();
            return mmr::NoMem;
        }
        decoded.resize(kGsmBlockSamples);
    }
    try {
        worker = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        output.reset();
        return mmr::NoMem;
    }
    format = f;
    sink = &s;
    opened = true;
    paused = false;
    failed = false;
    dataBytes = 0;
    bytesPlayed = 0;
    limitLeft = LimitBytes(f, limitMs);
    limitReached.store(limitLeft == 0, std::memory_order_release);
    startedAt = std::chrono::steady_clock::now();
    return mmr::NoError;
}

void FileWaveOut::SetPlayLimit(std::optional<std::uint32_t> milliseconds) {
    std::lock_guard lock(mutex);
    limitMs = milliseconds;
}

void FileWaveOut::SetOnLimitReached(std::function<void()> call) {
    std::lock_guard lock(mutex);
    onLimitReached = std::move(call);
}

DeviceResult FileWaveOut::prepare(WaveBuffer& buffer) {
    std::lock_guard lock(mutex);
    if (!opened) return mmr::InvalidHandle;
    return MarkPrepared(buffer);
}

DeviceResult FileWaveOut::unprepare(WaveBuffer& buffer) {
    std::lock_guard lock(mutex);
    if (!opened) return mmr::InvalidHandle;
    return MarkUnprepared(buffer);
}

DeviceResult FileWaveOut::write(WaveBuffer& buffer) {
    {
        std::lock_guard lock(mutex);
        if (!opened) return mmr::InvalidHandle;
        if (const DeviceResult r = MarkQueued(buffer); r != mmr::NoError) return r;
        queue.push_back(&buffer);
    }
    wake.notify_one();
    return mmr::NoError;
}

DeviceResult FileWaveOut::pause() {
    std::lock_guard lock(mutex);
    if (!opened) return mmr::InvalidHandle;
    paused = true;
    return mmr::NoError;
}

DeviceResult FileWaveOut::restart() {
    {
        std::lock_guard lock(mutex);
        if (!opened) return mmr::InvalidHandle;
        if (paused) {
            paused = false;
            // Carry on at the pace of the audio from here, not from before the pause.
            const auto ahead = std::chrono::duration<double>(static_cast<double>(bytesPlayed) / format.avgBytesPerSec);
            startedAt = std::chrono::steady_clock::now() -
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(ahead);
        }
    }
    wake.notify_one();
    return mmr::NoError;
}

DeviceResult FileWaveOut::reset() {
    {
        std::lock_guard lock(mutex);
        if (!opened) return mmr::InvalidHandle;
        paused = false;
        // What was still queued is not played; it comes back at once.
        while (!queue.empty()) {
            WaveBuffer* buffer = queue.front();
            queue.pop_front();
            buffer->flags = (buffer->flags | whdr::Done) & ~whdr::InQueue;
            sink->notify(mm::WomDone, buffer, buffer->length);
        }
    }
    wake.notify_one();
    return mmr::NoError;
}

DeviceResult FileWaveOut::close() {
    {
        std::lock_guard lock(mutex);
        if (!opened) return mmr::InvalidHandle;
        if (!queue.empty()) return mmr::StillPlaying;
        quitting = true;
    }
    wake.notify_one();
    worker.join();
    std::lock_guard lock(mutex);
    quitting = false;
    opened = false;
    const bool finished = FinishHeader() && !failed;
    output.reset();
    if (decoder) gsm_destroy(decoder);
    decoder = nullptr;
    WaveSink* closing = sink;
    sink = nullptr;
    closing->notify(mm::WomClose, nullptr, 0);
    return finished ? mmr::NoError : mmr::Error;
}

DeviceResult FileWaveOut::setVolume(std::uint32_t value) {
    std::lock_guard lock(mutex);
    volume = value;
    return mmr::NoError;
}

DeviceResult FileWaveOut::getVolume(std::uint32_t& value) {
    std::lock_guard lock(mutex);
    value = volume;
    return mmr::NoError;
}

void FileWaveOut::Run() {
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return quitting || CanPlay(); });
        if (quitting) return;
        if (realtime) {
            const WaveBuffer* next = queue.front();
            const double seconds = static_cast<double>(bytesPlayed + next->length) / format.avgBytesPerSec;
            const auto due = startedAt + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                             std::chrono::duration<double>(seconds));
            if (wake.wait_until(lock, due, [&] { return quitting || !CanPlay() || queue.front() != next; })) continue;
        }
        PlayFront();
    }
}

// Runs with the mutex held.
void FileWaveOut::PlayFront() {
    WaveBuffer* buffer = queue.front();
    queue.pop_front();
    const auto heard = static_cast<std::uint32_t>(std::min<std::uint64_t>(buffer->length, limitLeft));
    if (!Append(buffer->data, heard)) failed = true;
    limitLeft -= heard;
    if (limitLeft == 0 && !limitReached.exchange(true, std::memory_order_acq_rel) && onLimitReached) onLimitReached();
    bytesPlayed += buffer->length;
    buffer->flags = (buffer->flags | whdr::Done) & ~whdr::InQueue;
    sink->notify(mm::WomDone, buffer, buffer->length);
}

bool FileWaveOut::Append(const std::uint8_t* data, std::uint32_t bytes) {
    std::uint32_t written = 0;
    if (!IsGsm(format)) {
        if (!output->write(data, bytes, written) || written != bytes) return false;
        dataBytes += bytes;
        return true;
    }
    for (std::uint32_t at = 0; at + kGsmBlockBytes <= bytes; at += kGsmBlockBytes) {
        // libgsm takes non-const pointers but only reads the frame bytes.
        auto* block = const_cast<gsm_byte*>(data + at);
        gsm_decode(decoder, block, decoded.data());
        gsm_decode(decoder, block + kGsmFirstFrameBytes, decoded.data() + kGsmBlockSamples / 2);
        std::uint8_t pcm[kGsmBlockSamples * 2];
        for (std::uint32_t i = 0; i < kGsmBlockSamples; ++i) Put16(pcm + 2 * i, static_cast<std::uint16_t>(decoded[i]));
        if (!output->write(pcm, sizeof pcm, written) || written != sizeof pcm) return false;
        dataBytes += sizeof pcm;
    }
    return true;
}

bool FileWaveOut::FinishHeader() {
    std::uint8_t header[kHeaderBytes];
    BuildHeader(header, format, dataBytes);
    std::uint32_t written = 0;
    return output && output->seek(0) && output->write(header, kHeaderBytes, written) && written == kHeaderBytes;
}

}  // namespace tavrin::platform::file
