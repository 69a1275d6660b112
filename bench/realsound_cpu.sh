#!/usr/bin/env bash
# CPU cost of recording from a real sound server: the PortAudio input device
# (as the recorder drives it: two 200 ms buffers handed back and queued
# again) in PCM 22 kHz 16-bit and in GSM, next to parecord and sox recording
# the same microphone at the same time into WAV files of the same formats.
# Whole-process user + system CPU seconds; the ratios compare ours with each.
# Also prints the start latencies of capture and playback.
#
# Runs under tests/portaudio/with-pulseaudio.sh, which starts a private
# PulseAudio; a feeder speaks into its microphone pipe in real time.
#
#   bench/realsound_cpu.sh [seconds] [build folder]     (default: 60, build/default)
#
# When tavrin-cli records from the sound card (no --audio-in), its
# `record --seconds` is measured as well.
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${2:-$here/build/default}
tool=$build/tests/portaudio/realsound_tool
cli=$build/src/cli/tavrin-cli

if [ -z "${TAVRIN_TEST_MIC_PIPE:-}" ]; then
    exec sh "$here/tests/portaudio/with-pulseaudio.sh" "$0" "$seconds" "$build"
fi
for t in parecord sox; do
    command -v "$t" >/dev/null || { echo "realsound_cpu: $t is not installed" >&2; exit 2; }
done
[ -x "$tool" ] || { echo "realsound_cpu: no realsound_tool at $tool (build it first)" >&2; exit 2; }

work=$(mktemp -d)
feeder=
cleanup() {
    [ -n "$feeder" ] && kill "$feeder" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Runs a command in the background; its user + system CPU seconds go to $work/NAME.cpu.
measure() {
    local name=$1
    shift
    (
        TIMEFORMAT='%U %S'
        { time "$@" >"$work/$name.out" 2>&1; } 2>"$work/$name.time"
        awk '{ printf "%.3f\n", $1 + $2 }' "$work/$name.time" >"$work/$name.cpu"
    ) &
}

"$tool" feed $((seconds + 30)) &
feeder=$!
sleep 1

cli_works=no
if [ -x "$cli" ] && "$cli" record "$work/probe.wav" --format pcm8k16 --seconds 1 >/dev/null 2>&1; then
    cli_works=yes
fi

measure device-pcm22k16 "$tool" record Pcm22k16 "$seconds" "$work/device-22k.wav"
measure device-gsm "$tool" record Gsm "$seconds" "$work/device-gsm.wav"
measure parecord-pcm22k16 timeout -s INT "$seconds" parecord --rate=22050 --channels=1 --format=s16le \
    --file-format=wav "$work/parecord-22k.wav"
measure sox-pcm22k16 sox -q -t pulseaudio default -r 22050 -c 1 -b 16 -e signed-integer "$work/sox-22k.wav" \
    trim 0 "$seconds"
measure sox-gsm sox -q -t pulseaudio default -r 8000 -c 1 -e gsm-full-rate "$work/sox-gsm.wav" trim 0 "$seconds"
if [ "$cli_works" = yes ]; then
    measure cli-pcm22k16 "$cli" record "$work/cli-22k.wav" --format pcm22k16 --seconds "$seconds"
    measure cli-gsm "$cli" record "$work/cli-gsm.wav" --format gsm --seconds "$seconds"
fi
for job in $(jobs -p); do
    [ "$job" = "$feeder" ] || wait "$job"
done

cpu() { cat "$work/$1.cpu" 2>/dev/null || echo nan; }
echo "recording ${seconds} s from the sound server, side by side (user + system CPU seconds):"
for name in device-pcm22k16 device-gsm parecord-pcm22k16 sox-pcm22k16 sox-gsm cli-pcm22k16 cli-gsm; do
    [ -f "$work/$name.cpu" ] && printf "  %-20s %7s s\n" "$name" "$(cpu "$name")"
done
ratio() {
    awk -v a="$(cpu "$1")" -v b="$(cpu "$2")" -v what="$3" \
        'BEGIN { if (b > 0) printf "  %-44s %.2f\n", what, a / b; else printf "  %-44s (no measurable CPU)\n", what }'
}
echo "ratios:"
ratio device-pcm22k16 parecord-pcm22k16 "device PCM 22k16 / parecord"
ratio device-pcm22k16 sox-pcm22k16 "device PCM 22k16 / sox"
ratio device-gsm sox-gsm "device GSM / sox GSM"
if [ "$cli_works" = yes ]; then
    ratio cli-pcm22k16 parecord-pcm22k16 "tavrin-cli PCM 22k16 / parecord"
    ratio cli-pcm22k16 sox-pcm22k16 "tavrin-cli PCM 22k16 / sox"
    ratio cli-gsm sox-gsm "tavrin-cli GSM / sox GSM"
else
    echo "  (tavrin-cli does not record from the sound card here; measured the device alone)"
fi
kill "$feeder" 2>/dev/null
feeder=
echo "start latency:"
"$tool" latency 10 | sed 's/^/  /'
