# ctest: serial
# A whole run through PipeWire's PulseAudio server: it ends by itself with
# status 0 and the server heard the module whole, without gaps.
source "$(dirname "$0")/lib.sh"
start_pipewire
start_xvfb 1920x1080
start_recording
started=$(now)
"$show" 2>"$out/stderr"
status=$?
took=$(elapsed "$started")
stop_recording
echo "exit status $status after ${took}s"
check "exit status 0" test "$status" -eq 0
check "ended by itself within 3 s of the song's length" test "$(echo "$took < $song_seconds + 3" | bc)" -eq 1
check "recorded sound is the module, whole and without gaps" "$build/tests/audiocheck" "$module" "$out/recording.raw"
finish
