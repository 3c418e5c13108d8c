# Sourced after lib.sh by the scripts that watch the show's steps: a traced run
# of the show, screenshots stamped with the monotonic clock the trace uses, and
# the figures and comparisons made from them.
stepcheck() { QT_QPA_PLATFORM=offscreen "$build/tests/stepcheck" "$@"; }
capture=$build/tools/capture/karnveldt-capture
rate=120
trace=$out/trace
shots=$out/shots
: >"$shots"

# The trace's clock is CLOCK_MONOTONIC; bash reads the wall clock cheaply, so
# the difference is taken once.
clock_offset=$(stepcheck clockoffset)
monotonic() { echo "$EPOCHREALTIME - $clock_offset" | bc; }

# shot_file NAME: where screenshot NAME goes; on X a PPM straight from the
# screen (see screengrab), on Wayland weston's PNG.
shot_file() {
    if [ -n "${WAYLAND_DISPLAY:-}" ]; then echo "$out/$1.png"; else echo "$out/$1.ppm"; fi
}
screen_shot() {  # screen_shot FILE
    if [ -n "${WAYLAND_DISPLAY:-}" ]; then wayland_screenshot "$1"; else "$build/tests/screengrab" "$1"; fi
}

# start_traced [ARGS...]: the show with its trace, in the background ($pid).
start_traced() {
    KARNVELDT_TRACE=$trace "$show" "$@" 2>"$out/stderr" &
    pid=$!
    wait_for 10 test -s "$trace" || { echo "the show painted nothing"; cat "$out/stderr"; exit 1; }
}

song_now() { stepcheck songtime "$trace" "$(monotonic)" 2>/dev/null || echo 0; }

# shoot NAME: a screenshot, listed in $shots with the monotonic times around it.
shoot() {
    local file before after
    file=$(shot_file "$1")
    before=$(monotonic)
    screen_shot "$file"
    after=$(monotonic)
    echo "$file $before $after" >>"$shots"
}

# shoot_credits: screenshots one after another from 71.5 s until one shows the
# credits or the song reaches 76 s. Only the first, the last two and the one
# before them are kept, to spare the disk.
shoot_credits() {
    local n=0
    wait_until_song 71.5
    while [ "$(echo "$(song_now) < 76" | bc)" -eq 1 ] && kill -0 "$pid" 2>/dev/null; do
        shoot "finale-$n"
        shotcheck "$(shot_file "finale-$n")" credits >/dev/null && break
        [ "$n" -ge 3 ] && rm -f "$(shot_file "finale-$((n - 2))")"
        n=$((n + 1))
    done
    credits_shot=finale-$n
}

wait_until_song() {  # wait_until_song SECONDS
    while [ "$(echo "$(song_now) < $1" | bc)" -eq 1 ] && kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
}

# end_of_song: waits for the show to end by itself and checks its status.
end_of_song() {
    wait "$pid"
    local status=$?
    check "the show ends by itself with status 0" test "$status" -eq 0
}

# check_step_error: the painted step is floor(heard x rate) within one step, all along.
check_step_error() {
    stepcheck error "$trace" "$rate" | tee "$out/step-error"
    check "every paint shows the step due, within one" test "${PIPESTATUS[0]}" -eq 0
}

