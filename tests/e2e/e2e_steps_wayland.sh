# ctest: serial
# The show's steps on native Wayland (weston's headless output, 1920 x 1080),
# from 55 s to the end: every paint shows the step due by the clock, the
# credits come at about 73 s, and each snare flash stays 20 steps. weston
# offers no cheap way to poll the screen, so the flashes are timed from the
# trace: when it painted the first and the first after the tinted steps of the
# capture's frames.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/steps.sh"
start_weston 1920x1080
watch_steps 1920x1080
finish
