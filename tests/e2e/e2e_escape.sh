# The show opens a 1920 x 1080 picture in the background colour, and Escape
# ends it within a second with status 0.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
start_pulse
start_show
sleep 3
import -window root "$out/start.png"
check "screenshot is 1920 x 1080" shotcheck "$out/start.png" size1080
check "screenshot is the background colour apart from effects" shotcheck "$out/start.png" background
xdotool key Escape
pressed=$(now)
for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
wait "$pid"
status=$?
took=$(elapsed "$pressed")
echo "ended ${took}s after Escape"
check_exit "$status" "after Escape"
check "ended within a second of Escape" test "$(echo "$took < 1" | bc)" -eq 1
finish
