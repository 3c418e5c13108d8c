# ctest: processors 2
# ctest: seconds 115
# The whole show on PulseAudio, on a 1920 x 1080 X screen: everything this
# setup must show, from one run.
# - It ends by itself with status 0, and the sink played the module whole,
#   without gaps.
# - Only its audio thread runs at real-time priority.
# - In time: each snare's red flash on the screen, and its paint in the trace,
#   against the moment its sound passed the sink.
# - The picture: grey marks on both sides in the fight, the title and the
#   credits in the finale, black after the closing kill cue; the fight's red
#   flashes are those screenwatch saw.
# - The display's refreshes (60 a second): each gets a new picture, drawn for
#   the song time heard when it is lit.
# - The steps: every paint shows the step due, each snare flash lasts 20
#   steps, the credits come when the capture shows them, and screenshots are
#   the capture's frames of steps then on the screen.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/steps.sh"
source "$(dirname "$0")/wholerun.sh"
start_xvfb 1920x1080
start_pulse
play_whole_song
sleep 2
check_threads "$show_pid"
# Grey marks stand on both sides for most of a second around these times.
for t in 26.4 28.6 33.6 43.2 53.6; do shoot_at "$t" "fight-$t"; done
shoot_at 56 fight-1
shoot_at 58.5 fight-2
shoot_at 71 title
shoot_credits
shoot_at 88.5 blackout
end_whole_song

check_whole_sound
check_in_time
any() {  # any QUESTION NAMES...: at least one screenshot answers yes
    local question=$1 name; shift
    for name in "$@"; do
        shotcheck "$(shot_file "$name")" "$question" >/dev/null && { echo "  $question: $name"; return 0; }
    done
    return 1
}
check "grey marks on the left during the fight" any greyleft fight-26.4 fight-28.6 fight-33.6 fight-43.2 fight-53.6
check "grey marks on the right during the fight" any greyright fight-26.4 fight-28.6 fight-33.6 fight-43.2 fight-53.6
check "the title in the finale" any text title
check "black after the closing kill cue" shotcheck "$(shot_file blackout)" black
if [ ${#show_options[@]} -eq 0 ]; then
    check_step_error
    check_refreshes 90
    check_flash_durations
    check_credits
    check_live_equals_capture 1920x1080 fight-1 fight-2 finale-0 "$credits_shot"
fi
finish
