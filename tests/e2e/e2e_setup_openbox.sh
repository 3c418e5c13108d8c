# A 3840 x 2160 X screen managed by openbox: the window manager gives the show
# the whole screen.
source "$(dirname "$0")/lib.sh"
start_xvfb 3840x2160
start_openbox
start_pulse
play_on_screen 3840x2160
finish
