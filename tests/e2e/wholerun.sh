# Sourced, after lib.sh and steps.sh, by the whole runs of the show: one run
# from the song's start to its end, watched by the sink's recorder and, on X,
# by screenwatch, and judged on everything its setup must show.
# KARNVELDT_SHOW_OPTIONS, split at spaces, are passed to the show (--literal,
# say, to measure the first timing); the checks of the steps and of the whole
# sound then do not apply.
read -r -a show_options <<<"${KARNVELDT_SHOW_OPTIONS:-}"

# start_listening: the sink kept running and recorded with the arrival time
# of each block.
start_listening() {
    echo "sound server: $(pactl info | grep "Server Name"); sink: $(pactl list short sinks | grep -w show)"
    keep_sink_running
    start_timed_recording
}

# play_whole_song [ARGS...]: the show from the start (or as ARGS say), in the
# background ($pid), with the recorder and the screen watcher running; a show
# that never ends is aborted.
play_whole_song() {
    start_listening
    watch_screen
    sleep 0.5
    # Other work on the machine delays paints: the figures are read with the load beside them.
    echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
    show_limit=150 start_traced "$@" "${show_options[@]}"
    show_pid=$(show_process "$pid")
}

# play_from SECONDS [UNTIL]: the same from that song time to the end, which
# it checks, or to song time UNTIL, where it presses Escape; then stops the
# watchers.
play_from() {
    play_whole_song --start "$1"
    if [ $# -gt 1 ]; then
        wait_until_song "$2"
        end_with_escape "$pid"
        stop_listening
    else
        end_whole_song "$(echo "$song_seconds - $1" | bc)"
    fi
}

# end_whole_song [SECONDS]: waits for the end (after the song's length, or
# SECONDS) and checks it, then stops the watchers.
end_whole_song() {
    end_of_song "${1:-$song_seconds}"
    stop_listening
}
stop_listening() {
    sleep 0.5
    echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "cpu time: screenwatch $(ps -o cputime= -p "$watcher"), recorder $(ps -o cputime= -p "$listener")"
    stop_watching_screen
    kill -0 "$keeper" 2>/dev/null || { echo "the stream keeping the sink running had ended:"; cat "$out/keeper.stderr"; }
    kill "$listener" && wait "$listener"
    check "the recorder ran to the end" test $? -eq 0
    cat "$out/recorder.stderr"
}

# check_whole_sound: the sink played the module whole (see check_sound); as
# resampled, when the recorder says the graph ran at another rate.
check_whole_sound() {
    [ ${#show_options[@]} -eq 0 ] || return 0
    local resampled=()
    grep 'graph clock 1/' "$out/recorder.stderr" | grep -q -v 'graph clock 1/44100 ' && resampled=(--resampled)
    check_sound "recorded sound is the module, whole and without gaps" "${resampled[@]}"
}

# check_in_time [--from SECONDS]: each snare's red flash on the screen, and
# its paint in the trace, against the moment its sound passed the sink.
check_in_time() {
    "$build/tests/synccheck" "$@" "$module" "$out/recording.raw" "$out/timing.txt" "$out/probe.txt" "$trace" \
        >"$out/synccheck.txt"
    local status=$?
    # The figures, and the snares out of time (a row whose columns 3 to 5 stray).
    awk '!/^[0-9]/ { print; next } { for (i = 3; i <= 5; ++i) if ($i > 25 || $i < -25) { print; next } }' \
        "$out/synccheck.txt"
    check "snare flashes in time with their sound" test "$status" -eq 0
}
