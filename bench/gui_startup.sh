#!/usr/bin/env bash
# Start-up and idle cost of the GUI program, whole-process, on Qt's offscreen
# platform with a documents folder of 100 recordings:
#  - start-up: from exec to the main window shown with the list filled
#    (`tavrin --exit-when-shown`), median of several runs, with WAV files as
#    microphone and speaker (a machine without a microphone would stop the
#    start at the "Cannot retrieve supported audio formats" box);
#  - peak resident memory of such a start;
#  - resident memory and CPU seconds of the idle program, timers running,
#    over a minute.
#
#   bench/gui_startup.sh [runs] [idle seconds] [build folder]   (default: 9, 60, build/default)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-9}
idle=${2:-60}
build=${3:-$here/build/default}
program=$build/src/app/tavrin
[ -x "$program" ] || { echo "gui_startup: no program at $program (build it first)" >&2; exit 2; }

work=$(mktemp -d)
# A session's runtime folder is memory (/run/user/…): the single-instance lock
# written there at start-up is synced, which costs a disk flush elsewhere.
runtime=$(mktemp -d -p /dev/shm 2>/dev/null || echo "$work/runtime")
trap 'rm -rf "$work" "$runtime"' EXIT
mkdir -p "$work/home/Documents" "$work/config" "$runtime"
chmod 700 "$runtime"
for i in $(seq 1 100); do cp "$here/tests/fixtures/pcm-8k-8bit.wav" "$work/home/Documents/Recording$i.wav"; done

export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$runtime
export XDG_DOCUMENTS_DIR=$work/home/Documents QT_QPA_PLATFORM=offscreen

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Milliseconds from exec to exit, for each of `runs` starts.
start_times() {
    for _ in $(seq 1 "$runs"); do
        local t0 t1
        t0=$(date +%s%N)
        "$program" --exit-when-shown
        t1=$(date +%s%N)
        echo $(((t1 - t0) / 1000000))
    done
}

export TAVRIN_AUDIO_IN=$here/tests/fixtures/pcm-8k-8bit.wav TAVRIN_AUDIO_OUT=$work/speaker.wav

"$program" --exit-when-shown  # warm the file cache once
startup=$(start_times | median)
/usr/bin/time -f %M -o "$work/peak" "$program" --exit-when-shown 2>/dev/null
peak_kb=$(tail -1 "$work/peak")

echo "start-up to the window shown, 100 recordings listed, median of $runs: ${startup} ms"
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
echo "peak resident memory of a start: $(mib "$peak_kb")"

"$program" &
pid=$!
sleep 3  # let it settle: the first list refresh and the first timer ticks
echo "resident memory 3 s after start: $(mib "$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")")"
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep "$idle"
after=$(ticks)
rss_kb=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
kill "$pid"
wait "$pid" 2>/dev/null || true
cpu=$(awk -v t=$((after - before)) -v hz="$hz" -v s="$idle" 'BEGIN { printf "%.3f", t / hz * 60 / s }')
share=$(awk -v c="$cpu" 'BEGIN { printf "%.3f", c / 60 * 100 }')
echo "idle, timers running: resident $(mib "$rss_kb"), CPU ${cpu} s per minute (${share} % of one core)"
