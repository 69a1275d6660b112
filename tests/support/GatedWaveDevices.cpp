#include "support/GatedWaveDevices.h"

#include <vector>

namespace tavrin::test {

namespace mm = platform::mm;
namespace mmr = platform::mmr;
namespace whdr = platform::whdr;

void GateCounter::add() {
    {
        std::lock_guard lock(mutex);
        ++counted;
    }
    changed.notify_all();
}

std::uint64_t GateCounter::value() const {
    std::lock_guard lock(mutex);
    return counted;
}

bool GateCounter::waitFor(std::uint64_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, limit, [&] { return counted >= count; });
}

platform::DeviceResult GatedWaveIn::open(const platform::AudioFormat& format, platform::WaveSink& sink) {
    {
        std::lock_guard lock(mutex);
        owner = &sink;
        credits = 0;
        held.clear();
    }
    return inner.open(format, *this);
}

platform::DeviceResult GatedWaveIn::add(platform::WaveBuffer& buffer) {
    // The lock is kept while the device takes the buffer so that buffers
    // reach it in the order the engine queued them.
    std::lock_guard lock(mutex);
    if (credits == 0 || !held.empty()) {
        held.push_back(&buffer);
        return mmr::NoError;
    }
    --credits;
    return inner.add(buffer);
}

void GatedWaveIn::release(std::uint32_t buffers) {
    std::lock_guard lock(mutex);
    credits += buffers;
    while (credits > 0 && !held.empty()) {
        platform::WaveBuffer* buffer = held.front();
        held.pop_front();
        --credits;
        static_cast<void>(inner.add(*buffer));
    }
}

platform::DeviceResult GatedWaveIn::reset() {
    const platform::DeviceResult result = inner.reset();
    std::vector<platform::WaveBuffer*> back;
    {
        std::lock_guard lock(mutex);
        back.assign(held.begin(), held.end());
        held.clear();
        credits = 0;
    }
    // Like a device reset: every buffer still queued comes back, here empty.
    for (platform::WaveBuffer* buffer : back) {
        buffer->bytesRecorded = 0;
        platform::MarkReturned(*buffer);
        owner->notify(mm::WimData, buffer, 0);
    }
    return result;
}

void GatedWaveIn::notify(std::uint32_t message, platform::WaveBuffer* buffer, std::uint32_t bytes) noexcept {
    owner->notify(message, buffer, bytes);
    // Counted after the engine has it queued: whatever the test asks next comes after it.
    if (message == mm::WimData && bytes > 0) filledCount.add();
}

platform::DeviceResult GatedWaveOut::open(const platform::AudioFormat& format, platform::WaveSink& sink) {
    {
        std::lock_guard lock(mutex);
        owner = &sink;
        held.clear();
    }
    return inner.open(format, sink);
}

platform::DeviceResult GatedWaveOut::write(platform::WaveBuffer& buffer) {
    std::lock_guard lock(mutex);
    platform::DeviceResult result = mmr::NoError;
    if (gateOpen || (credits > 0 && held.empty())) {
        if (!gateOpen) --credits;
        result = inner.write(buffer);
    } else {
        buffer.flags = (buffer.flags | whdr::InQueue) & ~whdr::Done;
        held.push_back(&buffer);
    }
    writtenCount.add();
    return result;
}

void GatedWaveOut::PassHeld() {
    while ((gateOpen || credits > 0) && !held.empty()) {
        platform::WaveBuffer* buffer = held.front();
        held.pop_front();
        if (!gateOpen) --credits;
        // Queued here, not yet in the device: the device would refuse a buffer marked as queued.
        buffer->flags &= ~whdr::InQueue;
        static_cast<void>(inner.write(*buffer));
    }
}

void GatedWaveOut::release(std::uint32_t buffers) {
    std::lock_guard lock(mutex);
    credits += buffers;
    PassHeld();
}

void GatedWaveOut::openGate() {
    std::lock_guard lock(mutex);
    gateOpen = true;
    PassHeld();
}

void GatedWaveOut::closeGate() {
    std::lock_guard lock(mutex);
    gateOpen = false;
    credits = 0;
}

platform::DeviceResult GatedWaveOut::reset() {
    const platform::DeviceResult result = inner.reset();
    std::vector<platform::WaveBuffer*> back;
    {
        std::lock_guard lock(mutex);
        back.assign(held.begin(), held.end());
        held.clear();
        credits = 0;
    }
    // Held buffers were never played; like the device's own queue they come back at once.
    for (platform::WaveBuffer* buffer : back) {
        platform::MarkReturned(*buffer);
        owner->notify(mm::WomDone, buffer, buffer->length);
    }
    return result;
}

}  // namespace tavrin::test
