# ctest: seconds 30
# ctest: background
# The Debian package passes lintian with no error or warning, installs with
# apt-get on this machine, the installed show answers --version and plays in a
# window until Escape, its desktop entry is valid, and removing the package
# takes every file it brought.
source "$(dirname "$0")/lib.sh"
start_xvfb 1920x1080
start_pulse
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1
deb=$(realpath "$out"/karnveldt_*_amd64.deb 2>/dev/null)
check "cpack made one .deb" test -f "$deb"
[ -f "$deb" ] || { cat "$out/cpack.log"; finish; }
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}' >"$out/files"

lintian "$deb" >"$out/lintian" 2>&1
cat "$out/lintian"
check "lintian finds no error and no warning" test -z "$(grep -E '^[EW]: ' "$out/lintian")"

export DEBIAN_FRONTEND=noninteractive
sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo -n"  # never wait for a password
install() { $sudo apt-get install -y "$deb" >"$out/install.log" 2>&1; }
remove() { $sudo apt-get remove -y karnveldt >"$out/remove.log" 2>&1; }
trap 'remove; stop_environment' EXIT
check "apt-get installs the package" install
# Where Debian keeps games, on every user's PATH (not on root's).
PATH=$PATH:/usr/games
check "the show is installed in /usr/games" test "$(command -v karnveldt)" = /usr/games/karnveldt
check "and the capture tool beside it" test "$(command -v karnveldt-capture)" = /usr/games/karnveldt-capture

timeout 10 karnveldt --version >"$out/version" 2>&1
status=$?
check "--version prints the version and exits 0" \
    test "$status" -eq 0 -a "$(cat "$out/version")" = "karnveldt 1.0.0"

# The installed show, started as every run starts the show.
show=$(command -v karnveldt)
start_show --window 1280x720
sleep 2
end_with_escape "$pid"

check "the installed desktop entry is valid" desktop-file-validate /usr/share/applications/karnveldt.desktop
# A menu files it where the archive does: the games' section, the Game category.
check "the desktop entry's category agrees with the package's section ($(dpkg-deb -f "$deb" Section))" \
    test "$(dpkg-deb -f "$deb" Section)" = games -a -n "$(grep -x 'Categories=Game;.*' /usr/share/applications/karnveldt.desktop)"
check "the manual page is installed" test -s /usr/share/man/man6/karnveldt.6.gz
check "and the capture tool's" test -s /usr/share/man/man6/karnveldt-capture.6.gz
check "the copyright file lists the fonts compiled in" \
    sh -c 'for font in Liberation Noto Font; do grep -q "^Files: resources/$font" /usr/share/doc/karnveldt/copyright || exit 1; done'

check "apt-get removes the package" remove
left=$(while read -r file; do [ -e "$file" ] && echo "$file"; done <"$out/files")
check "no file of the package is left" test -z "$left"
echo "$left"
finish
