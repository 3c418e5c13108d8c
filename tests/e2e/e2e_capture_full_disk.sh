# The capture onto a full disk (a 2 MB tmpfs, so run as root): videos, a
# frame set and a sound that do not fit end with status 2 and the reason,
# naming the path given, and leave the earlier set in DIR whole, with nothing
# else behind.
source "$(dirname "$0")/lib.sh"
capture=$(realpath "$build/tools/capture/karnveldt-capture")
out=$(realpath "$out")
# In the scratch directory, not in the build tree, where a disk left mounted
# by a killed run would stop the next run clearing its output.
disk=$runtime/disk
mkdir -p "$disk"
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo -n"
if ! $sudo mount -t tmpfs -o size=2m tmpfs "$disk"; then
    check "a 2 MB tmpfs is mounted (this needs root)" false
    finish
fi
trap 'cd /; $sudo umount "$disk"; stop_environment' EXIT
cd "$disk" || exit 1

"$capture" --size 160x90 --from 1 --to 1.1 --out shots 2>"$out/earlier.log"
(cd shots && md5sum -- *) >"$out/earlier.md5"
check "an earlier set of audio.wav and 6 frames fits on the disk" test "$(wc -l <"$out/earlier.md5")" -eq 7

# ARGUMENTS | what the message names
while IFS='|' read -r arguments names; do
    read -r -a words <<<"$arguments"
    "$capture" "${words[@]}" 2>"$out/stderr"
    status=$?
    cat "$out/stderr"
    check "'$arguments' fails with status 2 (status $status)" test "$status" -eq 2
    check "saying 'No space left on device' of '$names'" \
        sh -c "grep -qF -e '$names' '$out/stderr' && grep -qF 'No space left on device' '$out/stderr'"
    check "the earlier set is whole" sh -c "cd shots && md5sum --quiet -c '$out/earlier.md5'"
    check "and alone: nothing else is left on the disk" \
        test "$(ls -A . shots | tr '\n' ' ')" = ".: shots  shots: $(cut -d' ' -f3 "$out/earlier.md5" | tr '\n' ' ')"
done <<'TABLE'
--out shots --from 10 --to 20 --size 640x360 --video shots/v.mp4|cannot make the video shots/v.mp4
--out shots --from 10 --to 20 --size 640x360 --video shots/v.webm|cannot make the video shots/v.webm
--out shots --from 0 --to 20 --size 640x360 --video shots/v.webp|cannot write shots/audio.wav
--out shots --from 10 --to 20 --size 640x360|cannot write shots/frame-
TABLE
finish
