# ctest: processors 2
# ctest: seconds 95
# The whole show on PipeWire's PulseAudio server, on a 1920 x 1080 X screen:
# it covers the screen with its picture, ends by itself with status 0, the
# sink played the module whole, without gaps, only its audio thread runs at
# real-time priority, and each snare's red flash on the screen, and its paint
# in the trace, comes with its sound. The screen refreshes 144 times a
# second: each refresh a new step falls on gets it.
source "$(dirname "$0")/lib.sh"
start_pipewire
source "$(dirname "$0")/steps.sh"
source "$(dirname "$0")/wholerun.sh"
xvfb_refresh=144 start_xvfb 1920x1080
play_whole_song
sleep 2
geometry=$(show_geometry "$show_pid")
check "the window covers the whole 1920x1080 screen ($geometry)" test "$geometry" = 1920x1080+0+0
shoot start
check "the show's background fills the screen" shotcheck "$(shot_file start)" background
check_threads "$show_pid"
end_whole_song

check_whole_sound
check_in_time
check_refreshes 90
finish
