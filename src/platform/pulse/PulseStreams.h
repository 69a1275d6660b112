#pragma once

#include <pulse/pulseaudio.h>


#include "platform/stream/DeviceFormat.h"
#include "platform/pulse/PulseConnection.h"

// What the record and playback streams share. Included only by this folder.
namespace tavrin::platform::pulse {

// One 200 ms buffer of the device side of a stream, in bytes.
std::uint32_t BlockBytes(const stream::DeviceFormat& device);

// A mono stream in the device format, not yet connected; null on failure.
// Under the mainloop's lock.
pa_stream* NewStream(PulseConnection& connection, const stream::DeviceFormat& device, const char* name);

// Under the mainloop's lock: pauses (corks) or resumes a stream, or drops
// what the server holds of it, without waiting for the server's answer.
void CorkStream(pa_stream* stream, bool cork);
void FlushStream(pa_stream* stream);

// Under the mainloop's lock: silences a stream's callbacks, disconnects and
// drops it. Both directions end their streams this way.
void EndStream(pa_stream* stream);

// Capture: the server hands over one 200 ms block at a time.
pa_buffer_attr CaptureAttributes(const stream::DeviceFormat& device);
// Playback: the server holds about one block and asks for more half a block at a time.
pa_buffer_attr PlaybackAttributes(const stream::DeviceFormat& device);

// Under the mainloop's lock: waits until a connecting stream is ready or has
// failed, and answers which.
DeviceResult AwaitReady(PulseConnection& connection, pa_stream* stream);

}  // namespace tavrin::platform::pulse
