# Sourced by lib.sh: each end-to-end script starts the display and sound server
# it needs, private to it, so that independent scripts can run side by side.
# Everything started here is stopped when the script exits.

runtime=$(mktemp -d /tmp/karnveldt-e2e.XXXXXX)
chmod 700 "$runtime"
export XDG_RUNTIME_DIR=$runtime/xdg XDG_CONFIG_HOME=$runtime/config XDG_STATE_HOME=$runtime/state
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME"
# Whatever display or sound server the caller has is not ours to use.
unset DISPLAY WAYLAND_DISPLAY PULSE_SERVER PULSE_RUNTIME_PATH QT_QPA_PLATFORM

started_pids=()
stop_environment() {
    local i
    for ((i = ${#started_pids[@]} - 1; i >= 0; i--)); do
        kill "${started_pids[i]}" 2>/dev/null && wait "${started_pids[i]}" 2>/dev/null
    done
    rm -rf "$runtime"
}
trap stop_environment EXIT

# wait_for SECONDS COMMAND...: polls until the command succeeds.
wait_for() {
    local tries=$(($1 * 10)); shift
    for _ in $(seq "$tries"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}
give_up() {  # give_up WHAT LOG
    echo "$1 did not start" >&2; cat "$2" >&2; exit 1
}

# start_xvfb WxH [WxH...]: an X server with one screen per size. The server
# picks a free display number itself, so parallel scripts never collide.
start_xvfb() {
    local screens=() n=0 size
    for size in "$@"; do screens+=(-screen "$n" "${size}x24"); n=$((n + 1)); done
    Xvfb -displayfd 3 "${screens[@]}" -fakescreenfps "${xvfb_refresh:-60}" -nolisten tcp 3>"$runtime/display" \
        >"$runtime/xvfb.log" 2>&1 &
    started_pids+=($!)
    wait_for 10 test -s "$runtime/display" || give_up Xvfb "$runtime/xvfb.log"
    export DISPLAY=:$(cat "$runtime/display")
    wait_for 10 xdpyinfo || give_up Xvfb "$runtime/xvfb.log"
}

# start_openbox: a window manager on the display; ready once it has announced
# itself on the root window.
# Now and then openbox cannot open a display that has only just come up; it
# is given three tries.
start_openbox() {
    local try
    for try in 1 2 3; do
        openbox --sm-disable >>"$runtime/openbox.log" 2>&1 &
        started_pids+=($!)
        wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' && return 0
        kill "${started_pids[-1]}" 2>/dev/null
    done
    give_up openbox "$runtime/openbox.log"
}

# start_weston WxH: a headless Wayland compositor; the show then runs as a
# native Wayland client. It draws with pixman so that there is a picture, and
# --debug lets weston-screenshooter take it. It is ready once it answers a
# client, wayland-info (weston 14, in Debian 13, no longer has weston-info).
# Its shell has no panel: weston 14 left the show's fullscreen surface below
# its panel, and the panel over the picture, where no seat ever focuses it.
start_weston() {
    local width=${1%x*} height=${1#*x}
    export WAYLAND_DISPLAY=wayland-karnveldt
    printf '[core]\nrepaint-window=%s\n[shell]\npanel-position=none\n' "${weston_repaint_window:-7}" >"$runtime/weston.ini"
    weston --backend=headless-backend.so --width="$width" --height="$height" --config="$runtime/weston.ini" \
        --use-pixman --socket="$WAYLAND_DISPLAY" --idle-time=0 --debug >"$runtime/weston.log" 2>&1 &
    started_pids+=($!)
    wait_for 10 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || give_up weston "$runtime/weston.log"
    wait_for 10 wayland-info || give_up weston "$runtime/weston.log"
    export QT_QPA_PLATFORM=wayland
}

# wayland_screenshot FILE: what weston's output shows now.
wayland_screenshot() {
    local dir; dir=$(mktemp -d "$runtime/shot.XXXXXX")
    (cd "$dir" && weston-screenshooter >/dev/null 2>&1) && mv "$dir"/*.png "$1"
}

# The sound server's only sink is a null sink named "show", the default, whose
# monitor start_recording records.
# pipewire-pulse answers before wireplumber has made the metadata that holds
# the default sink, and until then refuses to set it ("Not supported").
sink_ready() {
    wait_for 10 pactl info || return 1
    pactl list short sinks | grep -q -w show || pactl load-module module-null-sink sink_name=show rate=44100 channels=2 >/dev/null
    wait_for 10 pactl set-default-sink show
}

# start_pulse: a PulseAudio server of our own.
start_pulse() {
    export PULSE_RUNTIME_PATH=$runtime/pulse
    # Real-time scheduling, as a desktop's server gets it, so that its sink
    # keeps time beside busy processes.
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
        --realtime=yes --high-priority=yes \
        --load="module-native-protocol-unix" --load="module-null-sink sink_name=show" \
        >"$runtime/pulse.log" 2>&1 &
    started_pids+=($!)
    sink_ready || give_up PulseAudio "$runtime/pulse.log"
}

# start_pipewire: PipeWire with its PulseAudio server and session manager, at
# their own settings, on a session bus of our own. Re-runs the calling script
# under dbus-run-session when it has none of ours yet.
start_pipewire() {
    if [ -z "${KARNVELDT_SESSION_BUS:-}" ]; then
        stop_environment
        trap - EXIT
        unset XDG_RUNTIME_DIR
        KARNVELDT_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$build"
    fi
    # As a desktop runs it: the graph at 48 kHz, in periods its streams choose.
    pipewire >"$runtime/pipewire.log" 2>&1 &
    started_pids+=($!)
    wait_for 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || give_up PipeWire "$runtime/pipewire.log"
    wireplumber >"$runtime/wireplumber.log" 2>&1 &
    started_pids+=($!)
    # Made here: pipewire-pulse looks for its directory and then makes it, and
    # gives up if it is there by then; pactl, polling for the server, makes it
    # too, and now and then did so in between.
    mkdir -m 700 "$XDG_RUNTIME_DIR/pulse"
    pipewire-pulse >"$runtime/pipewire-pulse.log" 2>&1 &
    started_pids+=($!)
    sink_ready || give_up pipewire-pulse "$runtime/pipewire-pulse.log"
}
# force_graph RATE FRAMES: PipeWire's graph runs at RATE Hz, in periods of FRAMES.
force_graph() {
    pw-metadata -n settings 0 clock.force-rate "$1" >/dev/null
    pw-metadata -n settings 0 clock.force-quantum "$2" >/dev/null
}
