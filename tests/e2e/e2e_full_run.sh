# ctest: serial
# A whole run with sound: it ends by itself with status 0, what the sound server
# heard is the module whole, and screenshots through the song show the fight,
# the finale and the closing blackout.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
start_pulse
start_recording
started=$(now)
"$show" 2>"$out/stderr" &
pid=$!
shoot() {  # shoot SECONDS NAME: a screenshot at that time after the start
    local wait; wait=$(echo "$1 - $(elapsed "$started")" | bc)
    [ "$(echo "$wait > 0" | bc)" -eq 1 ] && sleep "$wait"
    import -window root "$out/$2.png"
}
for t in $(seq 19 1 55); do shoot "$t" "fight-$t"; done
for t in $(seq 74 1 84); do shoot "$t" "finale-$t"; done
shoot 88.5 blackout
wait "$pid"
status=$?
took=$(elapsed "$started")
stop_recording
echo "exit status $status after ${took}s"
check "exit status 0" test "$status" -eq 0
check "ended by itself within 3 s of the song's length" test "$(echo "$took < $song_seconds + 3" | bc)" -eq 1
check "recorded sound is the module, whole and without gaps" "$build/tests/audiocheck" "$module" "$out/recording.raw"
any() {  # any QUESTION FILES...: at least one file answers yes
    local question=$1; shift
    for f in "$@"; do shotcheck "$f" "$question" >/dev/null && { echo "  $question: $f"; return 0; }; done
    return 1
}
check "a red flash during the fight" any red "$out"/fight-*.png
check "grey marks on the left during the fight" any greyleft "$out"/fight-*.png
check "grey marks on the right during the fight" any greyright "$out"/fight-*.png
check "the closing title or credits in the last part" any text "$out"/finale-*.png
check "black after the closing kill cue" shotcheck "$out/blackout.png" black
finish
