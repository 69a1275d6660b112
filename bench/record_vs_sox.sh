#!/usr/bin/env bash
# CPU cost of making a GSM recording with tavrin-cli (file-backed microphone,
# as fast as the engine takes buffers) next to sox converting the same input
# to a GSM WAV. Both are whole processes; user + system CPU seconds are
# compared. Aim: tavrin-cli at most 1.2 times sox: both encode, and the level
# meter reads what the device measured before encoding. The machine's load
# moves single runs by a fifth either way, so several rounds are taken,
# interleaved, and the medians compared.
#
#   bench/record_vs_sox.sh [path/to/tavrin-cli] [minutes] [rounds]   (default: 10 minutes, 3 rounds)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$here/build/default/src/cli/tavrin-cli}
minutes=${2:-10}
rounds=${3:-3}
seconds=$((minutes * 60))

for tool in sox /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "record_vs_sox: $tool is not installed" >&2; exit 2; }
done
[ -x "$cli" ] || { echo "record_vs_sox: no tavrin-cli at $cli (build it first, or pass its path)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Speech-band test signal: 8 kHz, 16-bit, mono, so neither side resamples.
sox -n -r 8000 -c 1 -b 16 "$work/in.wav" synth "$seconds" sine 200-3000 sine 440 remix 1-2 vol 0.4

# Runs a command and prints its user + system CPU seconds.
cpu_seconds() {
    /usr/bin/time -f '%U %S' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
        cat "$work/stderr" >&2
        exit 1
    }
    awk '{ printf "%.3f", $1 + $2 }' "$work/time"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
for _ in $(seq 1 "$rounds"); do
    rm -f "$work/tavrin.wav" "$work/sox.wav"
    cpu_seconds "$cli" record "$work/tavrin.wav" --audio-in "$work/in.wav" --format gsm >>"$work/tavrin.cpu"
    echo >>"$work/tavrin.cpu"
    cpu_seconds sox "$work/in.wav" -r 8000 -c 1 -e gsm-full-rate "$work/sox.wav" >>"$work/sox.cpu"
    echo >>"$work/sox.cpu"
done
tavrin=$(median <"$work/tavrin.cpu")
soxcpu=$(median <"$work/sox.cpu")

tavrin_bytes=$(stat -c %s "$work/tavrin.wav")
sox_bytes=$(stat -c %s "$work/sox.wav")
echo "input:       $minutes min, 8 kHz 16-bit mono"
echo "tavrin-cli:  ${tavrin} s CPU  ($tavrin_bytes bytes; median of $rounds)"
echo "sox:         ${soxcpu} s CPU  ($sox_bytes bytes; median of $rounds)"
awk -v t="$tavrin" -v s="$soxcpu" 'BEGIN {
    if (s <= 0) { print "ratio:       sox took no measurable CPU time"; exit }
    printf "ratio:       %.2f x sox (aim: at most 1.20)\n", t / s
}'
