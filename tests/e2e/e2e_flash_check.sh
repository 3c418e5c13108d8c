# ctest: processors 2
# ctest: seconds 25
# The flash check: the gentle show passes it over the whole song at 1920 x 1080
# and 60 fps; the default show fails it in the second near 66 s, where the
# kick swaps the colours of the snares' tint (only that stretch is checked, to
# keep the run short).
source "$(dirname "$0")/lib.sh"
capture=$build/tools/capture/karnveldt-capture

started=$(now)
"$capture" --flash-check --gentle --size 1920x1080 --fps 60 >"$out/gentle.txt" 2>"$out/gentle.err"
status=$?
cat "$out/gentle.txt"
printf 'gentle, whole song: status %s after %.1f s\n' "$status" "$(elapsed "$started")"
check "the gentle show passes (status $status)" test "$status" -eq 0
check "its summary says so" grep -q "^flash check passed" "$out/gentle.txt"

"$capture" --flash-check --from 65.5 --to 67.5 >"$out/default.txt" 2>"$out/default.err"
status=$?
cat "$out/default.txt"
check "the default show fails (status $status)" test "$status" -eq 1
# "66.40 s: 5 red flashes in one second (windows starting ...)"
check "more than 3 red flashes in a second starting between 66 and 67 s" \
    awk '$4 == "red" && $1 >= 66 && $1 < 67 && $3 > 3 { found = 1 } END { exit !found }' "$out/default.txt"
check "the summary says it failed" grep -q "^flash check FAILED" "$out/default.txt"
finish
