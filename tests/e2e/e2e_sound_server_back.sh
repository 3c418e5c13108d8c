# ctest: seconds 35
# Started at 60 s, the show loses its sound server at about 65 s and a new one
# starts at about 70 s: the sound comes back on the new server at the song
# position the show has reached by then, and plays on to the end without a
# gap. Also prints how the show's clock moved against the wall clock where
# the sound went and came back.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
start_pulse
server=${started_pids[-1]}
start_recording
started=$(now)
show_limit=150 start_show --window 640x360 --start 60
sleep 5
{ kill -KILL "$server" && wait "$server"; } 2>/dev/null
killed=$(now)
wait "$recorder" "$keeper" 2>/dev/null
mv "$out/recording.raw" "$out/before.raw"
sleep 5
start_pulse
server_back=$(now)
# The new server's sink is recorded with arrival times in CLOCK_MONOTONIC, the
# trace's clock, and kept running by zeros as before.
keep_sink_running
start_timed_recording
back=$(elapsed "$started")
wait "$pid"
status=$?
took=$(elapsed "$started")
sleep 0.5
kill "$listener" && wait "$listener"
echo "server back at ${back}s; exit status $status after ${took}s"; cat "$out/stderr"
# Ended by itself: the timeout would say 124. How long it took is no measure
# here, since an idle null sink makes a new stream wait up to 2 s, and the
# show's clock waits with the sound.
check_exit "$status"
check "one line on stderr says that sound is off" test "$(grep -c 'sound is off' "$out/stderr")" -eq 1

# Where the recordings' sounds lie in the song, and when they were recorded.
"$build/tests/audiocheck" --late "$module" "$out/before.raw" >"$out/before.txt"
"$build/tests/audiocheck" --late --server-skips "$module" "$out/recording.raw" >"$out/after.txt"
rest_whole=$?
cat "$out/after.txt"
check "the show's sound never ran dry" test "$(grep -c 'the sound ran dry' "$out/stderr")" -eq 0
check "the new server plays the rest of the song without a gap" test "$rest_whole" -eq 0
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p" "$2"; }
song_before=$(field last_sound_song_s "$out/before.txt")
song_after=$(field first_sound_song_s "$out/after.txt")
# The show's clock is the sound, and in silence it kept the music's pace from
# the last sound heard when the server died, so when the new server came up
# the show stood this far into the song; it takes up to its one-second retry
# to reconnect and resume there.
expected=$(echo "$song_before + $server_back - $killed" | bc)
resumed=$(sed -n 's/.*sound is on from \([0-9.]*\) s.*/\1/p' "$out/stderr")
echo "new server up at song ${expected}s; the show resumed at song ${resumed:-?}s; first sound recorded from song ${song_after}s"
check "the show resumed where it stood, within the retry interval" \
    test "$(echo "${resumed:-0} - $expected > -0.25 && ${resumed:-0} - $expected < 1.25" | bc)" -eq 1
# The recorder starts with the new server, so it hears the resumed sound from
# its start or very soon after.
check "the new server played the song from where the show resumed" \
    test "$(echo "$song_after - ${resumed:-0} > -0.01 && $song_after - ${resumed:-0} < 0.3" | bc)" -eq 1
# Five seconds into the restored sound, when the new sink has settled: the song
# position the recorder heard then is the one the trace's clock showed.
probe=$(echo "($(field first_sound_recording_s "$out/after.txt") + 5) * 44100 / 1" | bc)
heard_at=$(awk -v f="$probe" '$3 >= f { print $1; exit }' "$out/timing.txt")
traced=$(awk -v t="${heard_at:-0}" '{ d = $1 - t; if (d < 0) d = -d; if (best == "" || d < best) { best = d; c = $3 } }
    END { print c }' "$out/trace.txt")
song_heard=$(echo "$song_after + 5" | bc)
echo "at ${heard_at:-?} the sink played song ${song_heard}s; the trace's clock said ${traced:-?}s"
check "the restored sound plays at the song position the trace shows (within 0.1 s)" \
    test "$(echo "${traced:-0} - $song_heard < 0.1 && ${traced:-0} - $song_heard > -0.1" | bc)" -eq 1
# The song heard against the wall clock, paint by paint: the largest moves
# either way (a clock that waits for a sound adds no paint while it waits), from the loss on.
offset=$(QT_QPA_PLATFORM=offscreen "$build/tests/stepcheck" clockoffset)
awk -v from="$(echo "$killed - $offset - 1" | bc)" '
    NR > 1 && $1 >= from { d = ($3 - h) - ($1 - t); if (d > up) up = d; if (d < down) down = d }
    { t = $1; h = $3 }
    END { printf "the song heard against the wall clock, paint to paint: largest jump ahead %+.1f ms, largest fall behind %+.1f ms\n", up * 1000, down * 1000 }' "$out/trace.txt"
finish
