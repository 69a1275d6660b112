#include "support/ScriptedWaveDevice.h"

#include <algorithm>
#include <cstring>

namespace tavrin::test {
namespace {

using platform::DeviceResult;
using platform::WaveBuffer;
namespace mmr = platform::mmr;
namespace whdr = platform::whdr;

const char* NameOf(DeviceCall call) {
    switch (call) {
        case DeviceCall::Open: return "open";
        case DeviceCall::Prepare: return "prepare";
        case DeviceCall::Unprepare: return "unprepare";
        case DeviceCall::Add: return "add";
        case DeviceCall::Write: return "write";
        case DeviceCall::Start: return "start";
        case DeviceCall::Pause: return "pause";
        case DeviceCall::Restart: return "restart";
        case DeviceCall::Reset: return "reset";
        case DeviceCall::Close: return "close";
        case DeviceCall::SetVolume: return "setVolume";
    }
    return "?";
}

}  // namespace

int DeviceScript::count(DeviceCall call) const {
    auto it = counts.find(call);
    return it == counts.end() ? 0 : it->second;
}

DeviceResult DeviceScript::enter(DeviceCall call) {
    calls.emplace_back(NameOf(call));
    const int nth = ++counts[call];
    auto it = failures.find({call, nth});
    return it == failures.end() ? mmr::NoError : it->second;
}

bool DeviceScript::accepts(const platform::AudioFormat& format) const {
    return std::find(refused.begin(), refused.end(), format) == refused.end();
}

// --- Input -----------------------------------------------------------------------

DeviceResult ScriptedWaveIn::open(const platform::AudioFormat& f, platform::WaveSink& s) {
    if (DeviceResult r = enter(DeviceCall::Open)) return r;
    if (!hasDevice) return mmr::BadDeviceId;
    if (open_) return mmr::Allocated;
    if (!accepts(f)) return mmr::BadFormat;
    open_ = true;
    started = false;
    format = f;
    sink = &s;
    return mmr::NoError;
}

DeviceResult ScriptedWaveIn::prepare(WaveBuffer& buffer) {
    if (DeviceResult r = enter(DeviceCall::Prepare)) return r;
    if (!open_) return mmr::InvalidHandle;
    return platform::MarkPrepared(buffer);
}

DeviceResult ScriptedWaveIn::unprepare(WaveBuffer& buffer) {
    if (DeviceResult r = enter(DeviceCall::Unprepare)) return r;
    if (!open_) return mmr::InvalidHandle;
    return platform::MarkUnprepared(buffer);
}

DeviceResult ScriptedWaveIn::add(WaveBuffer& buffer) {
    if (DeviceResult r = enter(DeviceCall::Add)) return r;
    if (!open_) return mmr::InvalidHandle;
    if (DeviceResult r = platform::MarkQueued(buffer)) return r;
    buffer.bytesRecorded = 0;
    queue.push_back(&buffer);
    if (onAdd) onAdd(buffer);
    return mmr::NoError;
}

DeviceResult ScriptedWaveIn::start() {
    if (DeviceResult r = enter(DeviceCall::Start)) return r;
    if (!open_) return mmr::InvalidHandle;
    started = true;
    return mmr::NoError;
}

DeviceResult ScriptedWaveIn::reset() {
    if (DeviceResult r = enter(DeviceCall::Reset)) return r;
    if (!open_) return mmr::InvalidHandle;
    started = false;
    while (!queue.empty()) {
        WaveBuffer* buffer = queue.front();
        queue.pop_front();
        platform::MarkReturned(*buffer);
        sink->notify(platform::mm::WimData, buffer, buffer->bytesRecorded);
    }
    return mmr::NoError;
}

DeviceResult ScriptedWaveIn::close() {
    if (DeviceResult r = enter(DeviceCall::Close)) return r;
    if (!open_) return mmr::InvalidHandle;
    if (!queue.empty()) return mmr::StillPlaying;
    open_ = false;
    sink = nullptr;
    return mmr::NoError;
}

bool ScriptedWaveIn::fillFront(const std::function<std::uint32_t(std::uint8_t*, std::uint32_t)>& fill,
                               std::int32_t peak) {
    if (!open_ || !started || queue.empty()) return false;
    WaveBuffer* buffer = queue.front();
    queue.pop_front();
    buffer->bytesRecorded = fill(buffer->data, buffer->length);
    buffer->peak = peak;
    platform::MarkReturned(*buffer);
    sink->notify(platform::mm::WimData, buffer, buffer->bytesRecorded);
    return true;
}

bool ScriptedWaveIn::deliver(const std::vector<std::uint8_t>& bytes, std::int32_t peak) {
    return fillFront(
        [&](std::uint8_t* data, std::uint32_t length) {
            const auto n = std::min<std::uint32_t>(length, static_cast<std::uint32_t>(bytes.size()));
            std::memcpy(data, bytes.data(), n);
            return n;
        },
        peak);
}

bool ScriptedWaveIn::stopOnItsOwn(platform::DeviceResult result) {
    if (!open_ || !sink) return false;
    sink->notify(platform::mm::WimFailed, nullptr, result);
    return true;
}

bool ScriptedWaveIn::deliverFill(std::uint8_t value) {
    return fillFront([&](std::uint8_t* data, std::uint32_t length) {
        std::memset(data, value, length);
        return length;
    });
}

bool ScriptedWaveIn::deliverSample16(std::int16_t value) {
    return fillFront([&](std::uint8_t* data, std::uint32_t length) {
        const auto word = static_cast<std::uint16_t>(value);
        for (std::uint32_t i = 0; i + 1 < length; i += 2) {
            data[i] = static_cast<std::uint8_t>(word);
            data[i + 1] = static_cast<std::uint8_t>(word >> 8);
        }
        return length;
    });
}

// --- Output ----------------------------------------------------------------------

DeviceResult ScriptedWaveOut::open(const platform::AudioFormat& f, platform::WaveSink& s) {
    if (DeviceResult r = enter(DeviceCall::Open)) return r;
    if (!hasDevice) return mmr::BadDeviceId;
    if (open_) return mmr::Allocated;
    if (!accepts(f)) return mmr::BadFormat;
    open_ = true;
    paused = false;
    format = f;
    sink = &s;
    return mmr::NoError;
}

DeviceResult ScriptedWaveOut::prepare(WaveBuffer& buffer) {
    if (DeviceResult r = enter(DeviceCall::Prepare)) return r;
    if (!open_) return mmr::InvalidHandle;
    return platform::MarkPrepared(buffer);
}

DeviceResult ScriptedWaveOut::unprepare(WaveBuffer& buffer) {
    if (DeviceResult r = enter(DeviceCall::Unprepare)) return r;
    if (!open_) return mmr::InvalidHandle;
    return platform::MarkUnprepared(buffer);
}

DeviceResult ScriptedWaveOut::write(WaveBuffer& buffer) {
    if (DeviceResult r = enter(DeviceCall::Write)) return r;
    if (!open_) return mmr::InvalidHandle;
    if (DeviceResult r = platform::MarkQueued(buffer)) return r;
    playedBytes.insert(playedBytes.end(), buffer.data, buffer.data + buffer.length);
    queue.push_back(&buffer);
    return mmr::NoError;
}

DeviceResult ScriptedWaveOut::pause() {
    if (DeviceResult r = enter(DeviceCall::Pause)) return r;
    if (!open_) return mmr::InvalidHandle;
    paused = true;
    return mmr::NoError;
}

DeviceResult ScriptedWaveOut::restart() {
    if (DeviceResult r = enter(DeviceCall::Restart)) return r;
    if (!open_) return mmr::InvalidHandle;
    paused = false;
    return mmr::NoError;
}

DeviceResult ScriptedWaveOut::reset() {
    if (DeviceResult r = enter(DeviceCall::Reset)) return r;
    if (!open_) return mmr::InvalidHandle;
    paused = false;
    while (!queue.empty()) complete();
    return mmr::NoError;
}

DeviceResult ScriptedWaveOut::close() {
    if (DeviceResult r = enter(DeviceCall::Close)) return r;
    if (!open_) return mmr::InvalidHandle;
    if (!queue.empty()) return mmr::StillPlaying;
    open_ = false;
    platform::WaveSink* closing = sink;
    sink = nullptr;
    closing->notify(platform::mm::WomClose, nullptr, 0);
    return mmr::NoError;
}

DeviceResult ScriptedWaveOut::setVolume(std::uint32_t value) {
    if (DeviceResult r = enter(DeviceCall::SetVolume)) return r;
    if (!hasDevice) return mmr::BadDeviceId;
    volume = value;
    return mmr::NoError;
}

DeviceResult ScriptedWaveOut::getVolume(std::uint32_t& value) {
    if (!hasDevice) return mmr::BadDeviceId;
    value = volume;
    return mmr::NoError;
}

bool ScriptedWaveOut::complete() { return !paused && completeHeard(); }

bool ScriptedWaveOut::completeHeard() {
    if (!open_ || queue.empty()) return false;
    WaveBuffer* buffer = queue.front();
    queue.pop_front();
    platform::MarkReturned(*buffer);
    sink->notify(platform::mm::WomDone, buffer, buffer->length);
    return true;
}

}  // namespace tavrin::test
