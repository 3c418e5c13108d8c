# ctest: serial
# ctest: seconds 35
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
show_limit=150 run_show --start $start
status=$?
took=$(elapsed "$started")
stop_recording
kill "${busy[@]}"
echo "after ${took}s with $(nproc) busy loops beside it"
check_exit "$status"
check "ended by itself within 3 s of the song's rest" test "$(echo "$took < $song_seconds - $start + 3" | bc)" -eq 1
check_sound "recorded sound is the module from 60 s, without gaps" --late
finish
