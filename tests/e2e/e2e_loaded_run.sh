# A whole run with sound while another process keeps both cores busy: what the
# sound server heard is still the module, whole and without gaps.
source "$(dirname "$0")/lib.sh"
busy=()
for _ in $(seq "$(nproc)"); do
    sh -c 'while :; do :; done' &
    busy+=($!)
done
pacat --playback --raw --format=s16le --rate=44100 --channels=2 </dev/zero &
keeper=$!
parec -d show.monitor --format=s16le --rate=44100 --channels=2 --latency-msec=20 >"$out/recording.raw" &
recorder=$!
sleep 0.5
started=$(now)
"$show" 2>"$out/stderr"
status=$?
took=$(elapsed "$started")
sleep 0.5
kill "$recorder" "$keeper" "${busy[@]}"
echo "exit status $status after ${took}s with $(nproc) busy loops beside it"
check "exit status 0" test "$status" -eq 0
check "ended by itself within 3 s of the song's length" test "$(echo "$took < $song_seconds + 3" | bc)" -eq 1
check "recorded sound is the module, whole and without gaps" "$build/tests/audiocheck" "$module" "$out/recording.raw"
finish
