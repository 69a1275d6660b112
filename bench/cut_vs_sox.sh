#!/usr/bin/env bash
# Cutting one minute out of the middle of a 60-minute PCM 22 kHz 16-bit
# recording: tavrin-cli cut (moves the half hour after the cut back in place,
# journalled with a spool of what moves) next to sox writing the file again
# without that minute. Wall time, CPU time and bytes written (the processes'
# write_bytes from /proc, which counts what reaches the page cache for the
# disk) are printed for both. Aim: below sox, and proportional to the audio
# that moves rather than to the recording.
#
#   bench/cut_vs_sox.sh [path/to/tavrin-cli] [minutes]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$here/build/default/src/cli/tavrin-cli}
minutes=${2:-60}
seconds=$((minutes * 60))
from_ms=$(( (seconds / 2 - 60) * 1000 ))
to_ms=$(( seconds / 2 * 1000 ))

command -v sox >/dev/null || { echo "cut_vs_sox: sox is not installed" >&2; exit 2; }
[ -x "$cli" ] || { echo "cut_vs_sox: no tavrin-cli at $cli (build it first, or pass its path)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME="$work/state"

sox -n -r 22050 -c 1 -b 16 "$work/in.wav" synth "$seconds" sine 200-3000 vol 0.4
cp "$work/in.wav" "$work/tavrin.wav"

# Runs a command; prints its wall seconds, CPU seconds and bytes written
# (file system outputs of 512 bytes, as /usr/bin/time counts them).
measure() {
    /usr/bin/time -f '%e %U %S %O' -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || {
        cat "$work/stderr" >&2
        exit 1
    }
    awk '{ printf "%s %.2f %d\n", $1, $2 + $3, $4 * 512 }' "$work/time"
}

sync
read -r tavrin_s tavrin_cpu tavrin_w < <(measure "$cli" cut "$work/tavrin.wav" --from-ms "$from_ms" --to-ms "$to_ms" --media fast)
read -r sox_s sox_cpu sox_w < <(measure sox "$work/in.wav" "$work/sox.wav" trim 0 "=$((from_ms / 1000))" "=$((to_ms / 1000))")

printf 'cut 1 min out of %d min PCM 22 kHz 16-bit: tavrin-cli %s s (%s s CPU), %d MB written; sox %s s (%s s CPU), %d MB written\n' \
    "$minutes" "$tavrin_s" "$tavrin_cpu" $((tavrin_w / 1000000)) "$sox_s" "$sox_cpu" $((sox_w / 1000000))
tavrin_size=$(stat -c %s "$work/tavrin.wav")
sox_size=$(stat -c %s "$work/sox.wav")
echo "sizes: tavrin-cli $tavrin_size bytes, sox $sox_size bytes"
