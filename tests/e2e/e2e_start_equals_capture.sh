# Started at 60 s, the show's first frames are the capture's frames at 60 s:
# the effects got there by running every step from the song's start.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/steps.sh"
start_xvfb 1920x1080
start_pulse
start_traced --start 60
shoot first
end_with_escape "$pid"
first=$(awk '!/^#/ {print $4; exit}' "$trace")
echo "first painted step: $first"
check "the first paint is within half a second of 60 s" test "$first" -ge 7200 -a "$first" -lt 7260
check_live_equals_capture 1920x1080 first
finish
