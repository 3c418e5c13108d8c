# Pictures in time with the sound on PulseAudio: each snare's red flash against
# the moment its sound passed the sink. Runs alone: it times the machine.
sound_server=pulseaudio
show_options=()
source "$(dirname "$0")/syncrun.sh"
