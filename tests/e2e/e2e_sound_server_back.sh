# ctest: seconds 35
# Started at 60 s, the show loses its sound server at about 65 s and a new one
# starts at about 70 s: the sound comes back on the new server at the song
# position the show has reached by then, and plays on to the end without a
# gap. The pictures never stand still (more than 100 ms) nor jump (more than
# 50 ms) from the loss on, the new sink's start among it: the trace's clock
# against the wall clock.
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
# Ended by itself: the timeout would say 124.
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
# the last sound heard when the server died. The new server's null sink may
# start playing up to 2 s after the server (the recorder's first block says
# when); the show takes up to its one-second retry to reconnect, and resumes
# where it stands once both are there and the silence it first gives the new
# stream (at most its 0.2 s buffer) has played.
offset=$(QT_QPA_PLATFORM=offscreen "$build/tests/stepcheck" clockoffset)
sink_started=$(echo "$(head -1 "$out/timing.txt" | cut -d' ' -f1) + $offset" | bc)
ready=$(echo "if ($sink_started > $server_back) $sink_started else $server_back" | bc)
expected=$(echo "$song_before + $ready - $killed" | bc)
resumed=$(sed -n 's/.*sound is on from \([0-9.]*\) s.*/\1/p' "$out/stderr")
echo "new server up and its sink playing at song ${expected}s; the show resumed at song ${resumed:-?}s; first sound recorded from song ${song_after}s"
check "the show resumed where it stood, within the retry interval" \
    test "$(echo "${resumed:-0} - $expected > -0.25 && ${resumed:-0} - $expected < 1.5" | bc)" -eq 1
# The recorder starts with the new server, so it hears the resumed sound from
# its start or very soon after.
check "the new server played the song from where the show resumed" \
    test "$(echo "$song_after - ${resumed:-0} > -0.01 && $song_after - ${resumed:-0} < 0.3" | bc)" -eq 1
# At the first restored sound (the pictures went on meanwhile, so it comes
# where they stand) and five seconds on, when the new sink has settled: the
# song position the recorder heard then is the one the trace's clock showed.
for later in 0 5; do
    probe=$(echo "($(field first_sound_recording_s "$out/after.txt") + $later) * 44100 / 1" | bc)
    heard_at=$(awk -v f="$probe" '$3 >= f { print $1; exit }' "$out/timing.txt")
    traced=$(awk -v t="${heard_at:-0}" '/^#/ { next } { d = $1 - t; if (d < 0) d = -d; if (best == "" || d < best) { best = d; c = $3 } }
        END { print c }' "$out/trace.txt")
    song_heard=$(echo "$song_after + $later" | bc)
    echo "at ${heard_at:-?} the sink played song ${song_heard}s; the trace's clock said ${traced:-?}s"
    check "${later} s into the restored sound it plays at the song position the trace shows (within 0.1 s)" \
        test "$(echo "${traced:-0} - $song_heard < 0.1 && ${traced:-0} - $song_heard > -0.1" | bc)" -eq 1
done
# The song heard against the wall clock, paint by paint, from the loss on (the
# song's start, where the clock waits for the first sound, is before it): the
# pictures stand still where wall time runs on and heard time does not (a
# clock that waits adds no paint while it waits), and jump where heard time
# runs ahead. A paint that takes long writes its line late, and the next one
# makes up for it; so each move is also taken together with the one after it
# (for a stand-still) or before it (for a jump), and the smaller counts.
read -r stood jumped < <(awk -v from="$(echo "$killed - $offset - 1" | bc)" '
    function gain(a, b) { return (h[b] - h[a]) - (t[b] - t[a]) }
    BEGIN { n = 0 }
    !/^#/ && $1 >= from { t[n] = $1; h[n] = $3; n++ }
    END {
        for (i = 1; i < n; i++) {
            s = -gain(i - 1, i); if (i + 1 < n && -gain(i - 1, i + 1) < s) s = -gain(i - 1, i + 1)
            j = gain(i - 1, i); if (i > 1 && gain(i - 2, i) < j) j = gain(i - 2, i)
            if (s > still) still = s; if (j > up) up = j
        }
        printf "%.1f %.1f\n", still * 1000, up * 1000
    }' "$out/trace.txt")
echo "the song heard against the wall clock, paint to paint: longest stand-still ${stood} ms, largest jump ahead ${jumped} ms"
check "the pictures never stood still for more than 100 ms (${stood} ms)" test "$(echo "$stood <= 100" | bc)" -eq 1
check "nor jumped ahead by more than 50 ms (${jumped} ms)" test "$(echo "$jumped <= 50" | bc)" -eq 1
finish
