# With no sound server at all the show still plays, in silence, at the music's
# pace (here its last 30 s), says so once, and ends by itself with status 0.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
started=$(now)
start=60
PULSE_SERVER=unix:/nonexistent/karnveldt timeout 150 "$show" --start $start 2>"$out/stderr"
status=$?
took=$(elapsed "$started")
echo "exit status $status after ${took}s"; cat "$out/stderr"
check "exit status 0" test "$status" -eq 0
check "ended within 3 s of the song's rest" test "$(echo "$took < $song_seconds - $start + 3 && $took > $song_seconds - $start - 1" | bc)" -eq 1
check "one line on stderr says that sound is off" test "$(grep -c 'sound is off' "$out/stderr")" -eq 1
finish
