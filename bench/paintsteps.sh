#!/usr/bin/env bash
# A whole run of the show with sound on one platform, paced by the display,
# by the steps alone, or in the literal one-step-per-paint timing, and the
# figures that tell them apart: paints per second, the painted step against
# the clock, the display's refreshes, how long the snare flashes last, when
# the credits come, and the show's processor time per second of song.
# Prints figures; judges nothing.
#
# usage: bench/paintsteps.sh BUILD x11|openbox|wayland display|steps|literal
#   x11: Xvfb 1920 x 1080; openbox: Xvfb 3840 x 2160 under openbox;
#   wayland: weston's headless output, 1920 x 1080. Xvfb's refresh is 60 Hz
#   (xvfb_refresh=N sets it), weston's repaint window 7 ms
#   (weston_repaint_window=N).
# On X the flashes are timed on the screen's pixels; on Wayland from the trace
# (steps: the capture's tinted steps; literal: 20 paints, a flash's life).
[ $# -eq 3 ] || { echo "usage: bench/paintsteps.sh BUILD x11|openbox|wayland display|steps|literal" >&2; exit 2; }
platform=$2 mode=$3
case "$platform/$mode" in
    x11/display | x11/steps | x11/literal | openbox/display | openbox/steps | openbox/literal | wayland/display \
        | wayland/steps | wayland/literal) ;;
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
[ "$mode" = steps ] && options=(--step-pacing)

[ -z "${WAYLAND_DISPLAY:-}" ] && watch_screen
start_traced "${options[@]}"
show_pid=$(show_process "$pid")
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
# Its processor time, read just before it ends (user and system ticks).
while read -r -a stat 2>/dev/null <"/proc/$show_pid/stat"; do
    ticks=$((stat[13] + stat[14]))
    sleep 0.1
done
wait "$pid"
echo "exit status $?"

echo "== $platform, $mode pacing"
stepcheck error "$trace" "$rate"
[ "$mode" = display ] && stepcheck refreshes "$trace" "$rate" 0
echo "processor time: $(echo "scale=3; $ticks / $(getconf CLK_TCK) / $song_seconds" | bc) s a second of song"
if [ -z "${WAYLAND_DISPLAY:-}" ]; then
    stepcheck durations "$trace" "$out/flashes.all" "$rate" | tail -1
elif [ "$mode" != literal ]; then
    "$capture" --rate "$rate" --fps "$rate" --size 640x360 --from 19 --to 65 --out "$out/flash-capture" >/dev/null 2>&1
    stepcheck flashes "$trace" "$out/flash-capture" >"$out/flashes"
    stepcheck durations "$trace" "$out/flashes" "$rate" | tail -1
fi
echo "credits first on the screen by song time: $credits s"
