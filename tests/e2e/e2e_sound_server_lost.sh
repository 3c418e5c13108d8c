# ctest: seconds 32
# Started at 60 s, the show loses its sound server at about 65 s: it carries on
# in silence at the music's pace, says once that sound is off, and still ends
# by itself with status 0 when the song does.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
start_pulse
server=${started_pids[-1]}
start=60
started=$(now)
show_limit=150 start_show --window 640x360 --start $start
sleep 5
{ kill -KILL "$server" && wait "$server"; } 2>/dev/null
killed=$(elapsed "$started")
wait "$pid"
status=$?
took=$(elapsed "$started")
echo "server killed at ${killed}s; ended after ${took}s"; cat "$out/stderr"
check_exit "$status"
check "ended by itself within 3 s of the song's rest" \
    test "$(echo "$took < $song_seconds - $start + 3 && $took > $song_seconds - $start - 1" | bc)" -eq 1
check "one line on stderr says that sound is off" test "$(grep -c 'sound is off' "$out/stderr")" -eq 1
finish
