# ctest: seconds 30
# A sound server that stops taking the sound but keeps the connection open:
# - stopped (SIGSTOP) 3 s into a run started at 80 s: after about 2 s without
#   a request for sound the show says once that sound is off, carries on in
#   silence and ends by itself with status 0 by the song's end plus 3 s;
# - its sink suspended for 6 s, 3 s into a run started at 75 s: the same, and
#   the sound comes back on the same server once the sink runs again.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/steps.sh"
start_xvfb 1920x1080
start_pulse
server=${started_pids[-1]}
keep_sink_running
sleep 0.5

# play_through START WHAT SECONDS: the show from START with WHAT done to the
# server 3 s in and undone SECONDS later, whenever the show ends.
play_through() {
    local start=$1 what=$2 seconds=$3 status ended took
    show_limit=60 start_show --window 640x360 --start "$start"
    (
        sleep 3
        case $what in stop) kill -STOP "$server" ;; suspend) pactl suspend-sink show 1 ;; esac
        sleep "$seconds"
        case $what in stop) kill -CONT "$server" ;; suspend) pactl suspend-sink show 0 ;; esac
    ) &
    local changer=$!
    wait "$pid"
    status=$?
    ended=$(monotonic)
    # From the first picture, at the song time started from, to the end.
    took=$(echo "$ended - $(awk '!/^#/ {print $1; exit}' "$trace")" | bc)
    wait "$changer"
    echo "== $what from $start s: ended ${took} s after its first picture"; cat "$out/stderr"
    check_exit "$status" "($what)"
    check "($what) ended by itself by the song's end plus 3 s" \
        test "$(echo "$took < $song_seconds - $start + 3" | bc)" -eq 1
    check "($what) one line on stderr says that sound is off" test "$(grep -c 'sound is off' "$out/stderr")" -eq 1
}
# Stopped until the song is over: nothing of it is waited for.
play_through 80 stop 12
play_through 75 suspend 6
check "(suspend) the sound came back once the sink ran again" grep -q 'the sound server is back' "$out/stderr"
finish
