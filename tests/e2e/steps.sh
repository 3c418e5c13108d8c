# Sourced after lib.sh by the scripts that watch the show's steps: a traced run
# of the show, screenshots stamped with the monotonic clock the trace uses, and
# the figures and comparisons made from them.
stepcheck() { QT_QPA_PLATFORM=offscreen "$build/tests/stepcheck" "$@"; }
capture=$build/tools/capture/karnveldt-capture
rate=120
trace=$out/trace.txt
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

# start_traced [ARGS...]: the show with its trace, in the background ($pid).
start_traced() {
    launched=$(now)
    start_show "$@"
    started_pids+=("$pid")
    wait_for 10 grep -q -v '^#' "$trace" || { echo "the show painted nothing"; cat "$out/stderr"; exit 1; }
}

# watch_screen: on X, screenwatch logs the red tint from now on, into
# $out/probe.txt (whole-frame flashes) and $out/flashes.all (how long each lasts).
watch_screen() {
    "$build/tests/screenwatch" "$out/probe.txt" "$out/flashes.all" 2>"$out/screenwatch.stderr" &
    watcher=$!
    started_pids+=("$watcher")
}
stop_watching_screen() {
    kill "$watcher" && wait "$watcher"
}

# The song time heard now: the last paint's, moved on by the time since (by
# 0.1 s at most: a clock that stands still paints nothing).
song_now() {
    [ -s "$trace" ] || { echo 0; return; }
    tail -n 1 "$trace" | awk -v now="$(monotonic)" '/^#/ { print 0; next } { d = now - $1; printf "%.6f\n", $3 + (d < 0.1 ? d : 0.1) }'
}

# shoot NAME: a screenshot, listed in $shots with the monotonic times around
# it. On X, screengrab says when it read the screen; on Wayland the wall clock
# is read raw around the screenshot and turned into monotonic time after, so
# that the bracket holds little more than the screenshot.
shoot() {
    local file before after
    file=$(shot_file "$1")
    if [ -n "${WAYLAND_DISPLAY:-}" ]; then
        before=$EPOCHREALTIME
        wayland_screenshot "$file"
        after=$EPOCHREALTIME
        echo "$file $(echo "$before - $clock_offset" | bc) $(echo "$after - $clock_offset" | bc)" >>"$shots"
    else
        echo "$file $("$build/tests/screengrab" "$file")" >>"$shots"
    fi
}

# shoot_at SECONDS NAME: a screenshot once the song has reached that time.
shoot_at() {
    wait_until_song "$1"
    kill -0 "$pid" 2>/dev/null && shoot "$2"
}

# shoot_credits: screenshots one after another from 72.8 s (the title is still
# up) to 74.6 s, and on, one at a time, until one shows the credits (a slow
# screen may take a shot a second); then keeps the first, the first that shows
# the credits (credits_shot) and the one before it.
shoot_credits() {
    local n=0 i first=-1
    wait_until_song 72.8
    while [ "$(echo "$(song_now) < 74.6" | bc)" -eq 1 ] && kill -0 "$pid" 2>/dev/null; do
        shoot "finale-$n"; n=$((n + 1))
    done
    for ((i = 0; i < n; i++)); do
        shotcheck "$(shot_file "finale-$i")" credits >/dev/null && { first=$i; break; }
    done
    while [ "$first" -lt 0 ] && [ "$(echo "$(song_now) < 80" | bc)" -eq 1 ] && kill -0 "$pid" 2>/dev/null; do
        shoot "finale-$n"
        shotcheck "$(shot_file "finale-$n")" credits >/dev/null && first=$n
        n=$((n + 1))
    done
    credits_shot=none
    [ "$first" -ge 0 ] && credits_shot=finale-$first
    for ((i = 1; i < n; i++)); do
        [ "$i" -eq "$first" ] || [ "$i" -eq $((first - 1)) ] || rm -f "$(shot_file "finale-$i")"
    done
}

# Each look at the song's time forks five or six processes: ten looks a second
# would take a share of both cores from the paints being measured. The song
# runs no faster than real time, so most of what is left is slept through at
# once (a second at most, so that a show that died is noticed), then the rest
# closely.
wait_until_song() {  # wait_until_song SECONDS
    local pause
    while kill -0 "$pid" 2>/dev/null; do
        pause=$(song_now | awk -v until="$1" '{ left = until - $1; if (left <= 0) exit 1
            print (left > 1.1 ? 1 : (left > 0.15 ? left - 0.1 : 0.05)) }') || break
        sleep "$pause"
    done
}

