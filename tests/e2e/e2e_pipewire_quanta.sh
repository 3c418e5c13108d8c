# ctest: processors 2
# ctest: seconds 70
# The show on PipeWire with its graph's period forced short and long, from
# 40 s of the song to just after its last snare, where Escape ends it, on a
# 1920 x 1080 X screen: each snare's red flash on the screen, and its paint in
# the trace, comes with its sound. At the module's rate the graph passes the
# show's samples through as they are: there the sink played the module sample
# by sample.
# KARNVELDT_QUANTA="RATE:FRAMES ..." runs other rows.
source "$(dirname "$0")/lib.sh"
start_pipewire
source "$(dirname "$0")/steps.sh"
source "$(dirname "$0")/wholerun.sh"
start_xvfb 1920x1080
from=40 last_snare=67.4
base=$out
for row in ${KARNVELDT_QUANTA:-44100:256 48000:1024}; do
    graph_rate=${row%:*} quantum=${row#*:}
    out=$base/$graph_rate-$quantum trace=$base/$graph_rate-$quantum/trace.txt
    mkdir -p "$out"
    echo "== graph at $graph_rate Hz, $quantum frames a period"
    force_graph "$graph_rate" "$quantum"
    play_from "$from" "$(echo "$last_snare + 0.5" | bc)"
    [ "$graph_rate" = 44100 ] && check_sound "recorded sound is the module from $from s, sample by sample" --late --cut
    check_in_time --from "$from"
    kill "$keeper" && wait "$keeper"
done
out=$base
finish
