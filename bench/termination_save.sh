#!/usr/bin/env bash
# How long tavrin-cli takes from a SIGTERM in the middle of a recording to
# its exit, with the recording stopped, saved and its header finished, on
# both roads. A session manager waits a few seconds (systemd: 90 s by
# default, desktop sessions often less) before SIGKILL; aim: well under 2 s
# for recordings of ordinary length.
#
#   bench/termination_save.sh [path/to/tavrin-cli] [seconds recorded] [runs]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$here/build/default/src/cli/tavrin-cli}
recorded=${2:-10}
runs=${3:-5}

command -v sox >/dev/null || { echo "termination_save: sox is not installed" >&2; exit 2; }
[ -x "$cli" ] || { echo "termination_save: no tavrin-cli at $cli (build it first, or pass its path)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -n -r 22050 -c 1 -b 16 "$work/in.wav" synth $((recorded + 30)) sine 200-3000 vol 0.4

# Prints the milliseconds from SIGTERM to the exit of one run, after checking the file.
one_run() {
    local media=$1 out="$work/r.wav"
    rm -f "$out"
    "$cli" record "$out" --audio-in "$work/in.wav" --format pcm22k16 --realtime --media "$media" 2>"$work/err" &
    local pid=$!
    until grep -q RecordStart "$work/err"; do sleep 0.02; done
    sleep "$recorded"
    local start end
    start=$(date +%s%N)
    kill -TERM "$pid"
    wait "$pid"
    end=$(date +%s%N)
    local size data
    size=$(stat -c %s "$out")
    data=$(od -An -tu4 -j40 -N4 "$out" | tr -d ' ')
    [ "$data" -eq $((size - 44)) ] || { echo "termination_save: header of $out says $data bytes, file has $size" >&2; exit 1; }
    echo $(((end - start) / 1000000))
}

for media in slow fast; do
    times=()
    for _ in $(seq "$runs"); do times+=("$(one_run "$media")"); done
    sorted=$(printf '%s\n' "${times[@]}" | sort -n)
    median=$(echo "$sorted" | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
    worst=$(echo "$sorted" | tail -1)
    echo "$media road, ${recorded} s of PCM 22 kHz 16-bit: SIGTERM to exit median ${median} ms, worst ${worst} ms ($runs runs)"
done
