# Pictures in time with the sound on PipeWire's PulseAudio server: each snare's
# red flash against the moment its sound passed the sink. Also PipeWire's whole
# run: it ends by itself and the sink played the module whole.
# ctest: serial
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
start_pipewire
source "$(dirname "$0")/syncrun.sh"
