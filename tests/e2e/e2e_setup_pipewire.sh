# PipeWire's PulseAudio server: the show plays the module through it and ends
# on Escape with status 0.
source "$(dirname "$0")/lib.sh"
start_pipewire
start_xvfb 1920x1080
play_on_screen 1920x1080
finish
