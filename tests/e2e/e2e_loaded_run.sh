# ctest: serial
# The last 30 s of the song with sound while other processes keep both cores
# busy: what the sound server heard is still the module, without gaps.
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
start=60
"$show" --start $start 2>"$out/stderr"
status=$?
took=$(elapsed "$started")
stop_recording
kill "${busy[@]}"
echo "exit status $status after ${took}s with $(nproc) busy loops beside it"
check "exit status 0" test "$status" -eq 0
check "ended by itself within 3 s of the song's rest" test "$(echo "$took < $song_seconds - $start + 3" | bc)" -eq 1
check "recorded sound is the module from 60 s, without gaps" "$build/tests/audiocheck" --late "$module" "$out/recording.raw"
finish
