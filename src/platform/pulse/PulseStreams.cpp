#include "platform/pulse/PulseStreams.h"

namespace tavrin::platform::pulse {
namespace {

constexpr std::uint32_t kServerChooses = static_cast<std::uint32_t>(-1);

}  // namespace

std::uint32_t BlockBytes(const stream::DeviceFormat& device) { return device.sampleRate * device.sampleBytes / 5; }

pa_stream* NewStream(PulseConnection& connection, const stream::DeviceFormat& device, const char* name) {
    const pa_sample_spec sampleFormat{device.sampleBytes == 1 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE, device.sampleRate, 1};
    pa_channel_map map;
    pa_channel_map_init_mono(&map);
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "production");
    pa_stream* stream = pa_stream_new_with_proplist(connection.context(), name, &sampleFormat, &map, props);
    pa_proplist_free(props);
    return stream;
}

void CorkStream(pa_stream* stream, bool cork) {
    if (pa_operation* op = pa_stream_cork(stream, cork ? 1 : 0, nullptr, nullptr)) pa_operation_unref(op);
}

void FlushStream(pa_stream* stream) {
    if (pa_operation* op = pa_stream_flush(stream, nullptr, nullptr)) pa_operation_unref(op);
}

void EndStream(pa_stream* stream) {
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}

pa_buffer_attr CaptureAttributes(const stream::DeviceFormat& device) {
    pa_buffer_attr attr;
    attr.maxlength = kServerChooses;
    attr.tlength = kServerChooses;
    attr.prebuf = kServerChooses;
    attr.minreq = kServerChooses;
    attr.fragsize = BlockBytes(device);
    return attr;
}

pa_buffer_attr PlaybackAttributes(const stream::DeviceFormat& device) {
    pa_buffer_attr attr;
    attr.maxlength = kServerChooses;
    attr.tlength = BlockBytes(device);
    attr.prebuf = kServerChooses;
    attr.minreq = BlockBytes(device) / 2;
    attr.fragsize = kServerChooses;
    return attr;
}

DeviceResult AwaitReady(PulseConnection& connection, pa_stream* stream) {
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY) return mmr::NoError;
        if (!PA_STREAM_IS_GOOD(state)) {
            const DeviceResult result = connection.LastResult();
            return result == mmr::NoError ? mmr::Error : result;
        }
        connection.Wait();
    }
}

}  // namespace tavrin::platform::pulse
