# ctest: processors 1
# ctest: seconds 100
# ctest: background
# A whole run of a build with AddressSanitizer and LeakSanitizer: it ends by
# itself with status 0 and nothing is reported. Memory kept on purpose until
# exit (libxmp's context and module, Qt's platform objects) is suppressed by
# name in tests/lsan.supp. The show plays in a 960 x 540 window: every effect
# and step runs as full screen, on a quarter of the pixels, which is most of
# what the sanitizers make slow.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
start_pulse
export ASAN_OPTIONS=fast_unwind_on_malloc=0:detect_leaks=1
export LSAN_OPTIONS=suppressions=$(realpath "$(dirname "$0")/../lsan.supp")
show_limit=200 run_show --window 960x540
check_exit $?
check "no sanitizer report" test "$(grep -c -E 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error' "$out/stderr")" -eq 0
grep -E -A20 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error' "$out/stderr" | head -60
finish
