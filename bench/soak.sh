#!/usr/bin/env bash
# Whole runs of the show in a row on one setup, each judged as the end-to-end
# runs judge theirs: its exit status (with a backtrace from its core file if
# it died), the sound the sink played (inserted silence, what the recorder
# lost, the show's own "ran dry" lines) and its paints. Prints one line a run
# and a total; judges nothing.
#
# usage: bench/soak.sh BUILD pulse|pipewire|openbox4k|weston RUNS
#   pulse: Xvfb 1920 x 1080, PulseAudio; pipewire: the same on PipeWire;
#   openbox4k: Xvfb 3840 x 2160 under openbox, PulseAudio; weston: weston's
#   headless 1920 x 1080 output, PulseAudio.
# The setup and the count go through the environment, since the PipeWire
# setup starts this script again, under a session bus, with BUILD alone.
[ $# -eq 3 ] && export SOAK_SETUP=$2 SOAK_RUNS=$3
setup=${SOAK_SETUP:-} runs=${SOAK_RUNS:-}
[ -n "$setup" ] && [ -n "$runs" ] || { echo "usage: bench/soak.sh BUILD pulse|pipewire|openbox4k|weston RUNS" >&2; exit 2; }
case $setup in pulse | pipewire | openbox4k | weston) ;; *) echo "soak: unknown setup $setup" >&2; exit 2 ;; esac
set -- "$1"
source "$(dirname "$0")/../tests/e2e/lib.sh"
[ "$setup" = pipewire ] && start_pipewire
base=$out-$setup
case $setup in
    pulse) start_xvfb 1920x1080; start_pulse ;;
    pipewire) start_xvfb 1920x1080 ;;
    openbox4k) start_xvfb 3840x2160; start_openbox; start_pulse ;;
    weston) start_weston 1920x1080; start_pulse ;;
esac
keep_sink_running
sleep 0.5

failed=0
for ((run = 1; run <= runs; run++)); do
    out=$base/run-$run
    mkdir -p "$out"
    start_timed_recording
    sleep 0.3
    started=$(now)
    show_limit=150 run_show
    status=$?
    took=$(elapsed "$started")
    sleep 0.3
    kill "$listener" && wait "$listener"
    "$build/tests/audiocheck" --server-skips "$module" "$out/recording.raw" >"$out/audiocheck.txt"
    sound=$?
    summary=$(tail -1 "$out/audiocheck.txt")
    field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" <<<"$summary"; }
    dry=$(grep -c 'the sound ran dry' "$out/stderr")
    paints=$(grep -c -v '^#' "$out/trace.txt")
    verdict=ok
    [ "$status" -eq 0 ] && [ "$sound" -eq 0 ] && [ "$dry" -eq 0 ] || { verdict=FAILED; failed=$((failed + 1)); }
    printf '%s run %d: %s; status %d after %.1f s; ran dry %d; inserted %s ms by the server, %s ms lost by the recorder; %d paints\n' \
        "$setup" "$run" "$verdict" "$status" "$took" "$dry" "$(field skipped_ms)" "$(field lost_ms)" "$paints"
    [ "$sound" -eq 0 ] || grep -v '^reference_s' "$out/audiocheck.txt" | head -5
    [ "$status" -eq 0 ] || check_exit "$status" | tail -n +2 | head -40
done
echo "$setup: $failed of $runs runs failed"
