#!/usr/bin/env bash
# Listening and sharing a 60-minute 22.05 kHz 16-bit recording, as whole
# processes beside the tools people already use:
#   - the waveform: bench_waveform (cold and cached) against `sox FILE -n stat`
#     reading the file once;
#   - export to Opus: `tavrin-cli export` (24 kbit/s) against
#     `ffmpeg -c:a libopus -b:a 24k`, time and size;
#   - playing at 1.5x against 1x: CPU seconds per minute of recording, played
#     into the file-backed speaker as fast as the engine feeds it.
#
#   bench/listen_vs_tools.sh [build folder] [minutes]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/default}
minutes=${2:-60}
cli=$build/src/cli/tavrin-cli
for tool in sox ffmpeg /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "listen_vs_tools: $tool is not installed" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "listen_vs_tools: no tavrin-cli in $build" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Speech-like enough for an encoder: a sweep under a tone, its loudness moving.
sox -n -r 22050 -c 1 -b 16 "$work/rec.wav" synth $((minutes * 60)) sine 200-3000 sine 440 remix 1-2 \
    tremolo 0.3 90 vol 0.4

# Wall seconds, CPU seconds (user + system) and peak KiB of a command.
measure() {
    /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
        cat "$work/stderr" >&2
        exit 1
    }
    awk '{ printf "%.2f s wall, %.2f s CPU, %d KiB", $1, $2 + $3, $4 }' "$work/time"
}

echo "recording: $minutes min, 22.05 kHz 16-bit mono ($(stat -c %s "$work/rec.wav") bytes)"
echo "sox -n stat:          $(measure sox "$work/rec.wav" -n stat)"
if [ -x "$build/bench/bench_waveform" ]; then
    "$build/bench/bench_waveform" --benchmark_format=console 2>/dev/null | grep -E '^BM_'
fi
echo "tavrin-cli export:    $(measure "$cli" export "$work/rec.wav" -o "$work/tavrin.opus"), $(stat -c %s "$work/tavrin.opus") bytes"
echo "ffmpeg libopus 24k:   $(measure ffmpeg -v error -i "$work/rec.wav" -c:a libopus -b:a 24k "$work/ffmpeg.opus"), $(stat -c %s "$work/ffmpeg.opus") bytes"
for speed in 1 1.5; do
    line=$(measure "$cli" play "$work/rec.wav" --speed "$speed" --audio-out "$work/out.wav")
    cpu=$(awk '{ print $2 + $3 }' "$work/time")
    echo "play --speed $speed:      $line; $(awk -v c="$cpu" -v m="$minutes" 'BEGIN { printf "%.3f", c / m }') s CPU per minute"
done
line=$(measure "$cli" play "$work/rec.wav" --audio-out "$work/out.wav")
echo "play (no stage):      $line"
