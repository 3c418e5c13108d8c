# ctest: processors 2
# ctest: seconds 65
# A 3840 x 2160 X screen managed by openbox, from 55 s to the song's end: the
# window manager gives the show the whole screen, the sink plays the module,
# and the steps hold as on a 1920 x 1080 screen though the show paints fewer
# times a second: every paint shows the step due, each snare flash lasts 20
# steps, the credits come when the capture shows them, and screenshots are the
# capture's frames at the screen's size; and each of the display's 60
# refreshes a second gets a new picture.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/steps.sh"
start_xvfb 3840x2160
start_openbox
start_pulse
watch_steps 3840x2160
check_refreshes 90
finish
