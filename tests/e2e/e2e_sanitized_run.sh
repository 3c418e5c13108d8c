# A whole run of a build with AddressSanitizer and LeakSanitizer: it ends by
# itself with status 0 and nothing is reported. Memory kept on purpose until
# exit (libxmp's context and module, Qt's platform objects) is suppressed by
# name in tests/lsan.supp.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
start_pulse
export ASAN_OPTIONS=fast_unwind_on_malloc=0:detect_leaks=1
export LSAN_OPTIONS=suppressions=$(dirname "$0")/../lsan.supp
timeout 200 "$show" 2>"$out/stderr"
status=$?
echo "exit status $status"
check "exit status 0" test "$status" -eq 0
check "no sanitizer report" test "$(grep -c -E 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error' "$out/stderr")" -eq 0
grep -E -A20 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error' "$out/stderr" | head -60
finish
