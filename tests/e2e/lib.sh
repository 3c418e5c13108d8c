# Shared by the end-to-end tests: they run the real executable on a display and
# sound server each script starts for itself (environment.sh).
set -uo pipefail
build=$1
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
elapsed() { echo "$(now) - $1" | bc; }
# Records what the null sink plays into $out/recording.raw until stop_recording.
# A stream of zeros keeps the sink running, so that it starts the show's stream
# at once; zeros add nothing to what is recorded.
start_recording() {
    pacat --playback --raw --format=s16le --rate=44100 --channels=2 </dev/zero &
    keeper=$!
    started_pids+=($keeper)
    parec -d show.monitor --format=s16le --rate=44100 --channels=2 --latency-msec=20 >"$out/recording.raw" &
    recorder=$!
    started_pids+=($recorder)
    sleep 0.5
}
stop_recording() {
    sleep 0.5
    kill "$recorder" "$keeper"
}
# The module's length in seconds: 6,126 player frames of 648 samples.
song_seconds=90.01
