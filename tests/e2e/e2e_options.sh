# The command line: --help and --version answer and exit 0; every bad use
# (KARNVELDT_THREADS among them) is refused with status 2 and a message on
# stderr before anything opens;
# --window sizes a window, --screen picks the screen, --mute plays nothing.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080 1280x720
start_pulse

# ARGUMENTS | STATUS | what stdout holds (a word it contains, or empty)
while IFS='|' read -r arguments expected holds; do
    read -r -a words <<<"$arguments"
    timeout 5 "$show" "${words[@]}" >"$out/stdout" 2>"$out/stderr"
    status=$?
    if [ "$expected" -eq 0 ]; then
        check "'$arguments' exits 0 and prints '$holds'" \
            test "$status" -eq 0 -a -z "$(grep -F -e "$holds" "$out/stdout" >/dev/null || echo no)"
    else
        check "'$arguments' exits 2 with a message on stderr (status $status)" \
            test "$status" -eq 2 -a -s "$out/stderr" -a ! -s "$out/stdout"
    fi
done <<'TABLE'
--help|0|--window
-h|0|--mute
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
1280x720|2|
TABLE

# A bad frame thread count is refused like a bad option.
for threads in 0 65 two; do
    KARNVELDT_THREADS=$threads timeout 5 "$show" >"$out/stdout" 2>"$out/stderr"
    status=$?
    check "KARNVELDT_THREADS=$threads exits 2 with a message on stderr (status $status)" \
        test "$status" -eq 2 -a -s "$out/stderr" -a ! -s "$out/stdout"
done

# A window of the size asked for.
"$show" --window 1280x720 2>"$out/stderr" &
pid=$!
sleep 3
geometry=$(show_geometry "$pid")
check "--window 1280x720 opens a 1280x720 window ($geometry)" test "${geometry%%+*}" = 1280x720
end_with_escape "$pid"

# The second X screen, by index (Qt names both X screens alike): full screen
# there is its 1280 x 720.
"$show" --screen 1 2>"$out/stderr" &
pid=$!
sleep 3
geometry=$(show_geometry "$pid")
check "--screen 1 plays full screen on the second screen ($geometry)" test "$geometry" = 1280x720+0+0
end_with_escape "$pid"

# Muted, from 85 s on: the sink hears nothing and the show ends by itself.
start_recording
started=$(now)
timeout 30 "$show" --mute --start 85 2>"$out/stderr"
status=$?
took=$(elapsed "$started")
stop_recording
echo "--mute --start 85: status $status after ${took}s"
check "--mute --start 85 ends by itself with status 0 within 10 s" \
    test "$status" -eq 0 -a "$(echo "$took < 10" | bc)" -eq 1
check "the sink heard nothing" cmp -s -n "$(stat -c %s "$out/recording.raw")" "$out/recording.raw" /dev/zero
check "the sink was recorded" test -s "$out/recording.raw"
finish
