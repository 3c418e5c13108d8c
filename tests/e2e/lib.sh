# Shared by the end-to-end tests: they run the real executable on a display and
# sound server each script starts for itself (environment.sh).
set -uo pipefail
build=$(realpath "$1")
source "$(dirname "${BASH_SOURCE[0]}")/environment.sh"
show=$build/app/karnveldt
module=$build/app/resources/music.xm
shotcheck() { QT_QPA_PLATFORM=offscreen "$build/tests/shotcheck" "$@"; }
out=$build/e2e/$(basename "$0" .sh)
rm -rf "$out" && mkdir -p "$out"
failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
finish() {
    [ "$failures" -eq 0 ] && { echo "all checks passed"; exit 0; }
    echo "$failures check(s) failed"; exit 1
}
now() { date +%s.%N; }

# A show, or anything else started here, that dies by a signal leaves a core file.
ulimit -c unlimited
# run_show ARGS...: the show as the end-to-end runs start it, with its stderr in
# $out/stderr and its trace in $out/trace.txt (or KARNVELDT_TRACE). It runs in
# $out/core, where its core file lands, and an exit with a status other than
# 0 becomes an abort (exittrap), so that a show that dies leaves one behind.
# With show_limit set, a show still running after that many seconds is
# aborted, which leaves one too. start_show ARGS... starts it in the
# background, as $pid.
run_show() {
    make_show_line
    "${show_line[@]}" "$@" 2>"$out/stderr"
}
start_show() {
    make_show_line
    "${show_line[@]}" "$@" 2>"$out/stderr" &
    pid=$!
}
make_show_line() {
    mkdir -p "$out/core"
    local preload=$build/tests/libexittrap.so
    # The sanitizers' runtime must be the first library loaded, and they report for themselves.
    ldd "$show" | grep -q libasan && preload=""
    show_line=(env -C "$out/core" KARNVELDT_TRACE="${KARNVELDT_TRACE:-$out/trace.txt}" LD_PRELOAD="$preload" "$show")
    [ -n "${show_limit:-}" ] && show_line=(timeout --signal=ABRT --kill-after=5 "$show_limit" "${show_line[@]}")
    return 0
}
# The show's own process, for a show started in the background as PID
# (under show_limit it is timeout's child).
show_process() { pgrep -P "$1" -x "$(basename "$show")" || echo "$1"; }
# check_exit STATUS [WHEN]: the show ended with status 0 (WHEN: "after
# Escape", say). Otherwise what it left behind: a backtrace of its core file,
# and the last lines of its stderr and of its trace.
check_exit() {
    local what="the show's exit status is 0${2:+ $2}"
    if [ "$1" -eq 0 ]; then
        check "$what" true
        # A core file after a clean end: something the show started aborted,
        # and one that does so at every start writes hundreds of MB each time.
        check "nothing it started left a core file" test -z "$(ls "$out"/core/ 2>/dev/null)"
        return 0
    fi
    check "$what, not $1" false
    local core; core=$(ls -t "$out"/core/core* 2>/dev/null | head -1)
    if [ -n "$core" ]; then
        echo "-- backtrace from $core"
        gdb -batch -ex "thread apply all bt 30" "$show" "$core" 2>&1 \
            | grep -vE '^\[(New LWP|Thread debugging|Using host)' | head -150
    else
        echo "-- no core file: a signal that leaves none (SIGKILL), or nothing aborted"
    fi
    echo "-- the last lines of stderr"; tail -n 10 "$out/stderr"
    echo "-- the last lines of the trace"; tail -n 5 "${KARNVELDT_TRACE:-$out/trace.txt}" 2>/dev/null
}
# check_threads PID: the show's window thread, and every thread but the audio
# thread, run in the normal scheduling class; the audio thread is raised to
# real-time where this user may raise it.
check_threads() {
    ps -L -o tid=,cls=,rtprio=,comm= -p "$1" >"$out/threads"
    echo "the show's threads (id, class, real-time priority, name):"; cat "$out/threads"
    check "the show's main thread runs in the normal class" \
        test "$(awk -v pid="$1" '$1 == pid {print $2}' "$out/threads")" = TS
    check "so does every thread but the audio thread" \
        test -z "$(awk '$4 != "audio" && $2 != "TS"' "$out/threads")"
    if chrt -r 1 true 2>/dev/null; then
        check "the audio thread runs at real-time priority" \
            test "$(awk '$4 == "audio" {print $2}' "$out/threads")" = RR
    fi
}
elapsed() { echo "$(now) - $1" | bc; }
# keep_sink_running: a stream of zeros at a low latency keeps the null sink
# running in small steps, so that it starts the show's stream at once; zeros
# add nothing to what is recorded. As $keeper.
keep_sink_running() {
    pacat --playback --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 </dev/zero \
        2>"$out/keeper.stderr" &
    keeper=$!
    started_pids+=("$keeper")
}
# start_timed_recording: what the null sink plays into $out/recording.raw,
# with the moment each block passed it, in the trace's clock, in
# $out/timing.txt. On PipeWire its graph's own clock says when (pwrecorder);
# on PulseAudio the block's arrival does (recorder). As $listener.
start_timed_recording() {
    local timed=("$build/tests/recorder" show.monitor)
    pactl info | grep -q '^Server Name:.*on PipeWire' && timed=("$build/tests/pwrecorder" show)
    "${timed[@]}" "$out/recording.raw" "$out/timing.txt" 2>"$out/recorder.stderr" &
    listener=$!
    started_pids+=("$listener")
}
# Records what the null sink plays into $out/recording.raw until
# stop_recording, with the sink kept running.
start_recording() {
    keep_sink_running
    # The recorder stands for the loudspeaker: busy cores must not make it drop
    # what the sink played, so it is given a larger buffer than the show's.
    parec -d show.monitor --format=s16le --rate=44100 --channels=2 --latency-msec=250 >"$out/recording.raw" &
    recorder=$!
    started_pids+=($recorder)
    sleep 0.5
}
stop_recording() {
    sleep 0.5
    kill "$recorder" "$keeper"
}
# check_sound WHAT [AUDIOCHECK OPTIONS...]: the show's stream never ran dry
# (the show says so on stderr when it does: a gap a listener hears, always a
# failure), and the recording of the sink is the module (audiocheck). Silence
# the server inserted while the show's stream held sound (a period its graph
# missed) is then reported, not failed; so are fragments the recorder lost.
check_sound() {
    local what=$1; shift
    check "the show's sound never ran dry" test "$(grep -c 'the sound ran dry' "$out/stderr")" -eq 0
    grep 'the sound ran dry' "$out/stderr" | head -5
    "$build/tests/audiocheck" --server-skips "$@" "$module" "$out/recording.raw" >"$out/audiocheck.txt"
    local status=$?
    cat "$out/audiocheck.txt"
    check "$what" test "$status" -eq 0
}

