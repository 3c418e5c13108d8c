#!/usr/bin/env bash
# A whole run of the show with sound on one platform, in its step timing or
# the literal one-step-per-paint timing, and the figures that tell them apart:
# paints per second, the painted step against the clock, how long the snare
# flashes last and when the credits come. Prints figures; judges nothing.
#
# usage: bench/paintsteps.sh BUILD x11|openbox|wayland steps|literal
#   x11: Xvfb 1920 x 1080; openbox: Xvfb 3840 x 2160 under openbox;
#   wayland: weston's headless output, 1920 x 1080.
# On X the flashes are timed on the screen's pixels; on Wayland from the trace
# (steps: the capture's tinted steps; literal: 20 paints, a flash's life).
[ $# -eq 3 ] || { echo "usage: bench/paintsteps.sh BUILD x11|openbox|wayland steps|literal" >&2; exit 2; }
platform=$2 mode=$3
case "$platform/$mode" in
    x11/steps | x11/literal | openbox/steps | openbox/literal | wayland/steps | wayland/literal) ;;
    *) echo "paintsteps: unknown platform or mode: $platform $mode" >&2; exit 2 ;;
esac
set -- "$1"
source "$(dirname "$0")/../tests/e2e/lib.sh"
out=$out-$platform-$mode
rm -rf "$out" && mkdir -p "$out"
source "$(dirname "$0")/../tests/e2e/steps.sh"

case $platform in
    x11) size=1920x1080; start_xvfb $size ;;
    openbox) size=3840x2160; start_xvfb $size; start_openbox ;;
    wayland) size=1920x1080; start_weston $size ;;
esac
start_pulse
options=()
[ "$mode" = literal ] && options=(--literal)

[ -z "${WAYLAND_DISPLAY:-}" ] && watch_screen
start_traced "${options[@]}"
wait_until_song 65
[ -z "${WAYLAND_DISPLAY:-}" ] && stop_watching_screen
# The credits, whenever they come: one paint a step may bring them late or never.
credits=none n=0
while kill -0 "$pid" 2>/dev/null; do
    shoot "finale-$n"
    if shotcheck "$(shot_file "finale-$n")" credits >/dev/null; then
        read -r _ _ after < <(tail -1 "$shots")
        credits=$(stepcheck songtime "$trace" "$after")
        break
    fi
    rm -f "$(shot_file "finale-$n")"
    n=$((n + 1))
    sleep 0.2
done
wait "$pid"
echo "exit status $?"

echo "== $platform, $mode timing"
stepcheck error "$trace" "$rate"
if [ -z "${WAYLAND_DISPLAY:-}" ]; then
    stepcheck durations "$trace" "$out/flashes.all" "$rate" | tail -1
elif [ "$mode" = steps ]; then
    "$capture" --rate "$rate" --fps "$rate" --size 640x360 --from 19 --to 65 --out "$out/flash-capture" >/dev/null 2>&1
    stepcheck flashes "$trace" "$out/flash-capture" >"$out/flashes"
    stepcheck durations "$trace" "$out/flashes" "$rate" | tail -1
fi
echo "credits first on the screen by song time: $credits s"
