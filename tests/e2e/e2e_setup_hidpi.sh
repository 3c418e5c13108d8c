# A 3840 x 2160 screen at a device pixel ratio of 2: the show fills it and
# draws its effects at the screen's own pixels, not as an enlarged 1920 x 1080
# picture.
source "$(dirname "$0")/lib.sh"
start_xvfb 3840x2160
start_openbox
start_pulse
export QT_SCALE_FACTOR=2
while_playing() {  # screenshots while the first kill mark and notes are up
    sleep 5
    for t in 1 2 3; do screenshot "$out/effects-$t.png"; done
    local shot
    for shot in "$out"/effects-*.png; do shotcheck "$shot" fine && return 0; done
    check "effects are drawn at device pixels" false
}
play_on_screen 3840x2160
finish
