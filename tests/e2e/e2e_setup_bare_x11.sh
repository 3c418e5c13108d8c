# A 3840 x 2160 X screen with no window manager: full screen is the whole
# screen, not a 1920 x 1080 corner of it.
source "$(dirname "$0")/lib.sh"
start_xvfb 3840x2160
start_pulse
play_on_screen 3840x2160
finish
