# Shared by the end-to-end tests: they run the real executable on a display and
# sound server each script starts for itself (environment.sh).
set -uo pipefail
build=$1
source "$(dirname "${BASH_SOURCE[0]}")/environment.sh"
show=$build/app/karnveldt
module=$build/app/resources/music.xm
shotcheck() { QT_QPA_PLATFORM=offscreen "$build/tests/shotcheck" "$@"; }
out=$build/e2e/$(basename "$0" .sh)
rm -rf "$out" && mkdir -p "$out"
failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
finish() {
    [ "$failures" -eq 0 ] && { echo "all checks passed"; exit 0; }
    echo "$failures check(s) failed"; exit 1
}
now() { date +%s.%N; }
elapsed() { echo "$(now) - $1" | bc; }
# Records what the null sink plays into $out/recording.raw until stop_recording.
# A stream of zeros at a low latency keeps the sink running in small steps, so
# that it starts the show's stream at once; zeros add nothing to what is recorded.
start_recording() {
    pacat --playback --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 </dev/zero &
    keeper=$!
    started_pids+=($keeper)
    # The recorder stands for the loudspeaker: busy cores must not make it drop
    # what the sink played, so it is given a larger buffer than the show's.
    parec -d show.monitor --format=s16le --rate=44100 --channels=2 --latency-msec=250 >"$out/recording.raw" &
    recorder=$!
    started_pids+=($recorder)
    sleep 0.5
}
stop_recording() {
    sleep 0.5
    kill "$recorder" "$keeper"
}
# The module's length in seconds: 6,126 player frames of 648 samples.
song_seconds=90.01

# show_geometry PID: "WxH+X+Y" of the show's mapped X window, on the root.
show_geometry() {
    local window info
    for window in $(xdotool search --pid "$1" 2>/dev/null); do
        info=$(xwininfo -id "$window")
        grep -q 'Map State: IsViewable' <<<"$info" || continue
        awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
             /^ *Width/ {w=$NF} /^ *Height/ {h=$NF} END {print w "x" h "+" x "+" y}' <<<"$info"
        return 0
    done
    echo none
}
screenshot() { import -window root "$1"; }
# sleep_until SECONDS: until that long after $launched.
sleep_until() {
    local wait; wait=$(echo "$1 - $(elapsed "$launched")" | bc)
    [ "$(echo "$wait > 0" | bc)" -eq 1 ] && sleep "$wait"
    return 0
}
image_size() { identify -format %wx%h "$1"; }

# end_with_escape PID: presses Escape, waits at most 2 s and checks status 0.
end_with_escape() {
    xdotool key Escape
    for _ in $(seq 40); do kill -0 "$1" 2>/dev/null || break; sleep 0.05; done
    kill -0 "$1" 2>/dev/null && { echo "still running 2 s after Escape"; kill "$1"; }
    wait "$1"
    local status=$?
    check "exit status 0 after Escape" test "$status" -eq 0
}

# play_on_screen WxH [ARGS...]: the show in the environment started fills the
# WxH screen, shows its picture all over, sounds like the module and ends on
# Escape with status 0. A script may define while_playing to look further
# before Escape.
play_on_screen() {
    local size=$1; shift
    start_recording
    launched=$(now)
    "$show" "$@" 2>"$out/stderr" &
    local pid=$!
    sleep 4
    local geometry; geometry=$(show_geometry "$pid")
    echo "the show's window: $geometry"
    check "the window covers the whole $size screen" test "$geometry" = "$size+0+0"
    screenshot "$out/screen.png"
    check "the screenshot is $size" test "$(image_size "$out/screen.png")" = "$size"
    check "the show's background fills the screen" shotcheck "$out/screen.png" background
    declare -F while_playing >/dev/null && while_playing
    end_with_escape "$pid"
    stop_recording
    check "recorded sound is the module" "$build/tests/audiocheck" --part "$module" "$out/recording.raw"
}
