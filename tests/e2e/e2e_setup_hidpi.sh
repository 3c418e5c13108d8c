# A 3840 x 2160 screen at a device pixel ratio of 2: the show fills it and
# draws its effects at the screen's own pixels, not as an enlarged 1920 x 1080
# picture.
source "$(dirname "$0")/lib.sh"
start_xvfb 3840x2160
start_openbox
start_pulse
export QT_SCALE_FACTOR=2
while_playing() {  # screenshots while the first notes and kill mark are up
    for t in 10 11 12; do sleep_until "$t"; screenshot "$out/effects-$t.png"; done
    check "effects are drawn at device pixels" any_fine "$out"/effects-*.png
}
any_fine() {
    local shot
    for shot in "$@"; do shotcheck "$shot" fine && return 0; done
    return 1
}
play_on_screen 3840x2160
finish
