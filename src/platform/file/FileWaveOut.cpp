#include "platform/file/FileWaveOut.h"

#include <gsm.h>

#include <algorithm>
#include <system_error>

#include "platform/file/SignalConverter.h"
#include "wav/HeaderLayout.h"

namespace tavrin::platform::file {
namespace {

constexpr std::uint32_t kGsmFirstFrameBytes = 33;

bool IsGsm(const AudioFormat& f) { return f.formatTag == kFormatTagGsm; }

// Writes the header of the file for `dataBytes` of audio at its start: PCM in
// the device's format, or 8 kHz 16-bit mono for GSM.
bool WriteHeader(File& output, const AudioFormat& device, std::uint32_t dataBytes) {
    const bool gsm = IsGsm(device);
    const wav::WaveFormat pcm = wav::BuildWaveFormat(wav::kTagPcm, device.samplesPerSec,
                                                     gsm ? 16 : device.bitsPerSample, gsm ? 1 : device.channels);
    const wav::NewHeader header = wav::BuildNewHeader(pcm, dataBytes);
    std::uint32_t written = 0;
    return output.seek(0) && output.write(header.bytes.data(), header.Size(), written) && written == header.Size();
}

// Device-format bytes in `ms` of audio, whole blocks only; no limit at all
// is the most a 64-bit count holds.
std::uint64_t LimitBytes(const AudioFormat& f, std::optional<std::uint32_t> ms) {
    if (!ms) return UINT64_MAX;
    const std::uint64_t samples = std::uint64_t{*ms} * f.samplesPerSec / 1000;
    const std::uint64_t perBlock = IsGsm(f) ? wav::kGsmSamplesPerBlock : 1;
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
    if (!output || !output->setLength(0) || !WriteHeader(*output, f, 0)) {
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
        decoded.resize(wav::kGsmSamplesPerBlock);
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
    for (std::uint32_t at = 0; at + wav::kGsmBlockBytes <= bytes; at += wav::kGsmBlockBytes) {
        // libgsm takes non-const pointers but only reads the frame bytes.
        auto* block = const_cast<gsm_byte*>(data + at);
        gsm_decode(decoder, block, decoded.data());
        gsm_decode(decoder, block + kGsmFirstFrameBytes, decoded.data() + wav::kGsmSamplesPerBlock / 2);
        std::uint8_t pcm[wav::kGsmSamplesPerBlock * 2];
        for (std::uint32_t i = 0; i < wav::kGsmSamplesPerBlock; ++i)
            wav::StoreLe16(pcm + 2 * i, static_cast<std::uint16_t>(decoded[i]));
        if (!output->write(pcm, sizeof pcm, written) || written != sizeof pcm) return false;
        dataBytes += sizeof pcm;
    }
    return true;
}

bool FileWaveOut::FinishHeader() {
    return output && WriteHeader(*output, format, dataBytes);
}

}  // namespace tavrin::platform::file