# end_of_song [REST]: waits for the show to end by itself and checks its
# status, and, given the song's REST in seconds from the start, that it
# ended within 3 s of it.
end_of_song() {
    wait "$pid"
    local status=$? took; took=$(elapsed "$launched")
    echo "the show ended after ${took} s"
    check_exit "$status" "at the song's end"
    if [ $# -gt 0 ]; then
        check "it ended by itself within 3 s of the song's rest" \
            test "$(echo "$took < $1 + 3 && $took > $1 - 1" | bc)" -eq 1
    fi
}

# check_step_error: the painted step is floor(heard x rate) within one step, all along.
check_step_error() {
    stepcheck error "$trace" "$rate" | tee "$out/step-error"
    check "every paint shows the step due, within one" test "${PIPESTATUS[0]}" -eq 0
}

# check_refreshes LEAST: paced by the display, every refresh a new step fell
# on got it, none twice, each drawn for the song time heard when it was lit;
# LEAST % of them at least, as the machine's load allows.
check_refreshes() {
    grep -q '^# pacing: the display' "$trace" || { echo "the display did not pace the frames:"; grep '^#' "$trace"; }
    stepcheck refreshes "$trace" "$rate" "$1" | tee "$out/refreshes"
    check "each refresh with a new step gets it, drawn for the moment it is lit" test "${PIPESTATUS[0]}" -eq 0
}

# check_credits: the first screenshot showing the credits was taken no earlier
# than the capture's first frame showing them, and the screenshot before it,
# which does not show them, no later than that frame plus 0.1 s; so they came
# between the two, at about 73 s.
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
    check "the credits come at about 73 s" test "$(echo "$live > 72.5 && $previous < 74.5" | bc)" -eq 1
    check "the credits come on the screen when the capture shows them" \
        test "$(echo "$live >= $step / $rate && $previous <= $step / $rate + 0.1" | bc -l)" -eq 1
}

# check_flash_durations: each snare flash lasts 20 steps within one paint. On
# X as screenwatch saw them at the bottom edge until the blood nears it at 70
# s; on Wayland, which offers no cheap way to poll the screen, from the trace:
# when it painted the first and the first after the tinted steps of the
# capture's frames.
check_flash_durations() {
    if [ -z "${WAYLAND_DISPLAY:-}" ]; then
        local blood; blood=$(awk '/^#/ {next} $2 >= 70 {print $1; exit}' "$trace")
        awk -v end="${blood:-1e12}" '$2 < end' "$out/flashes.all" >"$out/flashes"
    else
        "$capture" --rate "$rate" --fps "$rate" --size 640x360 --from 55 --to 70 --out "$out/flash-capture" \
            >/dev/null 2>&1
        stepcheck flashes "$trace" "$out/flash-capture" >"$out/flashes"
    fi
    stepcheck durations "$trace" "$out/flashes" "$rate" | tail -1
    check "each snare flash lasts 20 steps, within one paint" test "${PIPESTATUS[0]}" -eq 0
}

# check_live_equals_capture WxH NAME...: each screenshot NAME is, pixel for
# pixel, the capture's frame of one of the steps the trace says could be on
# the screen while it was taken. The capture makes the likeliest steps first
# (the one presented as the screenshot began is third or so), the rest only if
# none of them matches: a 4K frame costs a second or two.
check_live_equals_capture() {
    local size=$1; shift
    local name file before after steps matched
    for name in "$@"; do
        read -r file before after < <(grep "/$name\\." "$shots")
        steps=$(stepcheck shown "$trace" "$before" "$after")
        matched=$(match_steps "$size" "$file" "$out/capture-$name" $(head -4 <<<"$steps")) \
            || matched=$(match_steps "$size" "$file" "$out/capture-$name" $(tail -n +5 <<<"$steps"))
        echo "$name: steps that could be on the screen: $(echo $steps); equal to the capture's step $matched"
        check "screenshot $name is the capture's frame of a step then on the screen" test "$matched" != none
    done
}

# match_steps WxH SHOT DIR STEPS...: the first of the steps whose captured
# frame equals SHOT; "none" and status 1 when none does.
match_steps() {
    local size=$1 shot=$2 frames=$3 step; shift 3
    [ $# -gt 0 ] || { echo none; return 1; }
    "$capture" --rate "$rate" --fps "$rate" --size "$size" --out "$frames" \
        --from "$(echo "scale=6; $1 / $rate" | bc)" --to "$(echo "scale=6; (${!#} + 1) / $rate" | bc)" \
        >/dev/null 2>&1
    for step in "$@"; do
        shotcheck "$shot" same "$(printf '%s/frame-%06d.png' "$frames" "$step")" >/dev/null \
            && { echo "$step"; return 0; }
    done
    echo none; return 1
}

# watch_steps WxH [ARGS...]: a traced run of the show (by default from 55 s,
# which still has several snares before the finale), screenshots in the fight
# and through the credits' arrival, the song's sound recorded, and every check
# above. The window covers the whole screen: on X by its geometry, and
# everywhere because the screenshots are the capture's frames at the screen's
# size.
watch_steps() {
    local size=$1; shift
    [ $# -gt 0 ] || set -- --start 55
    local start=${2:-0}
    start_recording
    [ -z "${WAYLAND_DISPLAY:-}" ] && watch_screen
    start_traced "$@"
    if [ -z "${WAYLAND_DISPLAY:-}" ]; then
        sleep 1
        local geometry; geometry=$(show_geometry "$pid")
        check "the window covers the whole $size screen ($geometry)" test "$geometry" = "$size+0+0"
    fi
    shoot_at 56 fight-1
    shoot_at 58.5 fight-2
    shoot_credits
    end_of_song "$(echo "$song_seconds - $start" | bc)"
    stop_recording
    [ -z "${WAYLAND_DISPLAY:-}" ] && stop_watching_screen
    check_sound "recorded sound is the module from $start s, without gaps" --late
    check_step_error
    check_flash_durations
    check_credits
    check_live_equals_capture "$size" fight-1 fight-2 finale-0 "$credits_shot"
}
