# ctest: serial
# A whole run with sound while another process keeps both cores busy: what the
# sound server heard is still the module, whole and without gaps.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
start_pulse
busy=()
for _ in $(seq "$(nproc)"); do
    sh -c 'while :; do :; done' &
    busy+=($!)
done
start_recording
started=$(now)
"$show" 2>"$out/stderr"
status=$?
took=$(elapsed "$started")
stop_recording
kill "${busy[@]}"
echo "exit status $status after ${took}s with $(nproc) busy loops beside it"
check "exit status 0" test "$status" -eq 0
check "ended by itself within 3 s of the song's length" test "$(echo "$took < $song_seconds + 3" | bc)" -eq 1
check "recorded sound is the module, whole and without gaps" "$build/tests/audiocheck" "$module" "$out/recording.raw"
finish
