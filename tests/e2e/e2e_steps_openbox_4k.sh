# ctest: serial
# The same as e2e_steps_x11_1080 on a 3840 x 2160 X screen under openbox, where
# the show paints fewer times a second.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/steps.sh"
start_xvfb 3840x2160
start_openbox
watch_steps 3840x2160
finish
