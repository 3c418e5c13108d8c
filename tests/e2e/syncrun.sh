# Sourced by the sync runs: a display and a sound server of the run's own (a
# timing measurement shares them with nothing), then one whole show watched by
# the sink's recorder and the screen probe, then synccheck.
# Needs: $1 the build directory; sound_server=pulseaudio or pipewire.
set -uo pipefail
build=$1
scratch=$(mktemp -d /tmp/karnveldt-sync.XXXXXX)
started_pids=()
cleanup() {
    local pid
    for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

wait_for() {  # wait_for WHAT COMMAND...: up to 5 s
    local what=$1; shift
    for _ in $(seq 50); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "$what did not start" >&2; exit 1
}

display=$((200 + RANDOM % 700))
while [ -e "/tmp/.X$display-lock" ]; do display=$((200 + RANDOM % 700)); done
export DISPLAY=:$display
Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
started_pids+=($!)
wait_for Xvfb xdpyinfo

export XDG_RUNTIME_DIR=$scratch/xdg PULSE_RUNTIME_PATH=$scratch/xdg/pulse XDG_CONFIG_HOME=$scratch/config
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" && chmod 700 "$XDG_RUNTIME_DIR"
case $sound_server in
pulseaudio)
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
        --load="module-native-protocol-unix" --load="module-null-sink sink_name=show" \
        >"$scratch/pulse.log" 2>&1 &
    started_pids+=($!)
    ;;
pipewire)
    # The module's rate throughout, so that the sink passes its samples untouched.
    mkdir -p "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d"
    echo 'context.properties = { default.clock.rate = 44100 default.clock.allowed-rates = [ 44100 ] }' \
        >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/rate.conf"
    dbus-daemon --session --address="unix:path=$XDG_RUNTIME_DIR/bus" --nofork --nopidfile \
        >"$scratch/dbus.log" 2>&1 &
    started_pids+=($!)
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
    wait_for dbus test -S "$XDG_RUNTIME_DIR/bus"
    pipewire >"$scratch/pipewire.log" 2>&1 &
    started_pids+=($!)
    wait_for PipeWire test -S "$XDG_RUNTIME_DIR/pipewire-0"
    wireplumber >"$scratch/wireplumber.log" 2>&1 &
    started_pids+=($!)
    pipewire-pulse >"$scratch/pipewire-pulse.log" 2>&1 &
    started_pids+=($!)
    wait_for pipewire-pulse pactl info
    pactl load-module module-null-sink sink_name=show rate=44100 channels=2 >/dev/null
    ;;
*)
    echo "sound_server must be pulseaudio or pipewire" >&2; exit 2
    ;;
esac
wait_for "$sound_server" pactl info
wait_for "the null sink" pactl list short sinks
pactl set-default-sink show

source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
echo "sound server: $(pactl info | grep 'Server Name')"

# Zeros keep the sink running, so the show's stream starts at once; they add
# nothing to what is recorded.
pacat --playback --raw --format=s16le --rate=44100 --channels=2 </dev/zero 2>/dev/null &
started_pids+=($!)
"$build/tests/recorder" show.monitor "$out/recording.raw" "$out/timing.txt" 2>"$out/recorder.stderr" &
recorder_pid=$!
"$build/tests/screenprobe" "$out/probe.txt" 2>"$out/probe.stderr" &
probe_pid=$!
started_pids+=("$recorder_pid" "$probe_pid")
sleep 0.5
started=$(now)
# A show that never ends fails here rather than holding the sound server.
KARNVELDT_TRACE=$out/trace.txt timeout 150 "$show" "${show_options[@]}" 2>"$out/stderr" &
show_pid=$!
started_pids+=("$show_pid")
wait "$show_pid"
status=$?
took=$(elapsed "$started")
sleep 0.5
kill "$probe_pid" "$recorder_pid"
wait "$probe_pid" "$recorder_pid"
echo "exit status $status after ${took}s; probe: $(tail -1 "$out/probe.txt")"
check "exit status 0" test "$status" -eq 0
check "the recorder heard the whole run" test ! -s "$out/recorder.stderr"
trace=()
[ -s "$out/trace.txt" ] && trace=("$out/trace.txt")
"$build/tests/synccheck" "$module" "$out/recording.raw" "$out/timing.txt" "$out/probe.txt" "${trace[@]}" \
    >"$out/synccheck.txt"
sync_status=$?
grep -v '^[0-9]' "$out/synccheck.txt"
check "snare flashes in time with their sound" test "$sync_status" -eq 0
finish
