# ctest: processors 2
# ctest: seconds 60
# Native Wayland on weston's headless 2560 x 1440 output, from 55 s to the
# song's end: the show's surface is the whole output (screenshots are the
# capture's frames at the output's size), the sink plays the module, the show
# ends by itself with status 0, every paint shows the step due, the credits
# come at about 73 s and each snare flash stays 20 steps. (weston's headless
# output has no keyboard, so Escape cannot be pressed here.)
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/steps.sh"
start_weston 2560x1440
start_pulse
watch_steps 2560x1440
finish
