# Sourced by the sync runs once their display and sound server are up: one
# whole show watched by the sink's recorder and the screen probe, then synccheck;
# the show must also end by itself, and with the default timing the sink must
# have played the module whole, without gaps.
# KARNVELDT_SHOW_OPTIONS, split at spaces, are passed to the show (--literal,
# say, to measure the first timing).
read -r -a show_options <<<"${KARNVELDT_SHOW_OPTIONS:-}"
echo "sound server: $(pactl info | grep "Server Name"); sink: $(pactl list short sinks | grep -w show)"

# Zeros keep the sink running, so the show's stream starts at once; they add
# nothing to what is recorded.
pacat --playback --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 </dev/zero 2>/dev/null &
started_pids+=($!)
"$build/tests/recorder" show.monitor "$out/recording.raw" "$out/timing.txt" 2>"$out/recorder.stderr" &
recorder_pid=$!
"$build/tests/screenprobe" "$out/probe.txt" 2>"$out/probe.stderr" &
probe_pid=$!
started_pids+=("$recorder_pid" "$probe_pid")
sleep 0.5
# Other work on the machine delays paints: the figures are read with the load beside them.
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
started=$(now)
# A show that never ends fails here rather than holding the sound server.
KARNVELDT_TRACE=$out/trace.txt timeout 150 "$show" "${show_options[@]}" 2>"$out/stderr" &
show_pid=$!
started_pids+=("$show_pid")
wait "$show_pid"
status=$?
took=$(elapsed "$started")
sleep 0.5
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "cpu time: probe $(ps -o cputime= -p "$probe_pid"), recorder $(ps -o cputime= -p "$recorder_pid")"
kill "$probe_pid" "$recorder_pid"
wait "$probe_pid" "$recorder_pid"
echo "exit status $status after ${took}s; probe: $(tail -1 "$out/probe.txt")"
check "exit status 0" test "$status" -eq 0
check "ended by itself within 3 s of the song's length" test "$(echo "$took < $song_seconds + 3" | bc)" -eq 1
check "the recorder heard the whole run" test ! -s "$out/recorder.stderr"
if [ ${#show_options[@]} -eq 0 ]; then
    check "recorded sound is the module, whole and without gaps" "$build/tests/audiocheck" "$module" "$out/recording.raw"
fi
trace=()
[ -s "$out/trace.txt" ] && trace=("$out/trace.txt")
"$build/tests/synccheck" "$module" "$out/recording.raw" "$out/timing.txt" "$out/probe.txt" "${trace[@]}" \
    >"$out/synccheck.txt"
sync_status=$?
grep -v '^[0-9]' "$out/synccheck.txt"
check "snare flashes in time with their sound" test "$sync_status" -eq 0
finish
