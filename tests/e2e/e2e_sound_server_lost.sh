# The sound server is killed at about 20 s: the show carries on in silence at
# the music's pace, says once that sound is off, and still ends by itself with
# status 0 when the song does.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
start_pulse
server=${started_pids[-1]}
started=$(now)
timeout 150 "$show" 2>"$out/stderr" &
pid=$!
sleep 20
{ kill -KILL "$server" && wait "$server"; } 2>/dev/null
killed=$(elapsed "$started")
wait "$pid"
status=$?
took=$(elapsed "$started")
echo "server killed at ${killed}s; exit status $status after ${took}s"; cat "$out/stderr"
check "exit status 0" test "$status" -eq 0
check "ended by itself within 3 s of the song's length" \
    test "$(echo "$took < $song_seconds + 3 && $took > $song_seconds - 1" | bc)" -eq 1
check "one line on stderr says that sound is off" test "$(grep -c 'sound is off' "$out/stderr")" -eq 1
finish
