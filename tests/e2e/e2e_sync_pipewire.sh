# Pictures in time with the sound on PipeWire's PulseAudio server: each snare's
# red flash against the moment its sound passed the sink.
# ctest: serial
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
# The module's rate throughout, so that the sink passes its samples untouched.
mkdir -p "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d"
echo 'context.properties = { default.clock.rate = 44100 default.clock.allowed-rates = [ 44100 ] }' \
    >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/rate.conf"
start_pipewire
source "$(dirname "$0")/syncrun.sh"
