#!/usr/bin/env bash
# A recording on the fast road while another process writes and syncs
# gigabytes to the same disk: the engine thread never waits for the disk, so
# the recording must complete without "too slow" and with nothing lost.
# Prints what was recorded against what was asked, and what the load wrote.
#
#   bench/record_under_disk_load.sh [path/to/tavrin-cli] [seconds] [folder on the disk]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$here/build/default/src/cli/tavrin-cli}
seconds=${2:-60}
place=${3:-$here/build}

command -v sox >/dev/null || { echo "record_under_disk_load: sox is not installed" >&2; exit 2; }
[ -x "$cli" ] || { echo "record_under_disk_load: no tavrin-cli at $cli (build it first, or pass its path)" >&2; exit 2; }

work=$(mktemp -d "$place/disk-load.XXXXXX")
load_pid=
trap '[ -n "$load_pid" ] && kill "$load_pid" 2>/dev/null; rm -rf "$work"' EXIT
sox -n -r 22050 -c 1 -b 16 "$work/in.wav" synth $((seconds + 5)) sine 200-3000 vol 0.4

# The load: 256 MB at a time, each synced before the next, until stopped.
(
  n=0
  while :; do
    dd if=/dev/zero of="$work/load" bs=1M count=256 conv=fsync status=none
    n=$((n + 256))
    echo "$n" >"$work/load-mb"
  done
) &
load_pid=$!

start=$(date +%s%N)
"$cli" record "$work/r.wav" --audio-in "$work/in.wav" --format pcm22k16 --seconds "$seconds" \
  --realtime --media fast >"$work/out" 2>&1 || { cat "$work/out" >&2; exit 1; }
end=$(date +%s%N)
kill "$load_pid" 2>/dev/null; wait "$load_pid" 2>/dev/null || true; load_pid=

data=$(od -An -tu4 -j40 -N4 "$work/r.wav" | tr -d ' ')
too_slow=$(grep -ci "too slow" "$work/out" || true)
echo "asked ${seconds} s; recorded $(awk "BEGIN{printf \"%.2f\", $data/44100}") s in $(((end - start) / 1000000)) ms;" \
     "too-slow reports: $too_slow; the load wrote and synced $(cat "$work/load-mb" 2>/dev/null || echo 0) MB meanwhile"
[ "$too_slow" -eq 0 ] && [ "$data" -ge $((seconds * 44100 - 8820)) ]
