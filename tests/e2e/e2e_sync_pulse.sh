# Pictures in time with the sound on PulseAudio: each snare's red flash against
# the moment its sound passed the sink.
# ctest: serial
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
start_pulse
source "$(dirname "$0")/syncrun.sh"