# check_credits: the first screenshot showing the credits was taken no earlier
# than the capture's first frame showing them, and not later than the
# screenshot before it plus 0.1 s; both at about 73 s.
check_credits() {
    local frames=$out/credits-capture first step file before after previous live earlier
    "$capture" --rate "$rate" --fps "$rate" --size 640x360 --from 72.5 --to 75 --out "$frames" >/dev/null 2>&1
    for first in "$frames"/frame-*.png; do shotcheck "$first" credits >/dev/null && break; done
    step=$(basename "$first" .png); step=$((10#${step#frame-}))
    read -r file before after < <(grep "/$credits_shot\." "$shots")
    read -r _ earlier _ < <(grep -B1 "/$credits_shot\." "$shots" | head -1)
    live=$(stepcheck songtime "$trace" "$after")
    previous=$(stepcheck songtime "$trace" "$earlier")
    echo "credits: first in the capture at step $step ($(echo "scale=3; $step / $rate" | bc) s);" \
         "on the screen in the shot taken by $live s, not in the one taken from $previous s"
    check "the credits come at about 73 s" test "$(echo "$live > 72.5 && $live < 74.5" | bc)" -eq 1
    check "the credits come on the screen when the capture shows them" \
        test "$(echo "$live >= $step / $rate && $previous <= $step / $rate + 0.1" | bc -l)" -eq 1
}

# check_flash_durations FILE: the flashes, lines "FROM TO MS", as stepcheck
# durations judges them.
check_flash_durations() {
    stepcheck durations "$trace" "$1" "$rate" | tail -1
    check "each snare flash lasts 20 steps, within one paint" test "${PIPESTATUS[0]}" -eq 0
}

# check_live_equals_capture WxH NAME...: each screenshot NAME is, pixel for
# pixel, the capture's frame of one of the steps the trace says could be on
# the screen while it was taken.
check_live_equals_capture() {
    local size=$1; shift
    local name file before after steps first last frames step matched
    for name in "$@"; do
        read -r file before after < <(grep "/$name\\." "$shots")
        steps=$(stepcheck shown "$trace" "$before" "$after")
        first=$(head -1 <<<"$steps"); last=$(tail -1 <<<"$steps")
        frames=$out/capture-$name
        "$capture" --rate "$rate" --fps "$rate" --size "$size" --out "$frames" \
            --from "$(echo "scale=6; $first / $rate" | bc)" --to "$(echo "scale=6; ($last + 1) / $rate" | bc)" \
            >/dev/null 2>&1
        matched=none
        for step in $steps; do
            compare -metric AE "$file" "$(printf '%s/frame-%06d.png' "$frames" "$step")" null: 2>"$frames/ae-$step"
            [ "$(cat "$frames/ae-$step")" = 0 ] && { matched=$step; break; }
        done
        echo "$name: steps that could be on the screen: $(echo $steps); equal to the capture's step $matched"
        check "screenshot $name is the capture's frame of a step then on the screen" test "$matched" != none
    done
}

# watch_steps WxH [ARGS...]: a traced run of the show (by default from 55 s,
# which still has several snares before the finale), screenshots in the fight
# and through the credits' arrival, and every check above. On X the flashes
# are timed on the screen's own pixels until the blood nears the bottom edge
# at 70 s; on Wayland from the trace and the capture's tinted steps.
watch_steps() {
    local size=$1; shift
    local width=${size%x*} height=${size#*x}
    [ $# -gt 0 ] || set -- --mute --start 55
    start_traced "$@"
    if [ -z "${WAYLAND_DISPLAY:-}" ]; then
        "$build/tests/flashwatch" 100 "$((width / 50)),$((height - 4))" "$((width / 2)),$((height - 4))" \
            "$((width - width / 50)),$((height - 4))" >"$out/flashes" &
        local watcher=$!
    fi
    wait_until_song 56; shoot fight-1
    wait_until_song 58.5; shoot fight-2
    wait_until_song 70
    [ -n "${watcher:-}" ] && kill "$watcher"
    shoot_credits
    end_of_song
    check_step_error
    if [ -z "${WAYLAND_DISPLAY:-}" ]; then
        check_flash_durations "$out/flashes"
    else
        "$capture" --rate "$rate" --fps "$rate" --size 640x360 --from 55 --to 70 --out "$out/flash-capture" >/dev/null 2>&1
        stepcheck flashes "$trace" "$out/flash-capture" >"$out/flashes"
        check_flash_durations "$out/flashes"
    fi
    check_credits
    check_live_equals_capture "$size" fight-1 fight-2 finale-0 "$credits_shot"
}
