#!/usr/bin/env bash
# Cost of playing a 10-minute 22.05 kHz 16-bit recording with tavrin-cli into
# the file-backed speaker (as fast as the engine feeds it) next to sox copying
# the same file to a WAV. Both are whole processes: user + system CPU seconds
# and peak resident memory, side by side in one run, and their ratio.
#
#   bench/play_vs_sox.sh [path/to/tavrin-cli] [minutes]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$here/build/default/src/cli/tavrin-cli}
minutes=${2:-10}
seconds=$((minutes * 60))

for tool in sox /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "play_vs_sox: $tool is not installed" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "play_vs_sox: no tavrin-cli at $cli (build it first, or pass its path)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sox -n -r 22050 -c 1 -b 16 "$work/rec.wav" synth "$seconds" sine 200-3000 sine 440 remix 1-2 vol 0.4

# Runs a command; prints its user + system CPU seconds and peak memory in KiB.
measure() {
    /usr/bin/time -f '%U %S %M' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
        cat "$work/stderr" >&2
        exit 1
    }
    awk '{ printf "%.3f %d\n", $1 + $2, $3 }' "$work/time"
}

read -r tavrin_cpu tavrin_kib < <(measure "$cli" play "$work/rec.wav" --audio-out "$work/tavrin.wav")
read -r sox_cpu sox_kib < <(measure sox "$work/rec.wav" -t wav "$work/sox.wav")

cmp -s <(tail -c +45 "$work/rec.wav") <(tail -c +45 "$work/tavrin.wav") || {
    echo "play_vs_sox: the played audio differs from the recording" >&2
    exit 1
}
echo "recording:   $minutes min, 22.05 kHz 16-bit mono ($(stat -c %s "$work/rec.wav") bytes)"
echo "tavrin-cli:  ${tavrin_cpu} s CPU, ${tavrin_kib} KiB peak"
echo "sox:         ${sox_cpu} s CPU, ${sox_kib} KiB peak"
awk -v t="$tavrin_cpu" -v s="$sox_cpu" -v tm="$tavrin_kib" -v sm="$sox_kib" 'BEGIN {
    if (s > 0) printf "ratio:       %.2f x sox CPU", t / s; else printf "ratio:       sox took no measurable CPU time"
    if (sm > 0) printf ", %.2f x sox memory\n", tm / sm; else printf "\n"
}'
