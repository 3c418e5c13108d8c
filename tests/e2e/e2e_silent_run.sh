# ctest: seconds 32
# With no sound server at all the show still plays, in silence, at the music's
# pace (here its last 30 s), says so once, and ends by itself with status 0.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
started=$(now)
start=60
PULSE_SERVER=unix:/nonexistent/karnveldt show_limit=150 run_show --start $start
status=$?
took=$(elapsed "$started")
echo "after ${took}s"; cat "$out/stderr"
check_exit "$status"
check "ended within 3 s of the song's rest" test "$(echo "$took < $song_seconds - $start + 3 && $took > $song_seconds - $start - 1" | bc)" -eq 1
check "one line on stderr says that sound is off" test "$(grep -c 'sound is off' "$out/stderr")" -eq 1
finish
