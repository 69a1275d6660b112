#!/bin/sh
# Runs a command against a PulseAudio daemon of its own, on a private runtime
# folder and home, so that it neither needs nor disturbs the user's sound:
#   microphone  a pipe source; whatever is written to $TAVRIN_TEST_MIC_PIPE
#               (8000 Hz, signed 16-bit little-endian, mono) is what the
#               default input device records
#   speaker     a pipe sink; what the default output device plays can be read
#               from $TAVRIN_TEST_SPEAKER_PIPE, in the same format, in real time
#   second microphone
#               another pipe source, "second_microphone", fed through
#               $TAVRIN_TEST_MIC2_PIPE, for the tests that choose the input
#   $TAVRIN_TEST_RESTART_SERVER
#               a command that ends the daemon and starts it again with the
#               same configuration, as when the desktop's server restarts
# ALSA programs (PortAudio among them) reach the daemon through ALSA's pulse
# plugin, which the private home's .asoundrc makes the default device. It
# names the daemon's socket itself, so that a test can hide the daemon from
# the sound server's own client library (PULSE_SERVER) and still reach it
# through ALSA, as on a system where only ALSA is there.
#
# Usage: with-pulseaudio.sh COMMAND [ARGUMENT...]
# Exits with the command's status, or 77 (after saying why) when no daemon
# could be started at all.
set -u
SKIP=77

skip() {
    echo "with-pulseaudio: SKIPPED: $*" >&2
    exit $SKIP
}

[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGUMENT...]" >&2; exit 2; }
command -v pulseaudio >/dev/null 2>&1 || skip "pulseaudio is not installed"
command -v pactl >/dev/null 2>&1 || skip "pactl (pulseaudio-utils) is not installed"

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-pulse.XXXXXX") || skip "cannot make a private folder"
daemon=
cleanup() {
    # A daemon the test restarted is not our child; ask it to go.
    if [ "${XDG_RUNTIME_DIR:-}" = "$work/runtime" ] && pactl exit >/dev/null 2>&1; then
        i=0
        while pactl info >/dev/null 2>&1 && [ $i -lt 20 ]; do i=$((i + 1)); sleep 0.1; done
    fi
    if [ -n "$daemon" ]; then
        kill "$daemon" 2>/dev/null
        wait "$daemon" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

runtime="$work/runtime"
mkdir -p "$runtime" "$work/home/.config/pulse"
chmod 700 "$runtime"

# The pipe modules make their FIFOs themselves. The speaker plays at the
# pace of the clock, so nothing stalls while no test reads the pipe.
sample_format="format=s16le rate=8000 channels=1"
cat > "$work/tavrin.pa" <<PA
load-module module-native-protocol-unix
load-module module-pipe-source source_name=microphone file=$runtime/microphone $sample_format
load-module module-pipe-sink sink_name=speaker file=$runtime/speaker $sample_format use_system_clock_for_timing=yes
load-module module-pipe-source source_name=second_microphone file=$runtime/second_microphone $sample_format source_properties=device.description=Second
set-default-source microphone
set-default-sink speaker
PA
# No client may start a daemon of its own if ours goes away.
echo "autospawn = no" > "$work/home/.config/pulse/client.conf"
cat > "$work/home/.asoundrc" <<ASOUND
pcm.!default { type pulse server "unix:$runtime/pulse/native" }
ctl.!default { type pulse server "unix:$runtime/pulse/native" }
ASOUND

export XDG_RUNTIME_DIR="$runtime"
export HOME="$work/home"
unset PULSE_SERVER PULSE_SINK PULSE_SOURCE PULSE_RUNTIME_PATH DISPLAY DBUS_SESSION_BUS_ADDRESS

pulseaudio --daemonize=no -n --exit-idle-time=-1 -F "$work/tavrin.pa" \
    --log-target=stderr --log-level=error >"$work/pulseaudio.log" 2>&1 &
daemon=$!

tries=0
until pactl info >/dev/null 2>&1; do
    if ! kill -0 "$daemon" 2>/dev/null; then
        wait "$daemon" 2>/dev/null
        daemon=
        echo "with-pulseaudio: the daemon ended at once; its log:" >&2
        sed 's/^/  /' "$work/pulseaudio.log" >&2
        skip "PulseAudio could not be started"
    fi
    tries=$((tries + 1))
    [ $tries -le 100 ] || skip "PulseAudio did not answer within 10 seconds"
    sleep 0.1
done

export TAVRIN_TEST_MIC_PIPE="$runtime/microphone"
export TAVRIN_TEST_SPEAKER_PIPE="$runtime/speaker"
export TAVRIN_TEST_MIC2_PIPE="$runtime/second_microphone"
cat > "$work/restart-server" <<RESTART
#!/bin/sh
pactl exit >/dev/null 2>&1
i=0
while pactl info >/dev/null 2>&1; do i=\$((i + 1)); [ \$i -le 50 ] || exit 1; sleep 0.1; done
pulseaudio --daemonize=yes -n --exit-idle-time=-1 -F "$work/tavrin.pa" \
    --log-target=stderr --log-level=error >>"$work/pulseaudio.log" 2>&1 || exit 1
i=0
until pactl info >/dev/null 2>&1; do i=\$((i + 1)); [ \$i -le 100 ] || exit 1; sleep 0.1; done
RESTART
chmod +x "$work/restart-server"
export TAVRIN_TEST_RESTART_SERVER="$work/restart-server"
"$@"
status=$?
exit $status
