#!/usr/bin/env bash
# CPU cost of recording from a real sound server: the sound-server input
# device and the PortAudio one (as the recorder drives them: two 200 ms
# buffers handed back and queued again) in PCM 22 kHz 16-bit and in GSM, next
# to parecord and sox recording the same microphone at the same time into WAV
# files of the same formats (parecord also at the 200 ms latency our streams
# ask for). Whole-process user + system CPU seconds (getrusage of the
# children, through time(1)) and voluntary context switches, per recorded
# minute; the ratios compare ours with each. Also prints the start latencies
# of capture and playback of both device families.
#
# Runs under tests/portaudio/with-pulseaudio.sh, which starts a private
# PulseAudio; a feeder speaks into its microphone pipe in real time.
#
#   bench/realsound_cpu.sh [seconds] [build folder] [build folder before]
#       (default: 60, build/default, none)
#
# Given a second build folder (the same program before a change), its
# sound-server and tavrin-cli cases run alongside as "before-...".
# When tavrin-cli records from the sound card (no --audio-in), its
# `record --seconds` is measured as well.
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${2:-$here/build/default}
before=${3:-}
tool=$build/tests/portaudio/realsound_tool
cli=$build/src/cli/tavrin-cli

if [ -z "${TAVRIN_TEST_MIC_PIPE:-}" ]; then
    exec sh "$here/tests/portaudio/with-pulseaudio.sh" "$0" "$seconds" "$build" "$before"
fi
for t in parecord sox /usr/bin/time; do
    command -v "$t" >/dev/null || { echo "realsound_cpu: $t is not installed" >&2; exit 2; }
done
[ -x "$tool" ] || { echo "realsound_cpu: no realsound_tool at $tool (build it first)" >&2; exit 2; }
if [ -n "$before" ] && [ ! -x "$before/tests/portaudio/realsound_tool" ]; then
    echo "realsound_cpu: no realsound_tool at $before/tests/portaudio (build it first)" >&2
    exit 2
fi

