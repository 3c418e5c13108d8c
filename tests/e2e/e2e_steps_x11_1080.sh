# ctest: serial
# The show's steps on a 1920 x 1080 X screen, from 55 s to the end: every paint
# shows the step due by the clock, each snare flash stays 20 steps (watched on
# the screen's pixels), the credits come at about 73 s, and screenshots are the
# capture's frames of the steps the trace says were on the screen.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/steps.sh"
start_xvfb 1920x1080
watch_steps 1920x1080
finish
