#!/usr/bin/env bash
# Installs what is missing, builds, starts a private X display and a PulseAudio
# server with a null sink, and runs every test.
source "$(dirname "$0")/setup.sh"
install_missing "${build_packages[@]}" xvfb xauth pulseaudio pulseaudio-utils imagemagick xdotool x11-utils bc ffmpeg \
    pipewire pipewire-pulse wireplumber dbus-daemon
build_project

scratch=$(mktemp -d /tmp/karnveldt-tests.XXXXXX)
cleanup() {
    [ -n "${pulse_pid:-}" ] && kill "$pulse_pid" 2>/dev/null
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# A display of our own, whatever the caller has.
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start" >&2; cat "$scratch/xvfb.log" >&2; exit 1; }

# A sound server of our own whose only sink is a null sink the tests can record.
export XDG_RUNTIME_DIR=$scratch/xdg PULSE_RUNTIME_PATH=$scratch/pulse
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit \
    --load="module-native-protocol-unix" --load="module-null-sink sink_name=show" \
    >"$scratch/pulse.log" 2>&1 &
pulse_pid=$!
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { echo "PulseAudio did not start" >&2; cat "$scratch/pulse.log" >&2; exit 1; }
pactl set-default-sink show

ctest --test-dir build --output-on-failure "$@"

# The whole show once more, built with AddressSanitizer and LeakSanitizer.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKARNVELDT_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)" --target karnveldt
ctest --test-dir build-asan --output-on-failure -R e2e_sanitized_run