work=$(mktemp -d)
feeder=
cleanup() {
    [ -n "$feeder" ] && kill "$feeder" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Runs a command in the background; its user + system CPU seconds go to
# $work/NAME.cpu, its voluntary context switches to $work/NAME.csw.
measure() {
    local name=$1
    shift
    (
        /usr/bin/time -f '%U %S %w' -o "$work/$name.time" "$@" >"$work/$name.out" 2>&1
        tail -n 1 "$work/$name.time" | awk '{ printf "%.3f\n", $1 + $2 }' >"$work/$name.cpu"
        tail -n 1 "$work/$name.time" | awk '{ print $3 }' >"$work/$name.csw"
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
measure server-pcm22k16 "$tool" --pulse record Pcm22k16 "$seconds" "$work/server-22k.wav"
measure server-gsm "$tool" --pulse record Gsm "$seconds" "$work/server-gsm.wav"
measure parecord-pcm22k16 timeout -s INT "$seconds" parecord --rate=22050 --channels=1 --format=s16le \
    --file-format=wav "$work/parecord-22k.wav"
measure parecord-200ms timeout -s INT "$seconds" parecord --latency-msec=200 --rate=22050 --channels=1 \
    --format=s16le --file-format=wav "$work/parecord-200ms.wav"
measure sox-pcm22k16 sox -q -t pulseaudio default -r 22050 -c 1 -b 16 -e signed-integer "$work/sox-22k.wav" \
    trim 0 "$seconds"
measure sox-gsm sox -q -t pulseaudio default -r 8000 -c 1 -e gsm-full-rate "$work/sox-gsm.wav" trim 0 "$seconds"
if [ "$cli_works" = yes ]; then
    measure cli-pcm22k16 "$cli" record "$work/cli-22k.wav" --format pcm22k16 --seconds "$seconds"
    measure cli-gsm "$cli" record "$work/cli-gsm.wav" --format gsm --seconds "$seconds"
fi
if [ -n "$before" ]; then
    measure before-server-pcm22k16 "$before/tests/portaudio/realsound_tool" --pulse record Pcm22k16 "$seconds" \
        "$work/before-server-22k.wav"
    if [ "$cli_works" = yes ] && [ -x "$before/src/cli/tavrin-cli" ]; then
        measure before-cli-pcm22k16 "$before/src/cli/tavrin-cli" record "$work/before-cli-22k.wav" \
            --format pcm22k16 --seconds "$seconds"
        measure before-cli-gsm "$before/src/cli/tavrin-cli" record "$work/before-cli-gsm.wav" --format gsm \
            --seconds "$seconds"
    fi
fi
for job in $(jobs -p); do
    [ "$job" = "$feeder" ] || wait "$job"
done

cpu() { cat "$work/$1.cpu" 2>/dev/null || echo nan; }
echo "recording ${seconds} s from the sound server, side by side"
echo "(device: PortAudio through ALSA; server: the sound server's own client library; cli: tavrin-cli record):"
printf "  %-24s %9s %12s %16s\n" "" "CPU s" "CPU s/min" "vol. csw/min"
for name in server-pcm22k16 server-gsm device-pcm22k16 device-gsm parecord-pcm22k16 parecord-200ms \
    sox-pcm22k16 sox-gsm cli-pcm22k16 cli-gsm before-server-pcm22k16 before-cli-pcm22k16 before-cli-gsm; do
    [ -f "$work/$name.cpu" ] || continue
    awk -v n="$name" -v c="$(cpu "$name")" -v w="$(cat "$work/$name.csw")" -v s="$seconds" \
        'BEGIN { printf "  %-24s %9.2f %12.3f %16.0f\n", n, c, c * 60 / s, w * 60 / s }'
done
ratio() {
    awk -v a="$(cpu "$1")" -v b="$(cpu "$2")" -v what="$3" \
        'BEGIN { if (b > 0) printf "  %-44s %.2f\n", what, a / b; else printf "  %-44s (no measurable CPU)\n", what }'
}
switches() {
    [ -f "$work/$1.csw" ] && [ -f "$work/$2.csw" ] || return 0
    awk -v a="$(cat "$work/$1.csw")" -v b="$(cat "$work/$2.csw")" -v what="$3" \
        'BEGIN { if (b > 0) printf "  %-44s %.2f\n", what, a / b }'
}
echo "ratios (CPU):"
ratio server-pcm22k16 parecord-pcm22k16 "server PCM 22k16 / parecord"
ratio server-pcm22k16 parecord-200ms "server PCM 22k16 / parecord 200 ms"
ratio server-gsm sox-gsm "server GSM / sox GSM"
ratio device-pcm22k16 parecord-pcm22k16 "device PCM 22k16 / parecord"
ratio device-pcm22k16 sox-pcm22k16 "device PCM 22k16 / sox"
ratio device-gsm sox-gsm "device GSM / sox GSM"
if [ "$cli_works" = yes ]; then
    ratio cli-pcm22k16 parecord-pcm22k16 "tavrin-cli PCM 22k16 / parecord"
    ratio cli-pcm22k16 sox-pcm22k16 "tavrin-cli PCM 22k16 / sox"
    ratio cli-gsm sox-gsm "tavrin-cli GSM / sox GSM"
    ratio cli-pcm22k16 parecord-200ms "tavrin-cli PCM 22k16 / parecord 200 ms"
else
    echo "  (tavrin-cli does not record from the sound card here; measured the device alone)"
fi
if [ -n "$before" ]; then
    ratio server-pcm22k16 before-server-pcm22k16 "server PCM 22k16 / before"
    [ "$cli_works" = yes ] && ratio cli-pcm22k16 before-cli-pcm22k16 "tavrin-cli PCM 22k16 / before"
    [ "$cli_works" = yes ] && ratio cli-gsm before-cli-gsm "tavrin-cli GSM / before"
fi
echo "ratios (voluntary context switches):"
switches server-pcm22k16 parecord-200ms "server PCM 22k16 / parecord 200 ms"
switches cli-pcm22k16 parecord-200ms "tavrin-cli PCM 22k16 / parecord 200 ms"
switches server-pcm22k16 before-server-pcm22k16 "server PCM 22k16 / before"
switches cli-pcm22k16 before-cli-pcm22k16 "tavrin-cli PCM 22k16 / before"
kill "$feeder" 2>/dev/null
feeder=

# The pipe microphone hands over whatever the feeder wrote, 20 ms at a time,
# so every recorder wakes 50 times a second there whatever it asked for. A
# sound card's source runs on the server's clock and sends what a stream asked
# for: here the monitor of a sink that something plays into with a long
# latency, so that the 200 ms the recorders ask for set the pace.
pactl load-module module-null-sink sink_name=clocked_sink >/dev/null
pacat --playback -d clocked_sink --latency-msec=1000 --rate=8000 --channels=1 --format=s16le </dev/urandom &
player=$!
pactl set-default-source clocked_sink.monitor
measure clocked-parecord-200ms timeout -s INT "$seconds" parecord --latency-msec=200 --rate=22050 --channels=1 \
    --format=s16le --file-format=wav "$work/clocked-parecord.wav"
measure clocked-server-pcm22k16 env TAVRIN_TEST_MIC_PIPE= "$tool" --pulse record Pcm22k16 "$seconds" \
    "$work/clocked-server.wav"
if [ "$cli_works" = yes ]; then
    measure clocked-cli-pcm22k16 "$cli" record "$work/clocked-cli.wav" --format pcm22k16 --seconds "$seconds"
fi
if [ -n "$before" ]; then
    measure clocked-before-server-pcm22k16 env TAVRIN_TEST_MIC_PIPE= "$before/tests/portaudio/realsound_tool" \
        --pulse record Pcm22k16 "$seconds" "$work/clocked-before-server.wav"
    if [ "$cli_works" = yes ] && [ -x "$before/src/cli/tavrin-cli" ]; then
        measure clocked-before-cli-pcm22k16 "$before/src/cli/tavrin-cli" record "$work/clocked-before-cli.wav" \
            --format pcm22k16 --seconds "$seconds"
    fi
fi
for job in $(jobs -p); do
    [ "$job" = "$player" ] || wait "$job"
done
kill "$player"
echo "recording ${seconds} s from a microphone on the server's clock, side by side:"
printf "  %-32s %9s %12s %16s\n" "" "CPU s" "CPU s/min" "vol. csw/min"
for name in clocked-parecord-200ms clocked-server-pcm22k16 clocked-cli-pcm22k16 clocked-before-server-pcm22k16 \
    clocked-before-cli-pcm22k16; do
    [ -f "$work/$name.cpu" ] || continue
    awk -v n="$name" -v c="$(cpu "$name")" -v w="$(cat "$work/$name.csw")" -v s="$seconds" \
        'BEGIN { printf "  %-32s %9.2f %12.3f %16.0f\n", n, c, c * 60 / s, w * 60 / s }'
done
echo "ratios (CPU; voluntary context switches):"
for pair in "clocked-server-pcm22k16 clocked-parecord-200ms server / parecord 200 ms" \
    "clocked-cli-pcm22k16 clocked-parecord-200ms tavrin-cli / parecord 200 ms" \
    "clocked-server-pcm22k16 clocked-before-server-pcm22k16 server / before" \
    "clocked-cli-pcm22k16 clocked-before-cli-pcm22k16 tavrin-cli / before"; do
    set -- $pair
    a=$1 b=$2
    shift 2
    [ -f "$work/$a.csw" ] && [ -f "$work/$b.csw" ] || continue
    ratio "$a" "$b" "$*" | tr -d '\n'
    switches "$a" "$b" "" | awk '{ print ";", $1 }'
done
# The pipe microphone holds back what was fed while nobody recorded, which
# would make a capture's first block come at once. For the start latencies
# the microphone is the monitor of a sink that something plays into in real
# time, which runs on the server's clock as a sound card does.
pactl load-module module-null-sink sink_name=latency_sink >/dev/null
pacat --playback -d latency_sink --latency-msec=20 --rate=8000 --channels=1 --format=s16le </dev/zero &
player=$!
pactl set-default-source latency_sink.monitor
echo "start latency, sound server:"
TAVRIN_TEST_MIC_PIPE= "$tool" --pulse latency 10 | sed 's/^/  /'
echo "start latency, PortAudio:"
TAVRIN_TEST_MIC_PIPE= "$tool" latency 10 | sed 's/^/  /'
kill "$player"
pactl set-default-source microphone
