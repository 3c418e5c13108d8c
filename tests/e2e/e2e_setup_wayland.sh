# Native Wayland on weston's headless output: the show's surface is the whole
# 2560 x 1440 output, its picture fills the screen, the module plays, and the
# show ends by itself with status 0. (weston's headless output has no keyboard,
# so Escape cannot be pressed here.) The surface's size comes from the protocol
# log of a first, short run, stopped after the screenshot; the ending from a
# second run started 80 s into the song.
source "$(dirname "$0")/lib.sh"
start_weston 2560x1440
start_pulse
WAYLAND_DEBUG=client timeout 8 "$show" 2>"$out/stderr" &
pid=$!
sleep 4
buffer=$(grep -o 'create_buffer(new id wl_buffer@[0-9]*, [0-9]*, [0-9]*, [0-9]*' "$out/stderr" | tail -1 \
    | awk -F', ' '{print $3 "x" $4}')
echo "the show's last buffer: $buffer"
check "the show's surface is the whole output" test "$buffer" = 2560x1440
check "weston takes a screenshot" wayland_screenshot "$out/screen.png"
check "the screenshot is 2560x1440" test "$(image_size "$out/screen.png")" = 2560x1440
check "the show's background fills the screen" shotcheck "$out/screen.png" background
wait "$pid"

start_recording
started=$(now)
start=80
"$show" --start $start 2>"$out/stderr"
status=$?
took=$(elapsed "$started")
stop_recording
check "recorded sound is the module" "$build/tests/audiocheck" --part "$module" "$out/recording.raw"
echo "exit status $status after ${took}s"
check "exit status 0 at the song's end" test "$status" -eq 0
check "ended by itself within 3 s of the song's rest" test "$(echo "$took < $song_seconds - $start + 3" | bc)" -eq 1
finish