# The module's length in seconds: 6,126 player frames of 648 samples.
song_seconds=90.01

# show_geometry PID: "WxH+X+Y" of the show's mapped X window, on the root.
show_geometry() {
    local window info
    for window in $(xdotool search --pid "$1" 2>/dev/null); do
        info=$(xwininfo -id "$window")
        grep -q 'Map State: IsViewable' <<<"$info" || continue
        awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
             /^ *Width/ {w=$NF} /^ *Height/ {h=$NF} END {print w "x" h "+" x "+" y}' <<<"$info"
        return 0
    done
    echo none
}
screenshot() { import -window root "$1"; }
# sleep_until SECONDS: until that long after $launched.
sleep_until() {
    local wait; wait=$(echo "$1 - $(elapsed "$launched")" | bc)
    [ "$(echo "$wait > 0" | bc)" -eq 1 ] && sleep "$wait"
    return 0
}
image_size() { identify -format %wx%h "$1"; }

# end_with_escape PID: presses Escape, waits at most 2 s and checks status 0.
end_with_escape() {
    xdotool key Escape
    for _ in $(seq 40); do kill -0 "$1" 2>/dev/null || break; sleep 0.05; done
    kill -0 "$1" 2>/dev/null && { echo "still running 2 s after Escape"; kill -ABRT "$1"; }
    wait "$1"
    check_exit $? "after Escape"
}

# play_on_screen WxH [ARGS...]: the show in the environment started fills the
# WxH screen, shows its picture all over, sounds like the module and ends on
# Escape with status 0. A script may define while_playing to look further
# before Escape.
play_on_screen() {
    local size=$1; shift
    start_recording
    launched=$(now)
    start_show "$@"
    sleep 4
    local geometry; geometry=$(show_geometry "$pid")
    echo "the show's window: $geometry"
    check "the window covers the whole $size screen" test "$geometry" = "$size+0+0"
    screenshot "$out/screen.png"
    check "the screenshot is $size" test "$(image_size "$out/screen.png")" = "$size"
    check "the show's background fills the screen" shotcheck "$out/screen.png" background
    declare -F while_playing >/dev/null && while_playing
    end_with_escape "$pid"
    stop_recording
    check_sound "recorded sound is the module" --part
}
