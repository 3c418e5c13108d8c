# The command line: --help and --version answer and exit 0; every bad use
# (KARNVELDT_THREADS among them) is refused with status 2 and a message on
# stderr before anything opens;
# --window sizes a window, --screen picks the screen, --mute plays nothing.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080 1280x720
start_pulse

# ARGUMENTS | STATUS | what stdout holds on status 0, stderr otherwise (text it contains)
# ENVIRONMENT: what the show runs under (default: the display and sound started here)
check_table() {
    local arguments expected holds status words
    while IFS='|' read -r arguments expected holds; do
        read -r -a words <<<"$arguments"
        timeout 5 env "$@" "$show" "${words[@]}" >"$out/stdout" 2>"$out/stderr"
        status=$?
        if [ "$expected" -eq 0 ]; then
            check "'$arguments' exits 0 and prints '$holds'" \
                test "$status" -eq 0 -a -z "$(grep -F -e "$holds" "$out/stdout" >/dev/null || echo no)"
        else
            check "'$arguments' exits $expected with one line on stderr saying '$holds' (status $status)" \
                test "$status" -eq "$expected" -a ! -s "$out/stdout" -a -z "$(grep -F -e "$holds" "$out/stderr" >/dev/null || echo no)" \
                     -a "$(grep -cv "^Try 'karnveldt --help'" "$out/stderr")" -eq 1
            cat "$out/stderr"
        fi
    done
}
check_table <<'TABLE'
--help|0|--window
-h|0|--mute
--help|0|--gentle
--help|0|WARNING: the show flashes
--gentle --bogus|2|
--version|0|karnveldt 1.0.0
-v|0|karnveldt 1.0.0
--bogus|2|
--rate 0|2|
--rate x|2|
--start -1|2|
--start 999|2|
--start|2|
--screen 99|2|
--screen nosuchscreen|2|
--window 10|2|
--window 0x720|2|
--window 0x0|2|each from 1 to 16384
--window 99999x99999|2|not 99999x99999
1280x720|2|
--start 91|2|--start 91 is past the end of the song (90.015 s)
TABLE

# With no display: what needs none still answers, and the rest is one line, status 1.
check_table -u DISPLAY -u WAYLAND_DISPLAY <<'TABLE'
--version|0|karnveldt 1.0.0
--help|0|--window
--start 91|2|past the end of the song
--window 99999x99999|2|16384
|1|no display could be opened: tried X11, but DISPLAY is not set
TABLE
unused=99
while [ -e "/tmp/.X11-unix/X$unused" ]; do unused=$((unused + 1)); done
check_table DISPLAY=:$unused <<TABLE
--mute|1|no display could be opened: tried the X11 display ":$unused"
TABLE
check_table QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=no-such-socket <<'TABLE'
--mute|1|no display could be opened: tried the Wayland display "no-such-socket"
TABLE
# libwayland says this one itself, on stderr: the one line gives its reason.
check_table -u XDG_RUNTIME_DIR -u WAYLAND_DISPLAY QT_QPA_PLATFORM=wayland <<'TABLE'
--mute|1|no display could be opened: tried the Wayland display "wayland-0": XDG_RUNTIME_DIR is invalid or not set
TABLE

# A bad frame thread count is refused like a bad option.
for threads in 0 65 two; do
    KARNVELDT_THREADS=$threads timeout 5 "$show" >"$out/stdout" 2>"$out/stderr"
    status=$?
    check "KARNVELDT_THREADS=$threads exits 2 with a message on stderr (status $status)" \
        test "$status" -eq 2 -a -s "$out/stderr" -a ! -s "$out/stdout"
done

# A window of the size asked for.
start_show --window 1280x720
sleep 3
geometry=$(show_geometry "$pid")
check "--window 1280x720 opens a 1280x720 window ($geometry)" test "${geometry%%+*}" = 1280x720
end_with_escape "$pid"

# The second X screen, by index (Qt names both X screens alike): full screen
# there is its 1280 x 720.
start_show --screen 1
sleep 3
geometry=$(show_geometry "$pid")
check "--screen 1 plays full screen on the second screen ($geometry)" test "$geometry" = 1280x720+0+0
end_with_escape "$pid"

# Muted, from 85 s on: the sink hears nothing and the show ends by itself.
start_recording
started=$(now)
show_limit=30 run_show --mute --start 85
status=$?
took=$(elapsed "$started")
stop_recording
echo "--mute --start 85: ended after ${took}s"
check_exit "$status" "(--mute --start 85)"
check "--mute --start 85 ends by itself within 10 s" test "$(echo "$took < 10" | bc)" -eq 1
check "the sink heard nothing" cmp -s -n "$(stat -c %s "$out/recording.raw")" "$out/recording.raw" /dev/zero
check "the sink was recorded" test -s "$out/recording.raw"

# A trace that cannot be written to the end: one line says so, and the status.
KARNVELDT_TRACE=/dev/full timeout 30 "$show" --mute --start 88 --window 320x180 2>"$out/stderr"
status=$?
cat "$out/stderr"
check "a trace on a full disk ends the show with status 1 (status $status)" test "$status" -eq 1
check "and one line on stderr says why" \
    test "$(grep -c "cannot write the trace /dev/full: No space left on device" "$out/stderr")" -eq 1
finish
