#!/usr/bin/env bash
# How often the window's process wakes, and what it costs: voluntary context
# switches (summed over its threads) and user + system CPU seconds per minute,
# with the window idle, while it records 22 kHz PCM from a microphone on
# the sound server's clock and while the Recording options page shows the
# microphone's live meter, beside parecord recording the same microphone at
# the 200 ms latency our streams ask for. Under each case, the threads that
# woke in it and how often.
#
# Runs under tests/portaudio/with-pulseaudio.sh (a private sound server) and
# a private Xvfb; the record key (F10) is pressed with xdotool.
#
#   bench/window_wakeups.sh [seconds per case] [build folder]   (default: 30, build/default)
set -uo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=${2:-$here/build/default}
program=$build/src/app/tavrin

if [ -z "${TAVRIN_TEST_MIC_PIPE:-}" ]; then
    exec sh "$here/tests/portaudio/with-pulseaudio.sh" "$0" "$seconds" "$build"
fi
for t in Xvfb xdotool parecord pacat pactl /usr/bin/time; do
    command -v "$t" >/dev/null || { echo "window_wakeups: $t is not installed" >&2; exit 2; }
done
[ -x "$program" ] || { echo "window_wakeups: no program at $program (build it first)" >&2; exit 2; }

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

display=:$((200 + RANDOM % 300))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb
mkdir -p "$HOME/Documents"
export XDG_DOCUMENTS_DIR=$HOME/Documents

# A sound card's source runs on the server's clock and sends what a stream
# asked for; the pipe microphone would wake every recorder 50 times a second.
pactl load-module module-null-sink sink_name=clocked_sink >/dev/null
pacat --playback -d clocked_sink --latency-msec=1000 --rate=8000 --channels=1 --format=s16le </dev/urandom &
pids+=($!)
pactl set-default-source clocked_sink.monitor
sleep 1

switches() { cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ { s += $2 } END { print s }'; }
ticks() { awk '{ print $14 + $15 }' /proc/"$1"/stat; }
hz=$(getconf CLK_TCK)

# Each thread's id, name and voluntary switches so far.
threads() {
    for t in /proc/"$1"/task/*; do
        printf '%s %s %s\n' "${t##*/}" "$(tr ' ' _ <"$t/comm")" \
            "$(awk '/^voluntary_ctxt_switches/ { print $2 }' "$t/status" 2>/dev/null)"
    done
}

# Prints one row: the process's switches and CPU over `seconds`, per minute;
# then the threads that woke, each with its switches per minute.
sample() {
    local pid=$1 name=$2 s0 t0 s1 t1
    threads "$pid" >"$work/threads0"
    s0=$(switches "$pid")
    t0=$(ticks "$pid")
    sleep "$seconds"
    s1=$(switches "$pid")
    t1=$(ticks "$pid")
    threads "$pid" >"$work/threads1"
    awk -v n="$name" -v s=$((s1 - s0)) -v t=$((t1 - t0)) -v hz="$hz" -v d="$seconds" \
        'BEGIN { printf "  %-22s %12.3f %16.0f\n", n, t / hz * 60 / d, s * 60 / d }'
    awk -v d="$seconds" 'NR == FNR { was[$1] = $3; next }
        ($1 in was) && $3 > was[$1] { printf "    %-20s %29.0f\n", $2, ($3 - was[$1]) * 60 / d }' \
        "$work/threads0" "$work/threads1"
}

"$program" >"$work/window.out" 2>&1 &
window=$!
pids+=("$window")
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tavrin$' | head -n 1)
[ -n "$wid" ] || { echo "window_wakeups: the window did not show" >&2; cat "$work/window.out" >&2; exit 1; }
sleep 3  # the first list refresh and the first timer ticks

echo "the window's process, ${seconds} s a case:"
printf "  %-22s %12s %16s\n" "" "CPU s/min" "vol. csw/min"
sample "$window" "window idle"
xdotool windowfocus --sync "$wid" key F10
sleep 2  # the recording is under way
sample "$window" "window recording"
xdotool windowfocus --sync "$wid" key F10
sleep 2
ls "$HOME/Documents" | grep -q . || echo "  (nothing was recorded: the record key did not reach the window)"
# The Recording options page, whose meter listens to the microphone while it
# is shown: the menu's last item (Options; Up from none wraps to it), then the
# page numbered 1.
xdotool windowfocus --sync "$wid" key F2
sleep 1
xdotool key Up Return
sleep 1
xdotool key 1
sleep 2
if [ "$(xdotool search --onlyvisible --name '^Tavrin Options$' 2>/dev/null | wc -l)" -eq 2 ]; then
    sample "$window" "window live meter"
else
    echo "  (the Recording options page did not come up: no live meter case)"
fi
xdotool key Escape
sleep 0.5
xdotool key Escape

/usr/bin/time -f '%U %S %w' -o "$work/parecord.time" timeout -s INT "$seconds" parecord --latency-msec=200 \
    --rate=22050 --channels=1 --format=s16le --file-format=wav "$work/parecord.wav"
tail -n 1 "$work/parecord.time" |
    awk -v d="$seconds" '{ printf "  %-22s %12.3f %16.0f\n", "parecord 200 ms", ($1 + $2) * 60 / d, $3 * 60 / d }' 
